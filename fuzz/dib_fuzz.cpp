// Feeds arbitrary bytes to the reader of DIBs in memory, the data another program puts on the
// clipboard: every input gives an image or a stated refusal, with nothing read outside the block and
// nothing leaked. A picture that reads is written again as a packed DIB (MakeDibHeader and its rows)
// and must read back bit for bit, which puts the header builder through whatever the fuzzer finds.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "formats/bmp_dib.h"
#include "fuzz/fuzz_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzRun([&] {
        const DibImage read = DibToImage(data, size);
        if (!read.image) {
            if (!read.problem) std::abort();
            return;
        }
        const IMG& image = *read.image;
        std::vector<uint8_t> dib = MakeDibHeader(DibFormatOf(image));
        dib.insert(dib.end(), image.bits, image.bits + PixelBytes(image));
        const DibImage again = DibToImage(dib.data(), dib.size());
        if (!again.image || KindOf(*again.image) != KindOf(image) || again.image->width != image.width ||
            again.image->height != image.height ||
            std::memcmp(again.image->bits, image.bits, PixelBytes(image)) != 0)
            std::abort();
        if (image.palette &&
            std::memcmp(again.image->palette, image.palette, 3 * (size_t{1} << image.bitsPerPixel)) != 0)
            std::abort();
    });
}
