// Repairs typical decoding damage in a loaded fax picture (BW, 1 = white, after the flip).
#pragma once

#include "core/image.h"

// Runs the repair passes: black row ends and black streaks between non-black rows always; with 20
// decoding errors or more also white streaks that the rows around them do not explain. A repaired
// byte is copied from the row above (the top row becomes white).
void RepairG3Picture(IMG& image, int decodingErrors);
