#include "viewer/windows/screen_depth.h"

#include <QGuiApplication>
#include <QScreen>

int ScreenDepth() {
    bool isNumber = false;
    const int forced = qEnvironmentVariableIntValue("LUMO_SCREEN_DEPTH", &isNumber);
    if (isNumber && forced >= 1 && forced <= 32) return forced;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->depth() : 24;
}
