#include "viewer/windows/window_title.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QPointer>
#include <QStyle>

namespace {

const QString kGap = QStringLiteral("\u2026");  // the ellipsis that stands for left-out folders
const QString kSeparator = QStringLiteral(" - ");

// The folder with as many of its last folders as fit in width, after its first folder when there
// is room for that, so the reader sees where the path starts ("/media/usb", "~") and where it ends.
QString ShortenedFolder(const QString& folder, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(folder) <= width) return folder;
    const QStringList parts = folder.split(QLatin1Char('/'));
    // "/home/ann/x" splits as "", "home", "ann", "x"; "~/x" as "~", "x".
    const QString head = parts.size() > 2 ? parts[0] + QLatin1Char('/') + parts[1] + QLatin1Char('/') : QString();
    // Keeping all but the head's two parts would leave nothing out.
    for (const QString& start : {head, QString()})
        for (qsizetype keep = parts.size() - 3; keep >= 1; --keep) {
            const QString tail = QStringList(parts.mid(parts.size() - keep)).join(QLatin1Char('/'));
            const QString candidate = start + kGap + QLatin1Char('/') + tail;
            if (metrics.horizontalAdvance(candidate) <= width) return candidate;
        }
    return metrics.elidedText(folder, Qt::ElideMiddle, width);
}

}  // namespace

QString ShortenedTitle(const QString& path, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(path) <= width) return path;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) return metrics.elidedText(path, Qt::ElideMiddle, width);
    const QString name = path.mid(slash + 1);
    QString folder = slash == 0 ? QStringLiteral("/") : path.left(slash);
    const QString home = QDir::homePath();
    if (home != QLatin1String("/") && (folder == home || folder.startsWith(home + QLatin1Char('/'))))
        folder = QLatin1Char('~') + folder.mid(home.size());
    const int room = width - metrics.horizontalAdvance(name + kSeparator);
    // No room for even "~/…": the name alone, which the title bar cuts at its end if it must.
    if (room < metrics.horizontalAdvance(QStringLiteral("~/") + kGap)) return name;
    return name + kSeparator + ShortenedFolder(folder, metrics, room);
}

namespace {

// Watches a sub-window and its image window and fits the title once Qt has finished its own
// handling of the change (the sub-window copies its child's title as the change arrives).
class TitleFitter : public QObject {
public:
    explicit TitleFitter(QMdiSubWindow* subWindow) : QObject(subWindow), subWindow_(subWindow) {
        subWindow->installEventFilter(this);
        if (QWidget* child = subWindow->widget()) child->installEventFilter(this);
        scheduleFit();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::Resize:
            case QEvent::WindowTitleChange:
            case QEvent::WindowStateChange:
            case QEvent::Show: scheduleFit(); break;
            default: break;
        }
        return false;
    }

private:
    void scheduleFit() {
        if (pending_) return;
        pending_ = true;
        QMetaObject::invokeMethod(this, [this] { fit(); }, Qt::QueuedConnection);
    }

    // The width the title has: the sub-window's title bar less its icon and three buttons, or,
    // when maximised, the frame's title bar, which also names the program.
    int titleWidth(const QFontMetrics& metrics) const {
        const int caption = subWindow_->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, subWindow_);
        if (!subWindow_->isMaximized()) return subWindow_->width() - 4 * caption;
        const QWidget* frame = subWindow_->window();
        const QMainWindow* main = qobject_cast<const QMainWindow*>(frame);
        const QString program = main ? main->windowTitle().section(QStringLiteral(" - ["), 0, 0) : QString();
        return frame->width() - 4 * caption - metrics.horizontalAdvance(program + QStringLiteral(" - []"));
    }

    void fit() {
        pending_ = false;
        const QWidget* child = subWindow_->widget();
        if (!child) return;
        const QString path = child->windowTitle();
        // Window managers often draw the frame's title in bold: measured so, the estimate errs on
        // the short side.
        QFont font = QApplication::font("QMdiSubWindowTitleBar");
        if (subWindow_->isMaximized()) font.setBold(true);
        const QFontMetrics metrics(font);
        // Untitled windows ("New 1") and paths that fit keep the text as it is.
        const QString shown = path.startsWith(QLatin1Char('/')) ? ShortenedTitle(path, metrics, titleWidth(metrics)) : path;
        if (subWindow_->windowTitle() != shown) subWindow_->setWindowTitle(shown);
    }

    QMdiSubWindow* subWindow_;
    bool pending_ = false;
};

}  // namespace

void FitTitleToWindow(QMdiSubWindow* subWindow) { new TitleFitter(subWindow); }
