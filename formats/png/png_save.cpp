#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/metadata/exif_block.h"
#include "formats/metadata/icc_header.h"
#include "formats/metadata/keep_metadata.h"
#include "formats/output_file.h"
#include "formats/png/png.h"
#include "formats/file_rows.h"
#include "formats/png/png_rows.h"
#include "formats/png/spng_context.h"

namespace {

constexpr const char* kSaveModule = "LumoSavePng";

// Where libspng's output goes. It calls back from C frames, which no exception may cross: a sink
// that fails is remembered, libspng is told to stop, and the failure is raised again after it returned.
struct EncoderOutput {
    const ByteSink& sink;
    std::exception_ptr failure;
};

int WriteStream(spng_ctx*, void* user, void* source, size_t length) noexcept {
    EncoderOutput& output = *static_cast<EncoderOutput*>(user);
    if (output.failure) return SPNG_IO_ERROR;
    try {
        output.sink(static_cast<const uint8_t*>(source), length);
        return 0;
    } catch (...) {
        output.failure = std::current_exception();
        return SPNG_IO_ERROR;
    }
}

// Raises the sink's failure if there was one, else reports libspng's code.
void Check(int code, const EncoderOutput& output) {
    if (output.failure) std::rethrow_exception(output.failure);
    if (code != 0) LumoError(kSaveModule, "Can't write PNG data: %s", spng_strerror(code));
}

void SetHeader(spng_ctx* context, const IMG& image, const PngSaveFormat& format, const EncoderOutput& output) {
    spng_ihdr ihdr{};
    ihdr.width = image.width;
    ihdr.height = image.height;
    ihdr.bit_depth = static_cast<uint8_t>(format.bitDepth);
    ihdr.color_type = static_cast<uint8_t>(format.colorType);
    Check(spng_set_ihdr(context, &ihdr), output);
    if (format.colorType == SPNG_COLOR_TYPE_INDEXED) {
        spng_plte plte{};
        plte.n_entries = 1u << image.bitsPerPixel;  // the whole palette, so that it loads back the same
        for (uint32_t i = 0; i < plte.n_entries; ++i) {
            int red = 0, green = 0, blue = 0;
            LumoGetPaletteEntry(image.palette, static_cast<int>(i), &red, &green, &blue);
            plte.entries[i] = {static_cast<uint8_t>(red), static_cast<uint8_t>(green), static_cast<uint8_t>(blue), 255};
        }
        Check(spng_set_plte(context, &plte), output);
    }
    if (image.xResolution > 0 && image.yResolution > 0) {
        spng_phys phys{};
        phys.ppu_x = static_cast<uint32_t>(std::lround(image.xResolution / 0.0254));
        phys.ppu_y = static_cast<uint32_t>(std::lround(image.yResolution / 0.0254));
        phys.unit_specifier = 1;  // pixels per metre
        Check(spng_set_phys(context, &phys), output);
    }
}

// The zlib level of the option (a level outside 0-9, written into the profile by hand, is taken as
// the nearest one), and the filters PNG advises: none for palettes and depths below 8 bits, the
// best per row otherwise.
void SetCompression(spng_ctx* context, const PngSaveFormat& format, const EncoderOutput& output) {
    const int level = std::clamp(LumoGetIntOptionPng("compression"), 0, 9);
    Check(spng_set_option(context, SPNG_IMG_COMPRESSION_LEVEL, level), output);
    const bool unfiltered = format.colorType == SPNG_COLOR_TYPE_INDEXED || format.bitDepth < 8;
    Check(spng_set_option(context, SPNG_FILTER_CHOICE, unfiltered ? SPNG_FILTER_CHOICE_NONE : SPNG_FILTER_CHOICE_ALL),
          output);
}

// The chunks of metadata a saved file gets. libspng writes them from these buffers while it encodes,
// so they live as long as the encoder.
struct MetadataChunks {
    std::vector<uint8_t> exif;  // the block with the saved picture's pixel size
    // The texts end in a NUL: libspng measures them with strlen. A NUL inside would cut them there,
    // so they are cut at the first one (PNG text cannot hold one).
    std::string xmp;
    std::string comment;
    spng_text texts[2]{};
    uint32_t textCount = 0;
};

template <typename Iterator>
std::string TextUpToNul(Iterator begin, Iterator end) {
    return std::string(begin, std::find(begin, end, 0));
}

// Whether text has bytes beyond ASCII that form UTF-8: such a comment goes into an iTXt chunk, since
// tEXt is Latin-1 and would show it garbled; any other text is kept byte for byte in tEXt.
bool NeedsUtf8Chunk(const std::string& text) {
    bool beyondAscii = false;
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || length > text.size() - i) return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        beyondAscii |= length > 1;
        i += length;
    }
    return beyondAscii;
}

// Hands a chunk of metadata to libspng; one it refuses is left out with a warning, never a failed save.
void Offer(int code, const char* what) {
    if (code != 0) LumoWarning(kSaveModule, "%s left out: %s", what, spng_strerror(code));
}

// eXIf, iCCP (the profile only beside pixels it describes: palette and RGB files take an RGB
// profile, gray files a gray one), the XMP packet in an iTXt chunk and the comment in a tEXt chunk
// (iTXt for UTF-8 beyond ASCII).
void SetMetadata(spng_ctx* context, const IMG& image, const PngSaveFormat& format, MetadataChunks& chunks) {
    const ImageMetadata* metadata = MetadataToSave(&image);
    if (!metadata) return;
    if (!metadata->exif.empty()) {
        chunks.exif = metadata->exif;
        SetExifPixelSize(chunks.exif, image.width, image.height);
        spng_exif exif{chunks.exif.size(), reinterpret_cast<char*>(chunks.exif.data())};
        Offer(spng_set_exif(context, &exif), "Exif block");
    }
    const bool gray = format.colorType == SPNG_COLOR_TYPE_GRAYSCALE;
    if (ProfileColourSpace(metadata->icc) == (gray ? IccColourSpace::Gray : IccColourSpace::Rgb)) {
        spng_iccp iccp{"ICC profile", metadata->icc.size(),
                       reinterpret_cast<char*>(const_cast<uint8_t*>(metadata->icc.data()))};  // libspng only reads it
        Offer(spng_set_iccp(context, &iccp), "ICC profile");
    }
    static char none[] = "";
    chunks.xmp = TextUpToNul(metadata->xmp.begin(), metadata->xmp.end());
    if (!chunks.xmp.empty()) {
        spng_text& xmp = chunks.texts[chunks.textCount++];
        std::strcpy(xmp.keyword, "XML:com.adobe.xmp");
        xmp.type = SPNG_ITXT;
        xmp.length = chunks.xmp.size();
        xmp.text = chunks.xmp.data();
        xmp.language_tag = none;
        xmp.translated_keyword = none;
    }
    chunks.comment = TextUpToNul(metadata->comment.begin(), metadata->comment.end());
    if (!chunks.comment.empty()) {
        spng_text& comment = chunks.texts[chunks.textCount++];
        std::strcpy(comment.keyword, "Comment");
        comment.type = NeedsUtf8Chunk(chunks.comment) ? SPNG_ITXT : SPNG_TEXT;
        comment.length = chunks.comment.size();
        comment.text = chunks.comment.data();
        comment.language_tag = none;
        comment.translated_keyword = none;
    }
    if (chunks.textCount > 0) Offer(spng_set_text(context, chunks.texts, chunks.textCount), "XMP packet and comment");
}

}  // namespace

void WritePng(const IMG* image, const ByteSink& sink) {
    // PNG has no empty pictures: every decoder refuses a side of 0.
    if (image->width == 0 || image->height == 0)
        LumoError(kSaveModule, "Can't save an empty image (%d x %d)", image->width, image->height);
    EncoderOutput output{sink, nullptr};
    const SpngContext encoder(spng_ctx_new(SPNG_CTX_ENCODER));
    if (!encoder) LumoError(kSaveModule, "Out of memory");
    spng_ctx* context = encoder.get();
    Check(spng_set_png_stream(context, WriteStream, &output), output);
    const PngSaveFormat format = PngSaveFormatOf(*image);
    SetHeader(context, *image, format, output);
    MetadataChunks metadata;
    SetMetadata(context, *image, format, metadata);
    SetCompression(context, format, output);
    Check(spng_encode_image(context, nullptr, 0, SPNG_FMT_PNG, SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE), output);

    const size_t rowBytes = PngRowBytes(format.colorType, format.bitDepth, image->width);
    LumoBuffer<uint8_t> row = LumoAllocBuffer<uint8_t>(rowBytes, kSaveModule);
    for (int y = 0; y < image->height; ++y) {
        CopyRowForFile(*image, y, row.get());
        const int code = spng_encode_row(context, row.get(), rowBytes);
        // The last row ends the image (SPNG_EOI), and libspng then writes the closing chunks.
        Check(code == SPNG_EOI && y == image->height - 1 ? 0 : code, output);
        LumoProgressRow(y, image->height);
    }
}

void LumoSavePng(const IMG* image, const char* fileName) {
    LumoProgress(-1);
    OutputFile out(fileName, kSaveModule);
    WritePng(image, [&out](const uint8_t* bytes, size_t count) { out.write(bytes, count); });
    out.commit();
    LumoProgress(-2);
}
