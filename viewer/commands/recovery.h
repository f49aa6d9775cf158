// What the viewer's recovery point (FrameWindow::runAction) tells the user itself: library errors
// have been shown by the error hook before they unwind, a lack of memory in the viewer or Qt has not.
#pragma once

void ReportOutOfMemory();
