#include "viewer/shell/toolbar_strip.h"

#include <QPainter>

#include "viewer/commands/command_ids.h"
#include "viewer/shell/toolbar_glyphs.h"
#include "viewer/shell/viewer_colors.h"

ToolbarButton::ToolbarButton(int commandId, QImage glyph, QWidget* parent)
    : QAbstractButton(parent), commandId_(commandId), glyph_(std::move(glyph)) {
    setFixedSize(20, 17);
    setFocusPolicy(Qt::NoFocus);  // the keyboard stays with the image windows
}

void ToolbarButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!isEnabled()) {
        painter.fillRect(rect(), kLightGrey);
        return;
    }
    static const QImage raised = ButtonFrameImage(false), pressed = ButtonFrameImage(true);
    const bool down = isDown();
    painter.drawImage(0, 0, down ? pressed : raised);
    painter.drawImage(down ? 2 : 1, down ? 2 : 1, glyph_);
}

void ToolbarButton::mousePressEvent(QMouseEvent* event) {
    QAbstractButton::mousePressEvent(event);
    reportDownState();
}

void ToolbarButton::mouseMoveEvent(QMouseEvent* event) {
    QAbstractButton::mouseMoveEvent(event);
    reportDownState();
}

// The state is reported before the click runs its command.
void ToolbarButton::mouseReleaseEvent(QMouseEvent* event) {
    if (isDown() && reportedDown_) {
        reportedDown_ = false;
        emit downChanged(false);
    }
    QAbstractButton::mouseReleaseEvent(event);
    reportDownState();
}

void ToolbarButton::reportDownState() {
    if (isDown() == reportedDown_) return;
    reportedDown_ = isDown();
    emit downChanged(reportedDown_);
}

ToolbarStrip::ToolbarStrip(QWidget* parent) : QWidget(parent) {
    setFixedHeight(kHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_OpaquePaintEvent);
    const struct {
        int id;
        QImage glyph;
    } buttons[] = {{command::Open, OpenGlyph()}, {command::Save, SaveGlyph()}, {command::Print, PrintGlyph()}};
    for (int i = 0; i < 3; ++i) {
        ToolbarButton* button = new ToolbarButton(buttons[i].id, buttons[i].glyph, this);
        button->move(20 * i, 0);
        const int id = buttons[i].id;
        connect(button, &QAbstractButton::clicked, this, [this, id] { emit commandClicked(id); });
        connect(button, &ToolbarButton::downChanged, this, [this, id](bool down) {
            if (down)
                emit commandPressed(id);
            else
                emit commandReleased(id);
        });
        buttons_[i] = button;
    }
}

ToolbarButton* ToolbarStrip::button(int commandId) const {
    for (ToolbarButton* button : buttons_)
        if (button->commandId() == commandId) return button;
    return nullptr;
}

void ToolbarStrip::setButtonEnabled(int commandId, bool enabled) {
    if (ToolbarButton* b = button(commandId)) b->setEnabled(enabled);
}

void ToolbarStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(0, 0, width(), kHeight - 1, kLightGrey);
    painter.fillRect(0, kHeight - 1, width(), 1, Qt::black);
}
