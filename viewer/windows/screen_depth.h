// The colour depth display images are made for.
#pragma once

// LUMO_SCREEN_DEPTH (1 to 32, e.g. 1, 4, 8 or 24) when set, so the conversions for poorer screens
// can be seen and tested; otherwise the primary screen's depth (24 when there is no screen).
int ScreenDepth();
