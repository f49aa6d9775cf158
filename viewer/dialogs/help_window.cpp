#include "viewer/dialogs/help_window.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <QVBoxLayout>

// The resources of a static library are registered only when asked for by name (once is enough).
static void RegisterViewerResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(viewer);
        return true;
    }();
    (void)registered;
}

namespace {
constexpr const char* kHelpFileName = "lumo.hlp";
constexpr const char* kIndexAnchor = "index";
}  // namespace

HelpWindow::HelpWindow(QWidget* owner) : QWidget(owner, Qt::Window), browser_(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Lumo Help"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    resize(560, 520);
}

void HelpWindow::showContext(int context) {
    QUrl url = helpFileUrl();
    url.setFragment(context > 0 ? QString::number(context) : QString::fromLatin1(kIndexAnchor));
    // The file's extension says nothing to the browser, so the page is named HTML here.
    browser_->setSource(url, QTextDocument::HtmlResource);
    show();
    raise();
    activateWindow();
}

QUrl HelpWindow::helpFileUrl() {
    const QString besideProgram = QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromLatin1(kHelpFileName));
    if (QFileInfo(besideProgram).isFile()) return QUrl::fromLocalFile(besideProgram);
    RegisterViewerResources();
    return QUrl(QStringLiteral("qrc:/help/") + QString::fromLatin1(kHelpFileName));
}
