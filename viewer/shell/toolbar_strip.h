// The toolbar under the menu bar: a light-grey strip 17 rows high with a black line below it and
// three owner-drawn 20 x 17 buttons, Open, Save and Print. A disabled button is drawn as plain
// grey, so it is not seen at all.
#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QWidget>

class ToolbarButton : public QAbstractButton {
    Q_OBJECT
public:
    ToolbarButton(int commandId, QImage glyph, QWidget* parent);
    int commandId() const { return commandId_; }
    QSize sizeHint() const override { return {20, 17}; }

signals:
    // Pressed, or no longer pressed (released, or the mouse dragged off the button).
    void downChanged(bool down);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void reportDownState();

    bool reportedDown_ = false;
    int commandId_;
    QImage glyph_;
};

class ToolbarStrip : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 18;  // rows 0-16 grey, row 17 black

    explicit ToolbarStrip(QWidget* parent = nullptr);
    ToolbarButton* button(int commandId) const;
    void setButtonEnabled(int commandId, bool enabled);

signals:
    void commandClicked(int commandId);
    // While a button is held down the frame shows the command's help text.
    void commandPressed(int commandId);
    void commandReleased(int commandId);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ToolbarButton* buttons_[3];
};
