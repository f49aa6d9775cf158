#include "core/quantize.h"

#include "core/messages.h"

ImagePtr LumoQuantize(const IMG*, int, int) { LumoError("LumoQuantize", "Not available yet"); }
