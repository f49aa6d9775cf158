// A program built from the image library's core alone: it makes, converts and frees a picture, so
// the linker keeps what core/ really uses. check.sh then shows that no format library came along.
#include "core/convert.h"
#include "core/image.h"
#include "core/memory.h"

int main() {
    {
        const ImagePtr image = LumoCreateImage(16, 8, COLOR, nullptr, 24);
        const ImagePtr gray = LumoToGRAY256(image.get());
        if (!gray || gray->width != 16) return 1;
    }
    return LumoBlockCount() == 0 ? 0 : 2;
}
