// The number of thumbnails the last Photo CD overview sheet placed. The overview loader records it;
// the viewer's mosaic index reader turns it into the sheet's grid of clickable cells.
#pragma once

// 0 until an overview sheet has been loaded.
int LoadPcdOverviewCount();
// Called by the overview loader once the sheet is built (negative counts are kept as 0).
void SetPcdOverviewCount(int count);
