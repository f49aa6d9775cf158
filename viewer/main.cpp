// wlumo, the viewer: each argument names an image file to open (see viewer/application.h for the
// options of scripted runs).
#include "platform/heap_reuse.h"
#include "viewer/shell/application.h"

int main(int argc, char** argv) {
    ReuseHeapForLargeBlocks();
    ViewerApplication application(argc, argv);
    return RunViewer(application);
}
