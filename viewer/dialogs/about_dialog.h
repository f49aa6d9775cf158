// The "ABOUT" box ("About Lumo..."): icon, version line, free memory and resources.
#pragma once

class QWidget;

void ShowAboutBox(QWidget* parent);
