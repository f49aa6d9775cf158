#include "formats/jpeg_encode.h"

#include <algorithm>

#include "core/messages.h"
#include "formats/jpeg_error.h"

namespace {

struct EncodeSession {
    JpegErrorTrap trap;
    jpeg_compress_struct cinfo{};  // destroying a zeroed object is harmless, so the destructor needs no flag
    const IMG* image;
    std::FILE* stream;
    const JpegOptions* options;

    ~EncodeSession() { jpeg_destroy_compress(&cinfo); }
};

void SetSamplingFactors(jpeg_compress_struct& cinfo, int luminanceFactor) {
    for (int c = 0; c < cinfo.num_components; ++c) {
        jpeg_component_info& component = cinfo.comp_info[c];
        const int factor = component.quant_tbl_no == 0 ? luminanceFactor : 1;
        component.h_samp_factor = factor;  // libjpeg refuses factors outside 1..4 when compression starts
        component.v_samp_factor = factor;
    }
}

void WriteComment(jpeg_compress_struct& cinfo, const std::string& text) {
    // libjpeg refuses (rather than cuts) a text longer than a marker holds; the cap only keeps the length in range.
    const size_t length = std::min<size_t>(text.size(), 65534);
    jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(text.data()), static_cast<unsigned>(length));
}

// Every libjpeg call of a save. Runs under the trap: trivially destructible locals only.
void EncodeSteps(EncodeSession& s) {
    jpeg_compress_struct& cinfo = s.cinfo;
    const IMG& image = *s.image;
    const JpegOptions& options = *s.options;
    const bool gray = image.colorClass == GRAY;

    cinfo.err = ArmJpegErrorTrap(s.trap);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, s.stream);
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
    if (options.comment) WriteComment(cinfo, *options.comment);
    for (int y = 0; y < image.height; ++y) {
        JSAMPROW row = const_cast<JSAMPROW>(PictureRow(image, y));  // libjpeg only reads input rows
        jpeg_write_scanlines(&cinfo, &row, 1);
        LumoProgressRow(y, image.height);
    }
    jpeg_finish_compress(&cinfo);
}

}  // namespace

std::optional<std::string> EncodeJpeg(const IMG& image, std::FILE* stream, const JpegOptions& options) {
    EncodeSession session;
    session.image = &image;
    session.stream = stream;
    session.options = &options;
    if (RunTrapped(session, EncodeSteps)) return std::nullopt;
    return std::string(session.trap.message);
}
