#include "viewer/commands/help_mode.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QShortcut>
#include <QWidget>

HelpMode::HelpMode(QWidget* frame) : frame_(frame) {
    // Image windows live inside the frame, so a window-wide shortcut reaches them as well.
    enterKey_ = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1), frame);
    connect(enterKey_, &QShortcut::activated, this, [this] { enter(); });
}

HelpMode::~HelpMode() {
    leave();
    delete enterKey_;
}

void HelpMode::enter() {
    if (active_) return;
    active_ = true;
    QApplication::setOverrideCursor(Qt::WhatsThisCursor);
    qApp->installEventFilter(this);  // Esc is watched only while the mode is on
}

void HelpMode::leave() {
    if (!active_) return;
    active_ = false;
    qApp->removeEventFilter(this);
    QApplication::restoreOverrideCursor();
}

bool HelpMode::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape)
        return false;
    // Only Esc in the frame or one of its image windows; dialogs and menus keep their own Esc.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != frame_) return false;
    leave();
    return true;
}

QIcon HelpModeIcon() {
    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::white);
    const QPointF arrow[] = {{1, 1}, {1, 11}, {3.5, 8.5}, {5.5, 13}, {7, 12.3}, {5, 8}, {8.5, 8}};
    painter.drawPolygon(arrow, std::size(arrow));
    QFont font = painter.font();
    font.setPixelSize(10);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRectF(8, 0, 8, 12), Qt::AlignCenter, QStringLiteral("?"));
    return QIcon(picture);
}
