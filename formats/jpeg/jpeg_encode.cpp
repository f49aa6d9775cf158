#include "formats/jpeg/jpeg_encode.h"

#include <cstdlib>

#include "core/memory.h"
#include "core/messages.h"
#include "formats/jpeg/jpeg_error.h"
#include "formats/jpeg/jpeg_markers.h"
#include "formats/metadata/keep_metadata.h"

namespace {

struct EncodeSession {
    JpegErrorTrap trap;
    jpeg_compress_struct cinfo{};  // destroying a zeroed object is harmless, so the destructor needs no flag
    const IMG* image;
    unsigned char* compressed = nullptr;  // the file as libjpeg's memory destination grows it (malloc)
    unsigned long compressedSize = 0;
    const JpegOptions* options;
    JpegMetadataMarkers markers;   // made before libjpeg starts
    LumoBuffer<uint8_t> expanded;  // one input row of a kind libjpeg does not take, or empty

    ~EncodeSession() {
        jpeg_destroy_compress(&cinfo);
        std::free(compressed);
    }
};

void SetSamplingFactors(jpeg_compress_struct& cinfo, int luminanceFactor) {
    for (int c = 0; c < cinfo.num_components; ++c) {
        jpeg_component_info& component = cinfo.comp_info[c];
        const int factor = component.quant_tbl_no == 0 ? luminanceFactor : 1;
        component.h_samp_factor = factor;  // libjpeg refuses factors outside 1..4 when compression starts
        component.v_samp_factor = factor;
    }
}

// Picture row y as libjpeg takes it: GRAY256 and RGB rows as they are stored; BW and GRAY16 rows
// widened to 256 levels, palette rows looked up to blue, green, red, in the session's row.
const uint8_t* InputRow(const IMG& image, int y, uint8_t* expanded) {
    const uint8_t* row = PictureRow(image, y);
    const ImageKind kind = KindOf(image);
    if (kind == ImageKind::GRAY256 || kind == ImageKind::RGB) return row;
    const bool nibbles = image.bitsPerPixel == 4;
    for (int x = 0; x < image.width; ++x) {
        if (kind == ImageKind::BW) {
            expanded[x] = (row[x / 8] >> (7 - x % 8) & 1) ? 255 : 0;
            continue;
        }
        const unsigned value = nibbles ? (x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4) : row[x];
        if (kind == ImageKind::GRAY16) {
            expanded[x] = static_cast<uint8_t>(value * 17);
            continue;
        }
        uint8_t* bgr = expanded + 3 * x;
        const uint8_t* entry = image.palette ? image.palette + 3 * value : nullptr;  // no palette: black
        bgr[0] = entry ? entry[2] : 0;
        bgr[1] = entry ? entry[1] : 0;
        bgr[2] = entry ? entry[0] : 0;
    }
    return expanded;
}

// Gray and bi-level kinds are saved as gray files, the others as colour.
bool IsGrayFile(const IMG& image) { return image.colorClass != COLOR; }

// Every libjpeg call of a save. Runs under the trap: trivially destructible locals only.
void EncodeSteps(EncodeSession& s) {
    jpeg_compress_struct& cinfo = s.cinfo;
    const IMG& image = *s.image;
    const JpegOptions& options = *s.options;
    const bool gray = IsGrayFile(image);

    cinfo.err = ArmJpegErrorTrap(s.trap, nullptr, "LumoSaveJpeg");
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &s.compressed, &s.compressedSize);
    cinfo.image_width = image.width;
    cinfo.image_height = image.height;
    cinfo.input_components = gray ? 1 : 3;
    cinfo.in_color_space = gray ? JCS_GRAYSCALE : JCS_EXT_BGR;  // IMG's own order: the rows need no swapping
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    cinfo.optimize_coding = options.optimize ? TRUE : FALSE;
    if (!gray) SetSamplingFactors(cinfo, options.crSubsampling);
    if (options.fast) cinfo.dct_method = JDCT_IFAST;
    if (options.useFloat) cinfo.dct_method = JDCT_FLOAT;

    jpeg_start_compress(&cinfo, TRUE);
    WriteMetadataMarkers(&cinfo, s.markers);
    for (int y = 0; y < image.height; ++y) {
        JSAMPROW row = const_cast<JSAMPROW>(InputRow(image, y, s.expanded.get()));  // libjpeg only reads input rows
        jpeg_write_scanlines(&cinfo, &row, 1);
        LumoProgressRow(y, image.height);
    }
    jpeg_finish_compress(&cinfo);
}

}  // namespace

std::optional<std::string> EncodeJpeg(const IMG& image, const ByteSink& sink, const JpegOptions& options) {
    EncodeSession session;
    session.image = &image;
    session.options = &options;
    // Without metadata kept (--strip) the file carries no comment at all, not even the option's.
    const std::optional<std::string> comment = KeepingMetadata() ? options.comment : std::nullopt;
    session.markers = PrepareMetadataMarkers(MetadataToSave(&image), image, IsGrayFile(image), comment);
    const ImageKind kind = KindOf(image);
    if (kind != ImageKind::GRAY256 && kind != ImageKind::RGB && image.width > 0)
        session.expanded = LumoAllocBuffer<uint8_t>(static_cast<size_t>(image.width) * 3, "LumoSaveJpeg");
    if (!RunTrapped(session, EncodeSteps)) return std::string(session.trap.message);
    // The sink may report a failure: it is called here, outside libjpeg's frames.
    sink(session.compressed, session.compressedSize);
    return std::nullopt;
}
