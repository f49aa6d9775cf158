#include "viewer/dialogs/about_dialog.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/system_info.h"
#include "viewer/dialogs/dialog_controls.h"
#include "viewer/shell/toolbar_glyphs.h"

namespace {

// A figure of the box, in a small variable-width font: the interface font a size smaller (the
// platform's "smallest readable" font is no smaller on every desktop).
QLabel* FigureLabel(int id, const QString& text) {
    auto* label = new QLabel(text);
    TagControl(label, id);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(std::max(7.0, font.pointSizeF() * 0.85));
    label->setFont(font);
    return label;
}

}  // namespace

void ShowAboutBox(QWidget* parent) {
    ViewerDialog box(parent, "ABOUT", QStringLiteral("About Lumo..."));
    box.setWindowIcon(LumoIcon());

    auto* icon = new QLabel;
    icon->setPixmap(LumoIcon().pixmap(32, 32));

    const MemoryStatus memory = ReadMemoryStatus();
    auto* figures = new QGridLayout;
    figures->addWidget(new QLabel(QStringLiteral("Memory Left:")), 0, 0);
    figures->addWidget(FigureLabel(100, QString::asprintf("%ld Ko", memory.freeKilobytes)), 0, 1);
    figures->addWidget(new QLabel(QStringLiteral("Ressources Left:")), 1, 0);
    figures->addWidget(FigureLabel(200, QString::asprintf("100 %%")), 1, 1);
    figures->setColumnStretch(1, 1);

    auto* texts = new QVBoxLayout;
    texts->addWidget(new QLabel(QStringLiteral("Lumo 1.2e for Windows")));
    texts->addSpacing(8);
    texts->addLayout(figures);

    auto* row = new QHBoxLayout;
    row->setSpacing(16);
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addLayout(texts);
    box.body()->addLayout(row);
    box.addOkButton();
    box.exec();
}
