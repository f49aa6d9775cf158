#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/file_rows.h"
#include "formats/metadata/keep_metadata.h"
#include "formats/output_file.h"
#include "formats/tiff/tiff.h"
#include "formats/tiff/tiff_lzw_encoder.h"
#include "formats/tiff/tiff_metadata.h"
#include "formats/tiff/tiff_options.h"
#include "formats/tiff/tiff_ycbcr_encoder.h"

namespace {

constexpr const char* kSaveModule = "LumoSaveTiff";

constexpr int kNoCompression = COMPRESSION_NONE;  // 1
constexpr int kLzw = COMPRESSION_LZW;             // 5
constexpr int kJpeg = COMPRESSION_JPEG;           // 7

constexpr int kJpegQuality = 75;
// libtiff's JPEG codec wants strips of whole MCU rows: 16 rows hold one at every sampling.
constexpr uint32_t kJpegStripStep = 16;

// Offsets in a classic TIFF are 32-bit: the whole file must end below 4 GiB.
constexpr uint64_t kMaxClassicTiffSize = 0xFFFFFFFFu;
// Room for the header, the directory and its out-of-line values besides the strip tables
// (dozen tags, a 256-entry colour map, date and reference values take under 2 KB).
constexpr uint64_t kDirectoryAllowance = 4096;

// What the file will hold, decided before anything is written.
struct Layout {
    int compression;        // Compression tag written
    uint16_t photometric;   // PhotometricInterpretation
    uint16_t samples;       // SamplesPerPixel
    uint16_t bitsPerSample;
    bool predictor;         // Predictor 2 written
    bool ycbcr;             // pixels through our YCbCr encoder
    int h = 1;              // its chroma subsampling
    int v = 1;
    uint32_t rowsPerStrip;
};

// The automatic rows per strip: the whole picture when it is small, else strips of about 8 KB of
// rows uncompressed, 16 KB for the other codecs and 16 rows per 4 KB of row for JPEG. A row larger
// than the budget still gets a strip of its own (JPEG: one of 16 rows), since 0 rows is no strip.
uint32_t AutomaticRowsPerStrip(const IMG& image, int compression) {
    const long rowBytes = image.rowBytes;
    if (rowBytes * image.height < 65000) return image.height;
    if (compression == kJpeg) return static_cast<uint32_t>(std::max(4096 / rowBytes, 1L) * kJpegStripStep);
    const long budget = compression == kNoCompression ? 8192 : 16384;
    return static_cast<uint32_t>(std::max(budget / rowBytes, 1L));
}

uint32_t RowsPerStrip(const IMG& image, const TiffOptions& options, int compression) {
    if (options.rowsPerStrip <= 0) return AutomaticRowsPerStrip(image, compression);
    uint32_t rows = static_cast<uint32_t>(options.rowsPerStrip);
    // A JPEG strip shorter than the picture must hold whole MCU rows, or libtiff refuses it.
    if (compression == kJpeg && rows < image.height) rows = (rows + kJpegStripStep - 1) / kJpegStripStep * kJpegStripStep;
    return rows;
}

// JPEG codes 8-bit samples only, and TIFF gives it colour as YCbCr and gray as min-is-black:
// the other kinds are written losslessly with LZW instead of as something they are not.
int CompressionFor(ImageKind kind, int requested) {
    if (requested != kJpeg || kind == ImageKind::RGB || kind == ImageKind::GRAY256) return requested;
    if (LumoVerbose()) LumoWarning(kSaveModule, "JPEG needs an RGB or GRAY256 image: %s written with LZW", KindName(kind));
    return kLzw;
}

Layout PlanLayout(const IMG& image, const TiffOptions& options) {
    if (image.width == 0 || image.height == 0)
        LumoError(kSaveModule, "Can't save an empty image (%d x %d)", image.width, image.height);
    const ImageKind kind = KindOf(image);
    Layout layout{};
    layout.compression = CompressionFor(kind, options.compression);
    if (layout.compression < 1 || layout.compression > 0xFFFF ||
        !TIFFIsCODECConfigured(static_cast<uint16_t>(layout.compression)))
        LumoError(kSaveModule, "Unknown TIFF compression %d", layout.compression);

    switch (kind) {
        case ImageKind::BW:
        case ImageKind::GRAY16:
        case ImageKind::GRAY256:
            layout.photometric = PHOTOMETRIC_MINISBLACK;
            layout.samples = 1;
            break;
        case ImageKind::COLOR16:
        case ImageKind::COLOR256:
            layout.photometric = PHOTOMETRIC_PALETTE;
            layout.samples = 1;
            break;
        case ImageKind::RGB:
            // libtiff's JPEG codec turns RGB rows into YCbCr itself, so our encoder is for the others.
            layout.ycbcr = options.ycbcr != 0 && layout.compression != kJpeg;
            layout.photometric = layout.ycbcr || layout.compression == kJpeg ? PHOTOMETRIC_YCBCR : PHOTOMETRIC_RGB;
            layout.samples = 3;
            break;
    }
    layout.bitsPerSample = static_cast<uint16_t>(kind == ImageKind::RGB ? 8 : image.bitsPerPixel);
    // Horizontal differencing works on whole samples of 8 bits or more (libtiff refuses 1 and 4 bits),
    // and our YCbCr blocks are no rows of samples.
    layout.predictor = options.predictor != 0 && layout.compression == kLzw && layout.bitsPerSample == 8 && !layout.ycbcr;

    layout.rowsPerStrip = RowsPerStrip(image, options, layout.compression);
    if (layout.ycbcr) {
        if (!IsValidYCbCrSubsampling(options.hSubsampling, options.vSubsampling))
            LumoError(kSaveModule, "Can't write YCbCr subsampling %d x %d: 1, 2 or 4 each way, vertical at most horizontal",
                      options.hSubsampling, options.vSubsampling);
        layout.h = options.hSubsampling;
        layout.v = options.vSubsampling;
        layout.rowsPerStrip = YCbCrRowsPerStrip(layout.rowsPerStrip, layout.v);
    }
    return layout;
}

// Uncompressed pixel data is known in advance: a picture whose file would pass the 4 GiB that a
// classic TIFF can address is refused before anything is written. (Compressed data that grows past
// it is refused by libtiff as it is written: "Maximum TIFF file size exceeded".)
void CheckClassicSize(const IMG& image, const Layout& layout, const TiffOptions& options, const ImageMetadata* metadata) {
    if (layout.compression != kNoCompression) return;
    const uint64_t strips = (static_cast<uint64_t>(image.height) + layout.rowsPerStrip - 1) / layout.rowsPerStrip;
    const uint64_t data =
        layout.ycbcr ? YCbCrStripBytes(image.width, image.height, layout.h, layout.v)
                     : (static_cast<uint64_t>(image.width) * layout.samples * layout.bitsPerSample + 7) / 8 * image.height;
    const uint64_t size =
        data + strips * 8 + kDirectoryAllowance + (options.software ? options.software->size() + 1 : 0) +
        (metadata ? metadata->icc.size() + metadata->xmp.size() + metadata->exif.size() : 0);
    if (size > kMaxClassicTiffSize)
        LumoError(kSaveModule, "Image too large for a TIFF file: %d x %d %s needs %llu bytes, more than 4 GiB", image.width,
                  image.height, KindName(KindOf(image)), static_cast<unsigned long long>(size));
}

template <typename... Values>
void SetField(TiffHandle& tiff, uint32_t tag, Values... values) {
    if (!TIFFSetField(tiff.get(), tag, values...)) tiff.fail(kSaveModule, "Can't set a TIFF tag");
    tiff.check(kSaveModule);
}

// "YYYY:MM:DD HH:MM:SS" of the current local time.
std::string DateStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[80];
    std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

// The colour map: each 8-bit palette value v as v * 257, so 255 becomes 65535. A palette kind
// built without a palette gets black entries rather than reading nothing.
void SetColorMap(TiffHandle& tiff, const IMG& image) {
    const size_t entries = size_t{1} << image.bitsPerPixel;
    const LumoBuffer<uint16_t> map(static_cast<uint16_t*>(
        LumoAllocOrFail(3 * entries * sizeof(uint16_t), kSaveModule, "Build Color Map: Out of memory")));
    std::fill(map.get(), map.get() + 3 * entries, 0);
    uint16_t* red = map.get();
    uint16_t* green = red + entries;
    uint16_t* blue = green + entries;
    if (image.palette)
        for (size_t i = 0; i < entries; ++i) {
            red[i] = static_cast<uint16_t>(image.palette[3 * i] * 257);
            green[i] = static_cast<uint16_t>(image.palette[3 * i + 1] * 257);
            blue[i] = static_cast<uint16_t>(image.palette[3 * i + 2] * 257);
        }
    SetField(tiff, TIFFTAG_COLORMAP, red, green, blue);
}

void SetTags(TiffHandle& tiff, const IMG& image, const Layout& layout, const TiffOptions& options) {
    SetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width));
    SetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height));
    SetField(tiff, TIFFTAG_COMPRESSION, static_cast<int>(layout.compression));
    if (layout.compression == COMPRESSION_CCITTFAX3 && options.optionsG3 != 0)
        SetField(tiff, TIFFTAG_GROUP3OPTIONS, static_cast<uint32_t>(options.optionsG3));
    SetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    SetField(tiff, TIFFTAG_BITSPERSAMPLE, static_cast<int>(layout.bitsPerSample));
    SetField(tiff, TIFFTAG_SAMPLESPERPIXEL, static_cast<int>(layout.samples));
    SetField(tiff, TIFFTAG_ROWSPERSTRIP, layout.rowsPerStrip);
    SetField(tiff, TIFFTAG_DATETIME, DateStamp().c_str());
    if (options.software) SetField(tiff, TIFFTAG_SOFTWARE, options.software->c_str());
    if (layout.predictor) SetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    // libtiff refuses resolutions that are negative or not numbers; such values are left out.
    if (image.xResolution > 0 && image.yResolution > 0 && std::isfinite(image.xResolution) &&
        std::isfinite(image.yResolution)) {
        SetField(tiff, TIFFTAG_XRESOLUTION, static_cast<double>(image.xResolution));
        SetField(tiff, TIFFTAG_YRESOLUTION, static_cast<double>(image.yResolution));
    }
    if (layout.photometric == PHOTOMETRIC_PALETTE) SetColorMap(tiff, image);
    SetField(tiff, TIFFTAG_PHOTOMETRIC, static_cast<int>(layout.photometric));
    if (layout.compression == kJpeg) {
        SetField(tiff, TIFFTAG_JPEGQUALITY, kJpegQuality);
        if (layout.photometric == PHOTOMETRIC_YCBCR) SetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    if (layout.ycbcr) SetYCbCrTags(tiff, layout.h, layout.v);
}

// The bytes of a row as the file holds them: no padding, red, green, blue for colour.
size_t PackedRowBytes(const IMG& image) {
    return image.bitsPerPixel == 24 ? size_t{image.width} * 3 : (size_t{image.width} * image.bitsPerPixel + 7) / 8;
}

// libtiff's idea of a row must be ours: its readers cut the strips by it.
size_t CheckedRowBytes(TiffHandle& tiff, const IMG& image) {
    const tmsize_t lineSize = TIFFScanlineSize(tiff.get());
    tiff.check(kSaveModule);
    const size_t pixelBytes = PackedRowBytes(image);
    if (lineSize <= 0 || static_cast<size_t>(lineSize) != pixelBytes)
        LumoError(kSaveModule, "Unexpected TIFF scanline size %lld for a row of %zu bytes", static_cast<long long>(lineSize),
                  pixelBytes);
    return pixelBytes;
}

// Horizontal differencing of a row of 8-bit samples: each sample minus the same sample of the
// pixel before it, modulo 256 (the first pixel stays).
void DifferenceRow(uint8_t* row, size_t bytes, size_t samples) {
    for (size_t i = bytes; i-- > samples;) row[i] = static_cast<uint8_t>(row[i] - row[i - samples]);
}

// Hands the picture to libtiff row by row from the top, always through a copy: libtiff's codecs
// may work in the buffer they are given (the predictor does), and the caller's image stays as it was.
void WriteRows(TiffHandle& tiff, const IMG& image) {
    TIFF* tif = tiff.get();
    const size_t pixelBytes = CheckedRowBytes(tiff, image);
    // libtiff reads exactly one scanline from the buffer: it must be the row we copy, no more.
    const LumoBuffer<uint8_t> line(static_cast<uint8_t*>(LumoAllocOrFail(pixelBytes, kSaveModule, "Out of Memory")));

    LumoProgress(-1);
    for (int y = 0; y < image.height; ++y) {
        LumoProgressRow(y, image.height);
        CopyRowForFile(image, y, line.get());
        if (TIFFWriteScanline(tif, line.get(), static_cast<uint32_t>(y), 0) < 0)
            tiff.fail(kSaveModule, "Can't write a TIFF row");
        tiff.check(kSaveModule);
    }
    LumoProgress(-2);
}

// LZW strips through our encoder: each strip's rows gathered as the file holds them (differenced
// when the predictor is on), encoded on their own and written as they are.
void WriteLzwStrips(TiffHandle& tiff, const IMG& image, const Layout& layout) {
    TIFF* tif = tiff.get();
    const size_t pixelBytes = CheckedRowBytes(tiff, image);
    const uint32_t stripRows = std::min<uint32_t>(layout.rowsPerStrip, static_cast<uint32_t>(image.height));
    const LumoBuffer<uint8_t> strip = LumoAllocBuffer<uint8_t>(pixelBytes * stripRows, kSaveModule);
    TiffLzwEncoder encoder;

    LumoProgress(-1);
    uint32_t stripIndex = 0;
    size_t filled = 0;
    for (int y = 0; y < image.height; ++y) {
        LumoProgressRow(y, image.height);
        uint8_t* row = strip.get() + filled;
        CopyRowForFile(image, y, row);
        if (layout.predictor) DifferenceRow(row, pixelBytes, layout.samples);
        filled += pixelBytes;
        if (filled < pixelBytes * stripRows && y + 1 < image.height) continue;
        const std::span<const uint8_t> bytes = encoder.encode(strip.get(), filled);
        const tmsize_t count = static_cast<tmsize_t>(bytes.size());
        // libtiff only copies raw strip data to the file; the cast is for its C signature.
        if (TIFFWriteRawStrip(tif, stripIndex, const_cast<uint8_t*>(bytes.data()), count) != count)
            tiff.fail(kSaveModule, "Can't write a TIFF strip");
        tiff.check(kSaveModule);
        ++stripIndex;
        filled = 0;
    }
    LumoProgress(-2);
}

// libtiff's procedures over the output file's stream. The file is only written: libtiff in mode
// "w" never reads, and the OutputFile closes the stream when it commits.
std::FILE* StreamOf(thandle_t handle) { return static_cast<std::FILE*>(handle); }

tmsize_t StreamRead(thandle_t, void*, tmsize_t) { return -1; }

tmsize_t StreamWrite(thandle_t handle, void* source, tmsize_t count) {
    if (count <= 0) return 0;
    return static_cast<tmsize_t>(std::fwrite(source, 1, static_cast<size_t>(count), StreamOf(handle)));
}

toff_t StreamSeek(thandle_t handle, toff_t offset, int whence) {
    std::FILE* file = StreamOf(handle);
    if (::fseeko(file, static_cast<off_t>(offset), whence) != 0) return static_cast<toff_t>(-1);
    return static_cast<toff_t>(::ftello(file));
}

int StreamClose(thandle_t) { return 0; }

toff_t StreamSize(thandle_t handle) {
    std::FILE* file = StreamOf(handle);
    const off_t here = ::ftello(file);
    if (here < 0 || ::fseeko(file, 0, SEEK_END) != 0) return 0;
    const off_t size = ::ftello(file);
    ::fseeko(file, here, SEEK_SET);
    return size < 0 ? 0 : static_cast<toff_t>(size);
}

int StreamMap(thandle_t, void**, toff_t*) { return 0; }

void StreamUnmap(thandle_t, void*, toff_t) {}

}  // namespace

void WriteTiff(const IMG* image, TiffHandle& tiff) {
    const TiffOptions& options = CurrentTiffOptions();
    const Layout layout = PlanLayout(*image, options);
    const ImageMetadata* metadata = MetadataToSave(image);
    CheckClassicSize(*image, layout, options, metadata);
    // The Exif and GPS directories go first: the image directory, written last, is still the first one
    // the header points at (and the only one in the chain).
    const TiffExifOffsets exifOffsets =
        metadata ? WriteTiffExifDirectories(tiff, *metadata, image->width, image->height) : TiffExifOffsets{};
    SetTags(tiff, *image, layout, options);
    if (metadata) SetTiffMetadataTags(tiff, *metadata, layout.photometric, exifOffsets);
    if (layout.ycbcr)
        WriteYCbCrStrips(*image, tiff, layout.h, layout.v, layout.rowsPerStrip, layout.compression == kLzw);
    else if (layout.compression == kLzw)
        WriteLzwStrips(tiff, *image, layout);
    else
        WriteRows(tiff, *image);
    tiff.close(kSaveModule);
}

MemoryBufferPtr SaveTiffToMemory(const IMG* image) {
    MemoryBufferPtr buffer = AllocBuffer(8192);
    TiffHandle tiff = OpenMemoryBufferTiff(buffer.get(), "w");
    if (!tiff) tiff.fail(kSaveModule, "Can't open the memory buffer");
    WriteTiff(image, tiff);
    return buffer;
}

void LumoSaveTiff(const IMG* image, const char* path) {
    OutputFile out(path, "LumoOpenTiff", "Can't open TIFF File %s");
    std::FILE* stream = out.stream();
    TiffHandle tiff;
    if (!tiff.openClient(path, "w", stream, StreamRead, StreamWrite, StreamSeek, StreamClose, StreamSize, StreamMap,
                         StreamUnmap)) {
        tiff.takeError();  // reported in the codec's own words, as when the file cannot be created
        LumoError("LumoOpenTiff", "Can't open TIFF File %s", path);
    }
    WriteTiff(image, tiff);
    if (std::fflush(stream) != 0 || std::ferror(stream)) LumoError(kSaveModule, "Error writing file %s", path);
    out.commit();
}
