#include "formats/jpeg/jpeg_decode.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "core/convert.h"
#include "core/memory.h"
#include "core/messages.h"
#include "core/orientation.h"
#include "formats/colour/srgb_conversion.h"
#include "formats/jpeg/jpeg_error.h"
#include "formats/jpeg/jpeg_markers.h"
#include "formats/load_limits.h"
#include "formats/metadata/exif_block.h"
#include "formats/metadata/keep_metadata.h"

namespace {

constexpr const char* kModule = "LoadJpeg";

// Compressed data can stand for far more pixels than it has bytes (flat areas, arithmetic coding,
// a progressive file whose later scans are missing), so the cap on promised pixels is generous;
// it still stops a few hundred bytes from claiming gigabytes.
constexpr size_t kMaxExpansion = 1024;
// libjpeg's own large buffers (the coefficients of multi-scan files, which stay full size however
// much the output is reduced; the quantizer's picture buffer) get the same allowance, with a floor
// that ordinary pictures stay far below.
constexpr size_t kLibraryMemoryFloor = size_t{256} << 20;
// Real progressive files have a few dozen scans; a crafted one repeats scans to make decoding crawl.
constexpr int kMaxScans = 1000;

// What libjpeg hands out per pixel, and what becomes of it.
enum class Output {
    Gray,       // 1 byte, the gray level: GRAY256
    Bgr,        // blue, green, red, the order IMG stores: RGB
    Quantized,  // 1 byte, an index into libjpeg's colour map: COLOR256
    Ink,        // cyan, magenta, yellow, black, converted to RGB here row by row
};

struct DecodeSession {
    JpegErrorTrap trap;
    jpeg_decompress_struct cinfo{};  // destroying a zeroed object is harmless, so the destructor needs no flag
    jpeg_progress_mgr monitor{};
    const JpegOptions* options;
    std::FILE* stream;
    const char* name;
    size_t dataBytes;
    Output output = Output::Bgr;
    bool invertedInk = false;  // Adobe's convention: 255 is no ink
    int orientation = 1;       // the Exif tag's step to upright, when the options turn pictures
    std::unique_ptr<InkConverter> inkProfile;  // ink through the file's CMYK profile, when it has a usable one
    bool fullLoad = false;     // a load of the pixels, not a header read
    bool keepMetadata = false; // a full load while metadata is kept
    ImageMetadata metadata;    // what the markers carry, read before libjpeg frees them
    ImagePtr image;            // lives with the session in the caller's frame: a longjmp never skips it

    ~DecodeSession() { jpeg_destroy_decompress(&cinfo); }
};

j_common_ptr Common(jpeg_decompress_struct& cinfo) { return reinterpret_cast<j_common_ptr>(&cinfo); }

void LimitScans(j_common_ptr cinfo) {
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans)
        AbortJpeg(cinfo, "Too many scans in JPEG file");
}

// The scale denominator (numerator 1). In thumbnail mode it is the largest of 8, 4, 2 and 1 that keeps
// the picture at least as large as the targets wherever the file allows.
// A picture that will be turned a quarter is measured against the targets with its sides exchanged.
int ScaleDenominator(const jpeg_decompress_struct& cinfo, const JpegOptions& options, int orientation) {
    if (!options.thumbnailMode) return std::max(options.ratio, 1);  // 0 or less would enlarge the picture
    // Targets below 1 would divide by zero: they count as 1.
    unsigned targetWidth = static_cast<unsigned>(std::max(options.thumbnailWidth, 1));
    unsigned targetHeight = static_cast<unsigned>(std::max(options.thumbnailHeight, 1));
    if (orientation >= static_cast<int>(Orientation::Transpose)) std::swap(targetWidth, targetHeight);
    const unsigned fit = std::min(cinfo.image_width / targetWidth, cinfo.image_height / targetHeight);
    return fit >= 8 ? 8 : fit >= 4 ? 4 : fit >= 2 ? 2 : 1;
}

// Adjusts libjpeg's defaults (set by jpeg_read_header) to the options.
void ChooseOutput(DecodeSession& s) {
    jpeg_decompress_struct& cinfo = s.cinfo;
    const JpegOptions& options = *s.options;
    if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) {
        // libjpeg turns YCCK into CMYK but has no conversion from ink to light.
        cinfo.out_color_space = JCS_CMYK;
        s.output = Output::Ink;
        s.invertedInk = cinfo.saw_Adobe_marker;
    } else if (options.forceGray || cinfo.out_color_space == JCS_GRAYSCALE) {
        // Gray output is never quantized: its levels are the picture, and libjpeg's quantizer
        // would move some of them (white 255 comes out as 254).
        cinfo.out_color_space = JCS_GRAYSCALE;
        s.output = Output::Gray;
    } else if (cinfo.out_color_space != JCS_RGB) {
        FailJpeg(Common(cinfo), JERR_CONVERSION_NOTIMPL);  // 2 or more than 4 components
    } else if (!options.readRgb) {
        cinfo.quantize_colors = TRUE;  // libjpeg's defaults: 256 colours, two passes, Floyd-Steinberg
        s.output = Output::Quantized;
    } else {
        cinfo.out_color_space = JCS_EXT_BGR;  // straight into IMG's order, no swapping afterwards
        s.output = Output::Bgr;
    }
    if (options.fast) {
        cinfo.dither_mode = JDITHER_ORDERED;
        cinfo.dct_method = JDCT_IFAST;
        cinfo.do_fancy_upsampling = FALSE;
    }
    if (options.useFloat) cinfo.dct_method = JDCT_FLOAT;
    cinfo.scale_num = 1;
    cinfo.scale_denom = static_cast<unsigned>(ScaleDenominator(cinfo, options, s.orientation));
}

int ExpectedComponents(Output output) {
    switch (output) {
        case Output::Gray:
        case Output::Quantized: return 1;
        case Output::Bgr: return 3;
        case Output::Ink: return 4;
    }
    return 0;
}

// Creates the image from the output size before libjpeg allocates its own buffers, so a size
// the record cannot hold or the data cannot promise is refused first.
void CreateOutputImage(DecodeSession& s) {
    jpeg_decompress_struct& cinfo = s.cinfo;
    jpeg_calc_output_dimensions(&cinfo);
    if (cinfo.output_components != ExpectedComponents(s.output)) FailJpeg(Common(cinfo), JERR_CONVERSION_NOTIMPL);
    const int bitsPerPixel = s.output == Output::Gray || s.output == Output::Quantized ? 8 : 24;
    CheckLoadSize(kModule, static_cast<long>(cinfo.output_width), static_cast<long>(cinfo.output_height));
    const size_t pixelBytes = static_cast<size_t>(RowBytesFor(cinfo.output_width, bitsPerPixel)) * cinfo.output_height;
    CheckPromisedSize(kModule, s.name, pixelBytes, s.dataBytes, kMaxExpansion);
    PalettePtr palette;
    if (s.output == Output::Quantized) {
        palette = PalettePtr(static_cast<uint8_t*>(LumoAllocOrFail(3 * 256, "LumoLoadJpeg", "Can't Alloc Palette")));
        std::memset(palette.get(), 0, 3 * 256);  // entries beyond libjpeg's colour map stay black
    }
    s.image = LumoCreateImage(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                              s.output == Output::Gray ? GRAY : COLOR, std::move(palette), bitsPerPixel);
}

void CopyColourMap(DecodeSession& s) {
    const jpeg_decompress_struct& cinfo = s.cinfo;
    const int colours = std::min(cinfo.actual_number_of_colors, 256);
    for (int i = 0; i < colours; ++i)
        LumoSetPaletteEntry(s.image->palette, i, cinfo.colormap[0][i], cinfo.colormap[1][i], cinfo.colormap[2][i]);
}

// a * b / 255 rounded to the nearest integer, for a and b in 0..255.
inline uint8_t ScaleBy(unsigned a, unsigned b) {
    const unsigned t = a * b + 128;
    return static_cast<uint8_t>((t + (t >> 8)) >> 8);
}

// Ink to light: red is what cyan and black leave, (255 - C) (255 - K) / 255, and so on. Files with
// Adobe's marker store every ink inverted (255 = no ink), as Photoshop writes them: there red is C K / 255.
void InkToBgr(const uint8_t* cmyk, uint8_t* bgr, size_t width, bool inverted) {
    const unsigned flip = inverted ? 0 : 255;
    for (size_t x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        const unsigned black = cmyk[3] ^ flip;
        bgr[0] = ScaleBy(cmyk[2] ^ flip, black);
        bgr[1] = ScaleBy(cmyk[1] ^ flip, black);
        bgr[2] = ScaleBy(cmyk[0] ^ flip, black);
    }
}

void ReadRows(DecodeSession& s) {
    jpeg_decompress_struct& cinfo = s.cinfo;
    IMG& image = *s.image;
    // Ink rows need a row of their own; the others go straight into the image. libjpeg's pool releases it.
    const JSAMPROW inkRow = s.output == Output::Ink
                                ? (*cinfo.mem->alloc_sarray)(Common(cinfo), JPOOL_IMAGE, cinfo.output_width * 4, 1)[0]
                                : nullptr;
    const size_t usedBytes = static_cast<size_t>(image.width) * (image.bitsPerPixel / 8);
    for (int y = 0; y < image.height; ++y) {
        uint8_t* row = PictureRow(image, y);
        JSAMPROW target = inkRow ? inkRow : row;
        if (jpeg_read_scanlines(&cinfo, &target, 1) != 1) FailJpeg(Common(cinfo), JWRN_JPEG_EOF);
        if (s.inkProfile)
            s.inkProfile->convert(inkRow, row, image.width);
        else if (inkRow)
            InkToBgr(inkRow, row, image.width, s.invertedInk);
        std::memset(row + usedBytes, 0, image.rowBytes - usedBytes);  // padding: keep the block fully defined
        LumoProgressRow(y, image.height);
    }
}

// The libjpeg calls up to the output size: the header, the Exif orientation, the output the options
// ask for. Runs under the trap: trivially destructible locals only.
void HeaderSteps(DecodeSession& s) {
    jpeg_decompress_struct& cinfo = s.cinfo;
    cinfo.err = ArmJpegErrorTrap(s.trap, s.name, kModule);
    jpeg_create_decompress(&cinfo);
    const size_t allowance = std::min(s.dataBytes, size_t{LONG_MAX} / kMaxExpansion) * kMaxExpansion;
    cinfo.mem->max_memory_to_use = static_cast<long>(std::max(kLibraryMemoryFloor, allowance));
    s.monitor.progress_monitor = LimitScans;
    cinfo.progress = &s.monitor;
    jpeg_stdio_src(&cinfo, s.stream);
    if (s.fullLoad) KeepMetadataMarkers(&cinfo, s.keepMetadata);
    if (s.options->autoRotate) KeepExifMarkers(&cinfo);
    jpeg_read_header(&cinfo, TRUE);
    if (s.options->autoRotate) s.orientation = ExifOrientationOf(KeptExifBlock(cinfo));

    ChooseOutput(s);
    jpeg_calc_output_dimensions(&cinfo);
}

// Ink pictures with a profile go through it instead of the plain formula. The converter lives in
// the session; this frame ends before libjpeg is called again.
void PrepareInkProfile(DecodeSession& s) {
    if (s.output != Output::Ink) return;
    if (!s.metadata.icc.empty()) s.inkProfile = InkConverter::Make(s.metadata.icc, s.invertedInk, kModule);
}

// Every libjpeg call of a load. Runs under the trap: trivially destructible locals only.
void DecodeSteps(DecodeSession& s) {
    jpeg_decompress_struct& cinfo = s.cinfo;
    HeaderSteps(s);
    if (s.fullLoad) ReadMetadataMarkers(&cinfo, s.metadata, s.name, s.keepMetadata);
    PrepareInkProfile(s);
    if (cinfo.scale_denom != 1 && LumoVerbose())
        LumoWarning(nullptr, "Loading reduced JPEG image (1/%d)", static_cast<int>(cinfo.scale_denom));
    CreateOutputImage(s);

    LumoProgress(-1);
    jpeg_start_decompress(&cinfo);
    if (s.output == Output::Quantized) CopyColourMap(s);
    ReadRows(s);
    jpeg_finish_decompress(&cinfo);
}

// Four-component files were decoded to RGB; the kind the options ask for is made from that.
ImagePtr ApplyKindToInk(ImagePtr rgb, const JpegOptions& options) {
    if (options.forceGray) return LumoToGRAY256(rgb.get());
    if (!options.readRgb) return LumoToCOLOR256(rgb.get());
    return rgb;
}

// The kind an output becomes (four-component files are made into the kind the options ask for).
ImageKind KindOfOutput(Output output, const JpegOptions& options) {
    switch (output) {
        case Output::Gray: return ImageKind::GRAY256;
        case Output::Quantized: return ImageKind::COLOR256;
        case Output::Bgr: return ImageKind::RGB;
        case Output::Ink: break;
    }
    return options.forceGray ? ImageKind::GRAY256 : !options.readRgb ? ImageKind::COLOR256 : ImageKind::RGB;
}

}  // namespace

bool ReadJpegHeaderInfo(InputFile& file, const JpegOptions& options, ImageInfo& info, std::string& failure) {
    DecodeSession session;
    session.options = &options;
    session.stream = file.stream();
    session.name = file.name().c_str();
    session.dataBytes = file.remaining();
    if (!RunTrapped(session, HeaderSteps)) {
        failure = session.trap.message;
        return false;
    }
    const bool turned = session.orientation >= static_cast<int>(Orientation::Transpose);
    const int width = static_cast<int>(session.cinfo.output_width);
    const int height = static_cast<int>(session.cinfo.output_height);
    CheckLoadSize(kModule, width, height);
    info = {turned ? height : width, turned ? width : height, KindOfOutput(session.output, options)};
    return true;
}

ImagePtr DecodeJpeg(InputFile& file, const JpegOptions& options, std::string& failure) {
    Output output;
    int orientation;
    ImageMetadata metadata;
    ImagePtr image;
    {
        DecodeSession session;
        session.options = &options;
        session.stream = file.stream();
        session.name = file.name().c_str();
        session.dataBytes = file.remaining();
        session.fullLoad = true;
        session.keepMetadata = KeepingMetadata();
        if (!RunTrapped(session, DecodeSteps)) {
            failure = session.trap.message;
            return nullptr;
        }
        output = session.output;
        orientation = session.orientation;
        metadata = std::move(session.metadata);
        image = std::move(session.image);
    }  // the decompressor is destroyed before any conversion
    if (output == Output::Ink) image = ApplyKindToInk(std::move(image), options);
    if (orientation != 1) {
        image = LumoOrientImage(image.get(), static_cast<Orientation>(orientation));
        SetExifOrientation(metadata.exif, 1);  // the pixels are upright now
    }
    LumoSetMetadata(image.get(), std::move(metadata));
    if (output == Output::Ink) DropInkProfile(image.get());  // the pixels are RGB now
    return image;
}
