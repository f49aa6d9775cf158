#include <cstdio>
#include <cstring>
#include <span>
#include <vector>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/byte_order.h"
#include "formats/load_limits.h"
#include "formats/metadata/icc_header.h"
#include "formats/metadata/keep_metadata.h"
#include "formats/png/png.h"
#include "formats/png/png_rows.h"
#include "formats/png/png_stream.h"
#include "formats/png/spng_context.h"

namespace {

constexpr const char* kLoadModule = "LumoLoadPng";

// The signature and the start of the IHDR chunk that must follow it; integers big-endian.
//   0  8 bytes  signature 137 "PNG" 13 10 26 10
//   8  4        IHDR data length (13)
//  12  4        "IHDR"
//  16  4        width
//  20  4        height (then depth, colour type, compression, filter, interlace, CRC: libspng checks those)
constexpr size_t kPrefixSize = 24;
constexpr uint8_t kSignature[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};

// Deflate turns a byte of data into at most 1032 bytes: a picture larger than that many times what
// the file still holds cannot be in it.
constexpr size_t kDeflateMaxExpansion = 1032;
// What libspng may keep of the chunks it is given besides the pixel data: PLTE, tRNS and pHYs are
// small; the chunks of metadata (decompressed, all together) must fit too, or the picture loads
// again without them.
constexpr size_t kChunkLimit = size_t{1} << 20;

// Thrown, instead of a report, when the chunks of metadata passed libspng's limits.
struct MetadataOverLimits {};

// One pass of libspng over the file.
struct LoadPass {
    const InputFile& file;
    const PngStream& stream;
};

int ReadStream(spng_ctx*, void* user, void* destination, size_t length) noexcept {
    return static_cast<PngStream*>(user)->read(static_cast<uint8_t*>(destination), length) ? 0 : SPNG_IO_EOF;
}

[[noreturn]] void Fail(const InputFile& file, int code) {
    LumoError(kLoadModule, "Corrupted PNG file %s: %s", file.name().c_str(), spng_strerror(code));
}

void Check(const LoadPass& pass, int code) {
    if (code == 0) return;
    if (code == SPNG_ECHUNK_LIMITS && pass.stream.passedMetadata()) throw MetadataOverLimits{};
    Fail(pass.file, code);
}

// Reads the signature and the size in IHDR: a file that is no PNG, or whose picture the record
// could not hold or the pixel limit refuses, is turned away before libspng sees it.
void CheckPrefix(PngStream& stream, const InputFile& file) {
    const uint8_t* prefix = nullptr;
    const size_t size = stream.peek(prefix);
    if (size < sizeof kSignature || std::memcmp(prefix, kSignature, sizeof kSignature) != 0)
        LumoError(kLoadModule, "Not a PNG file: %s", file.name().c_str());
    if (size == kPrefixSize && std::memcmp(prefix + 12, "IHDR", 4) == 0)
        CheckLoadSize(kLoadModule, static_cast<long>(ReadBE32(prefix + 16)), static_cast<long>(ReadBE32(prefix + 20)));
}

SpngContext OpenDecoder(PngStream& stream, const LoadPass& pass) {
    SpngContext context(spng_ctx_new(0));
    if (!context) LumoError(kLoadModule, "Out of memory");
    // The record's limits again, and a bound on the chunks libspng keeps.
    spng_set_image_limits(context.get(), kMaxImageDimension, kMaxImageDimension);
    spng_set_chunk_limits(context.get(), kChunkLimit, kChunkLimit);
    Check(pass, spng_set_png_stream(context.get(), ReadStream, &stream));
    return context;
}

// The palette of a palette file, each entry seen over white through its tRNS alpha; entries the
// file does not give are black.
PalettePtr ReadPalette(spng_ctx* context, const LoadPass& pass, int entries) {
    spng_plte plte{};
    Check(pass, spng_get_plte(context, &plte));
    spng_trns trns{};
    const bool hasAlpha = spng_get_trns(context, &trns) == 0;
    PalettePtr palette = CreateIMGPalette(entries);
    std::memset(palette.get(), 0, static_cast<size_t>(entries) * 3);
    for (uint32_t i = 0; i < plte.n_entries && i < static_cast<uint32_t>(entries); ++i) {
        const spng_plte_entry& e = plte.entries[i];
        const unsigned alpha = hasAlpha && i < trns.n_type3_entries ? trns.type3_alpha[i] : 255;
        LumoSetPaletteEntry(palette.get(), static_cast<int>(i), OverWhite8(e.red, alpha), OverWhite8(e.green, alpha),
                            OverWhite8(e.blue, alpha));
    }
    return palette;
}

PngPixels DescribePixels(spng_ctx* context, const spng_ihdr& ihdr) {
    PngPixels pixels{ihdr.color_type, ihdr.bit_depth, static_cast<int>(ihdr.width), false, 0, 0, 0, 0};
    spng_trns trns{};
    if (ihdr.color_type != SPNG_COLOR_TYPE_INDEXED && spng_get_trns(context, &trns) == 0) {
        pixels.hasKey = true;
        pixels.keyGray = trns.gray;
        pixels.keyRed = trns.red;
        pixels.keyGreen = trns.green;
        pixels.keyBlue = trns.blue;
    }
    return pixels;
}

void ReadResolution(spng_ctx* context, IMG& image) {
    spng_phys phys{};
    if (spng_get_phys(context, &phys) != 0 || phys.unit_specifier != 1) return;  // only pixels per metre
    image.xResolution = static_cast<float>(phys.ppu_x * 0.0254);
    image.yResolution = static_cast<float>(phys.ppu_y * 0.0254);
}

// Decodes the rows one at a time straight into the record, one progress report per row.
void DecodeRows(spng_ctx* context, const LoadPass& pass, const PngPixels& pixels, size_t rowBytes, IMG& image) {
    LumoBuffer<uint8_t> row = LumoAllocBuffer<uint8_t>(rowBytes, kLoadModule);
    for (int code = 0; code != SPNG_EOI;) {
        spng_row_info info{};
        Check(pass, spng_get_row_info(context, &info));
        code = spng_decode_row(context, row.get(), rowBytes);
        if (code != SPNG_EOI) Check(pass, code);
        const int y = static_cast<int>(info.row_num);
        ConvertPngRow(pixels, row.get(), PictureRow(image, y));
        LumoProgressRow(y, image.height);
    }
}

// An interlaced file gives each row in up to seven passes: the whole picture is gathered in the
// file's layout first, then converted (progress by pass, then by row of the conversion).
void DecodeInterlaced(spng_ctx* context, const LoadPass& pass, const PngPixels& pixels, size_t rowBytes,
                      IMG& image) {
    const size_t total = rowBytes * image.height;
    LumoBuffer<uint8_t> rows = LumoAllocBuffer<uint8_t>(total, kLoadModule);
    std::memset(rows.get(), 0, total);  // libspng adds the samples of rows below 8 bits into place
    for (int code = 0; code != SPNG_EOI;) {
        spng_row_info info{};
        Check(pass, spng_get_row_info(context, &info));
        code = spng_decode_row(context, rows.get() + info.row_num * rowBytes, rowBytes);
        if (code != SPNG_EOI) Check(pass, code);
        LumoProgress(info.pass * 80 / 7);
    }
    for (int y = 0; y < image.height; ++y) {
        ConvertPngRow(pixels, rows.get() + static_cast<size_t>(y) * rowBytes, PictureRow(image, y));
        LumoProgress(80 + (y + 1) * 20 / image.height);
    }
}

// The first text chunk of that keyword (and, when given, of that type).
const spng_text* FindText(const std::vector<spng_text>& texts, const char* keyword, int type = 0) {
    for (const spng_text& text : texts)
        if (std::strcmp(text.keyword, keyword) == 0 && (type == 0 || text.type == type)) return &text;
    return nullptr;
}

// What the chunks before and after the pixel data carry: eXIf, iCCP (libspng inflates it), the
// XMP packet of the iTXt chunk "XML:com.adobe.xmp" and the first "Comment" text. libspng has
// already dropped chunks it finds malformed; a profile whose header disagrees with its length is
// left out with a warning.
ImageMetadata ReadMetadata(spng_ctx* context, const InputFile& file) {
    ImageMetadata metadata;
    spng_exif exif{};
    if (spng_get_exif(context, &exif) == 0) metadata.exif.assign(exif.data, exif.data + exif.length);
    spng_iccp iccp{};
    if (spng_get_iccp(context, &iccp) == 0) {
        const std::span<const uint8_t> profile(reinterpret_cast<const uint8_t*>(iccp.profile), iccp.profile_len);
        if (ProfileColourSpace(profile) == IccColourSpace::Unknown)
            LumoWarning(kLoadModule, "Damaged ICC profile left out: %s", file.name().c_str());
        else
            metadata.icc.assign(profile.begin(), profile.end());
    }
    uint32_t count = 0;
    if (spng_get_text(context, nullptr, &count) == 0 && count > 0) {
        std::vector<spng_text> texts(count);
        if (spng_get_text(context, texts.data(), &count) == 0) {
            if (const spng_text* xmp = FindText(texts, "XML:com.adobe.xmp", SPNG_ITXT))
                metadata.xmp.assign(xmp->text, xmp->text + xmp->length);
            if (const spng_text* comment = FindText(texts, "Comment")) metadata.comment.assign(comment->text, comment->length);
        }
    }
    return metadata;
}

// Decodes the whole file from its current position, with the chunks of metadata or without.
ImagePtr DecodePng(InputFile& file, bool withMetadata) {
    PngStream stream(file, withMetadata);
    const LoadPass pass{file, stream};
    CheckPrefix(stream, file);
    const size_t dataBytes = file.remaining();  // what follows IHDR's size: every chunk may hold pixel data
    const SpngContext decoder = OpenDecoder(stream, pass);
    spng_ctx* context = decoder.get();
    // Reads the chunks up to the pixel data and readies the row decoder for the file's own layout.
    Check(pass, spng_decode_image(context, nullptr, 0, SPNG_FMT_PNG, SPNG_DECODE_PROGRESSIVE));
    spng_ihdr ihdr{};
    Check(pass, spng_get_ihdr(context, &ihdr));
    CheckLoadSize(kLoadModule, static_cast<long>(ihdr.width), static_cast<long>(ihdr.height));
    const int width = static_cast<int>(ihdr.width), height = static_cast<int>(ihdr.height);
    size_t imageBytes = 0;  // libspng's size of the picture in the file's layout
    Check(pass, spng_decoded_image_size(context, SPNG_FMT_PNG, &imageBytes));
    const size_t rowBytes = imageBytes / ihdr.height;
    if (rowBytes < PngRowBytes(ihdr.color_type, ihdr.bit_depth, width)) Fail(file, SPNG_EINTERNAL);
    CheckPromisedSize(kLoadModule, file.name().c_str(), (rowBytes + 1) * height, dataBytes,
                      kDeflateMaxExpansion);

    const ImageKind kind = PngLoadKind(ihdr.color_type, ihdr.bit_depth);
    const int bits = BitsPerPixelOf(kind);
    PalettePtr palette = ColorClassOf(kind) == COLOR && bits < 24 ? ReadPalette(context, pass, 1 << bits) : nullptr;
    ImagePtr image = LumoCreateImage(width, height, ColorClassOf(kind), std::move(palette), bits);
    ReadResolution(context, *image);
    const PngPixels pixels = DescribePixels(context, ihdr);
    if (ihdr.interlace_method == SPNG_INTERLACE_NONE)
        DecodeRows(context, pass, pixels, rowBytes, *image);
    else
        DecodeInterlaced(context, pass, pixels, rowBytes, *image);
    if (withMetadata) LumoSetMetadata(image.get(), MetadataLoadsKeep(ReadMetadata(context, file)));
    return image;
}

}  // namespace

ImagePtr LumoLoadPng(const char* fileName) {
    InputFile file(fileName, kLoadModule);
    return LoadPngFrom(file);
}

ImageInfo ReadPngInfo(const char* fileName) {
    InputFile file(fileName, kLoadModule);
    uint8_t header[sizeof kSignature + 25];  // the signature, then IHDR's length, type, data and CRC
    if (file.read(header, sizeof header) != sizeof header || std::memcmp(header, kSignature, sizeof kSignature) != 0 ||
        std::memcmp(header + 12, "IHDR", 4) != 0)
        LumoError(kLoadModule, "Not a PNG file: %s", file.name().c_str());
    const long width = ReadBE32(header + 16), height = ReadBE32(header + 20);
    CheckLoadSize(kLoadModule, width, height);
    return {static_cast<int>(width), static_cast<int>(height), PngLoadKind(header[25], header[24])};
}

ImagePtr LoadPngFrom(InputFile& file) {
    LumoProgress(-1);
    ImagePtr image;
    const long start = file.position();
    try {
        image = DecodePng(file, true);  // the profile is read even when nothing else is kept
    } catch (const MetadataOverLimits&) {
        // Metadata is never worth losing the picture: it loads again without it.
        LumoWarning(kLoadModule, "Metadata over %zu bytes left out: %s", kChunkLimit, file.name().c_str());
        std::fseek(file.stream(), start, SEEK_SET);
    }
    if (!image) image = DecodePng(file, false);
    LumoProgress(-2);
    return image;
}
