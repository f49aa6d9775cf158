#include "formats/jpeg/jpeg_splice.h"

#include <cstdlib>
#include <cstring>

#include "formats/jpeg/jpeg_error.h"

namespace {

// The three libjpeg objects of a splice and what they own; destroyed in any case by the destructor.
struct SpliceSession {
    JpegErrorTrap trap;
    jpeg_decompress_struct original{};
    jpeg_decompress_struct replacement{};
    jpeg_compress_struct output{};
    bool originalMade = false, replacementMade = false, outputMade = false;
    std::span<const uint8_t> originalBytes, replacementBytes;
    std::span<const PixelRect> regions;
    unsigned char* written = nullptr;  // malloc'ed by libjpeg's memory destination
    unsigned long writtenSize = 0;
    bool matches = false;

    ~SpliceSession() {
        if (outputMade) jpeg_destroy_compress(&output);
        if (replacementMade) jpeg_destroy_decompress(&replacement);
        if (originalMade) jpeg_destroy_decompress(&original);
        std::free(written);
    }
};

bool SameGeometry(const jpeg_decompress_struct& a, const jpeg_decompress_struct& b) {
    if (a.image_width != b.image_width || a.image_height != b.image_height || a.num_components != b.num_components ||
        a.jpeg_color_space != b.jpeg_color_space || a.data_precision != b.data_precision)
        return false;
    for (int c = 0; c < a.num_components; ++c) {
        const jpeg_component_info &ca = a.comp_info[c], &cb = b.comp_info[c];
        if (ca.h_samp_factor != cb.h_samp_factor || ca.v_samp_factor != cb.v_samp_factor ||
            ca.width_in_blocks != cb.width_in_blocks || ca.height_in_blocks != cb.height_in_blocks)
            return false;
        const JQUANT_TBL* qa = ca.quant_table;
        const JQUANT_TBL* qb = cb.quant_table;
        if (!qa || !qb || std::memcmp(qa->quantval, qb->quantval, sizeof qa->quantval) != 0) return false;
    }
    return true;
}

bool MeetsRegion(std::span<const PixelRect> regions, int left, int top, int right, int bottom) {
    for (const PixelRect& r : regions)
        if (left < r.right && right > r.left && top < r.bottom && bottom > r.top) return true;
    return false;
}

// Every libjpeg call of a splice. Runs under the trap: trivially destructible locals only.
void SpliceSteps(SpliceSession& s) {
    jpeg_error_mgr* errors = ArmJpegErrorTrap(s.trap, "sheet", "SpliceJpeg");
    s.original.err = errors;
    jpeg_create_decompress(&s.original);
    s.originalMade = true;
    s.replacement.err = errors;
    jpeg_create_decompress(&s.replacement);
    s.replacementMade = true;
    jpeg_mem_src(&s.original, s.originalBytes.data(), static_cast<unsigned long>(s.originalBytes.size()));
    jpeg_mem_src(&s.replacement, s.replacementBytes.data(), static_cast<unsigned long>(s.replacementBytes.size()));
    jpeg_save_markers(&s.replacement, JPEG_COM, 0xFFFF);
    for (int app = 1; app < 16; ++app) jpeg_save_markers(&s.replacement, JPEG_APP0 + app, 0xFFFF);
    jpeg_read_header(&s.original, TRUE);
    jpeg_read_header(&s.replacement, TRUE);
    jvirt_barray_ptr* originalBlocks = jpeg_read_coefficients(&s.original);
    jvirt_barray_ptr* replacementBlocks = jpeg_read_coefficients(&s.replacement);
    if (!SameGeometry(s.original, s.replacement)) return;
    s.matches = true;

    const int maxH = s.original.max_h_samp_factor, maxV = s.original.max_v_samp_factor;
    for (int c = 0; c < s.original.num_components; ++c) {
        const jpeg_component_info& component = s.original.comp_info[c];
        const int blockWidth = 8 * maxH / component.h_samp_factor;   // pixels a block of this component spans
        const int blockHeight = 8 * maxV / component.v_samp_factor;
        for (JDIMENSION row = 0; row < component.height_in_blocks; ++row) {
            JBLOCKARRAY target = s.original.mem->access_virt_barray(
                reinterpret_cast<j_common_ptr>(&s.original), originalBlocks[c], row, 1, TRUE);
            JBLOCKARRAY source = s.replacement.mem->access_virt_barray(
                reinterpret_cast<j_common_ptr>(&s.replacement), replacementBlocks[c], row, 1, FALSE);
            const int top = static_cast<int>(row) * blockHeight;
            for (JDIMENSION column = 0; column < component.width_in_blocks; ++column) {
                const int left = static_cast<int>(column) * blockWidth;
                if (MeetsRegion(s.regions, left, top, left + blockWidth, top + blockHeight))
                    std::memcpy(target[0][column], source[0][column], sizeof(JBLOCK));
            }
        }
    }

    s.output.err = errors;
    jpeg_create_compress(&s.output);
    s.outputMade = true;
    jpeg_mem_dest(&s.output, &s.written, &s.writtenSize);
    jpeg_copy_critical_parameters(&s.original, &s.output);
    s.output.optimize_coding = TRUE;
    jpeg_write_coefficients(&s.output, originalBlocks);
    for (jpeg_saved_marker_ptr marker = s.replacement.marker_list; marker; marker = marker->next)
        jpeg_write_marker(&s.output, marker->marker, marker->data, marker->data_length);
    jpeg_finish_compress(&s.output);
    jpeg_finish_decompress(&s.replacement);
    jpeg_finish_decompress(&s.original);
}

struct HeaderSession {
    JpegErrorTrap trap;
    jpeg_decompress_struct cinfo{};
    bool made = false;
    std::span<const uint8_t> bytes;
    ~HeaderSession() {
        if (made) jpeg_destroy_decompress(&cinfo);
    }
};

void HeaderSteps(HeaderSession& s) {
    s.cinfo.err = ArmJpegErrorTrap(s.trap, "sheet", "SpliceJpeg");
    jpeg_create_decompress(&s.cinfo);
    s.made = true;
    jpeg_mem_src(&s.cinfo, s.bytes.data(), static_cast<unsigned long>(s.bytes.size()));
    jpeg_read_header(&s.cinfo, TRUE);
    jpeg_calc_output_dimensions(&s.cinfo);
}

}  // namespace

std::optional<JpegGrid> ReadJpegGrid(std::span<const uint8_t> jpeg) {
    HeaderSession session;
    session.bytes = jpeg;
    if (jpeg.empty() || !RunTrapped(session, HeaderSteps)) return std::nullopt;
    const jpeg_decompress_struct& cinfo = session.cinfo;
    return JpegGrid{static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height),
                    8 * cinfo.max_h_samp_factor, 8 * cinfo.max_v_samp_factor};
}

std::optional<std::vector<uint8_t>> SpliceJpegBlocks(std::span<const uint8_t> original,
                                                     std::span<const uint8_t> replacement,
                                                     std::span<const PixelRect> regions) {
    if (original.empty() || replacement.empty()) return std::nullopt;
    SpliceSession session;
    session.originalBytes = original;
    session.replacementBytes = replacement;
    session.regions = regions;
    if (!RunTrapped(session, SpliceSteps) || !session.matches) return std::nullopt;
    return std::vector<uint8_t>(session.written, session.written + session.writtenSize);
}
