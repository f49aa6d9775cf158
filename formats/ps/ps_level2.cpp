#include <tiffio.h>

#include <cstddef>
#include <cstdint>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/memory_buffer.h"
#include "formats/ps/ps_bodies.h"
#include "formats/ps/ps_hex.h"
#include "formats/tiff/tiff.h"

namespace {

constexpr const char* kModule = "LumoSavePS";

// The TIFF options the embedded file is written with. "predictor" is held at 0 because the
// LZWDecode filter is given no decode parameters, and "rowsperstrip" makes the image one strip; both
// get the caller's values back on leaving, also when the TIFF save fails. "compression" keeps the
// value set here: every TIFF save through the dispatch sets it first.
class EmbeddedTiffOptions {
public:
    EmbeddedTiffOptions(int compression, int rowsPerStrip)
        : predictor_(LumoGetIntOptionTiff("predictor")), rowsPerStrip_(LumoGetIntOptionTiff("rowsperstrip")) {
        LumoSetIntOptionTiff("compression", compression);
        LumoSetIntOptionTiff("predictor", 0);
        LumoSetIntOptionTiff("rowsperstrip", rowsPerStrip);
    }
    ~EmbeddedTiffOptions() {
        LumoSetIntOptionTiff("predictor", predictor_);
        LumoSetIntOptionTiff("rowsperstrip", rowsPerStrip_);
    }
    EmbeddedTiffOptions(const EmbeddedTiffOptions&) = delete;
    EmbeddedTiffOptions& operator=(const EmbeddedTiffOptions&) = delete;

private:
    int predictor_;
    int rowsPerStrip_;
};

// The image as a TIFF file in memory: CCITT Group 4 for BW, LZW for gray, one strip.
MemoryBufferPtr EmbeddedTiff(const IMG& image) {
    const EmbeddedTiffOptions options(KindOf(image) == ImageKind::BW ? COMPRESSION_CCITTFAX4 : COMPRESSION_LZW,
                                      image.height);
    return SaveTiffToMemory(&image);
}

// The filter that decodes the file's strips, from its Compression and PhotometricInterpretation, left
// on the stack under the image operands and again on top. A file the filters cannot read as it is
// (another compression, a predictor, reversed bit order) is refused rather than sent as garbage.
void WriteDecodingFilter(TiffHandle& tiff, const IMG& image, PSDocument& document) {
    TIFF* tif = tiff.get();
    uint16_t compression = COMPRESSION_NONE, photometric = 0, fillOrder = FILLORDER_MSB2LSB;
    uint16_t predictor = PREDICTOR_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    tiff.check(kModule);
    const int hasPhotometric = TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    tiff.check(kModule);
    TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &fillOrder);
    tiff.check(kModule);
    if (compression == COMPRESSION_LZW) {  // the predictor tag exists only for the codecs that take one
        TIFFGetFieldDefaulted(tif, TIFFTAG_PREDICTOR, &predictor);
        tiff.check(kModule);
    }
    const bool minIsBlack = hasPhotometric && photometric == PHOTOMETRIC_MINISBLACK;
    const bool minIsWhite = hasPhotometric && photometric == PHOTOMETRIC_MINISWHITE;

    if (fillOrder == FILLORDER_MSB2LSB && compression == COMPRESSION_CCITTFAX4 && (minIsBlack || minIsWhite)) {
        // libtiff codes runs of 0 bits as the fax code's white runs, whatever the photometric, and the
        // filter gives white runs back as 1 bits unless BlackIs1 is true. In a min-is-black file the
        // 0 bits are black, so BlackIs1 true returns every bit as it was stored (`image` shows 1 as
        // white); a min-is-white file needs its bits inverted, which BlackIs1 false does.
        document.print("<<");
        document.print("/K %d", -1);
        document.print(" /Columns %d /Rows %d", image.width, image.height);
        document.print(" /EndOfBlock false /BlackIs1 %s", minIsBlack ? "true" : "false");
        document.print(">>\n/CCITTFaxDecode filter\n");
        document.print("dup 6 1 roll\n");
    } else if (fillOrder == FILLORDER_MSB2LSB && compression == COMPRESSION_LZW && minIsBlack &&
               predictor == PREDICTOR_NONE) {
        document.print("/LZWDecode filter dup 6 1 roll\n");
    } else {
        LumoError(kModule, "Unexpected layout of temporary file for PS Level2");
    }
}

// The compressed strips, in order, as hexadecimal. The lengths come from the file itself, which lies
// in memory: a strip said to be longer than the whole file is refused before anything is allocated.
void CopyStrips(TiffHandle& tiff, const MemoryBuffer& file, PSDocument& document) {
    TIFF* tif = tiff.get();
    uint64_t* byteCounts = nullptr;
    const int found = TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &byteCounts);
    tiff.check(kModule);
    if (!found || !byteCounts) LumoError(kModule, "Error reading temporary file");
    const uint32_t strips = TIFFNumberOfStrips(tif);
    tiff.check(kModule);

    LumoBuffer<uint8_t> buffer;
    size_t capacity = 0;
    HexLines hex(document.sink());
    for (uint32_t strip = 0; strip < strips; ++strip) {
        if (byteCounts[strip] > file.size) LumoError(kModule, "Error reading temporary file");
        const size_t size = static_cast<size_t>(byteCounts[strip]);
        if (!buffer || size > capacity) {
            buffer.reset(static_cast<uint8_t*>(LumoAlloc(size ? size : 1)));
            if (!buffer) LumoError(kModule, "No space for strip buffer");
            capacity = size;
        }
        const tmsize_t read = TIFFReadRawStrip(tif, strip, buffer.get(), static_cast<tmsize_t>(size));
        if (read < 0) tiff.fail(kModule, "Can't read strip");
        tiff.check(kModule);
        if (static_cast<size_t>(read) != size) LumoError(kModule, "Error reading temporary file");
        hex.putBytes(buffer.get(), size);
    }
    hex.finish();
}

}  // namespace

// `image` reads through two filters: the hexadecimal one over the file and the decoding one over that.
// Both stay on the stack under the operands, so that the two flushfile calls afterwards skip whatever
// the image left unread, up to the '>' that ends the hexadecimal data.
void WriteLevel2GrayBody(const IMG& image, PSDocument& document) {
    const MemoryBufferPtr file = EmbeddedTiff(image);
    TiffHandle tiff = OpenMemoryBufferTiff(file.get(), "r");
    if (!tiff) LumoError(kModule, "Can't open temporary file for PS Level2");

    const int bits = image.bitsPerPixel;
    WriteImageDataLine(document, image, bits, 1, "image");
    WriteSizeAndMatrix(document, image, bits);
    document.print("currentfile /ASCIIHexDecode filter\n");
    document.print("dup 6 1 roll\n");
    WriteDecodingFilter(tiff, image, document);
    document.print("{image flushfile flushfile} cvx exec\n");
    CopyStrips(tiff, *file, document);
    tiff.close(kModule);
    document.print(">\n");
}
