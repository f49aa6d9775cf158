// Drives a modal dialog from a test: the action runs on the dialog once it is shown (from within
// its exec()), then the test's call that opened it returns as the dialog ends.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <functional>

// Arms a timer that waits for the next modal widget and hands it to action. Call before the
// command that opens the dialog; the action must close the dialog (accept, reject, click OK...).
inline void WhenModalShows(std::function<void(QWidget* modal)> action) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, action = std::move(action)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
}
