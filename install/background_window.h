// The full-screen background behind the installation dialog: 256 blue bands that darken and grow
// taller downwards, and "Lumo for Windows" in large white italic serif letters at the top left.
#pragma once

#include <QWidget>
#include <functional>

class BackgroundWindow : public QWidget {
public:
    BackgroundWindow();
    // Called after every change of size (the dialog keeps itself centred on the background).
    void setResizeHandler(std::function<void()> handler) { onResize_ = std::move(handler); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::function<void()> onResize_;
};
