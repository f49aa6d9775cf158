#include "formats/pcd_overview.h"

namespace {
int overviewCount = 0;  // module-wide, like the codecs' options: the program has one thread
}

int LoadPcdOverviewCount() { return overviewCount; }

void SetPcdOverviewCount(int count) { overviewCount = count < 0 ? 0 : count; }
