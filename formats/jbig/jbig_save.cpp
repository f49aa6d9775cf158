#include "formats/jbig/jbig_kit.h"

#include <algorithm>
#include <exception>

#include "core/convert.h"
#include "core/memory.h"
#include "core/messages.h"
#include "formats/jbig/jbig.h"
#include "formats/output_file.h"

namespace {

constexpr const char* kSaveModule = "SaveJbig";

// Where JBIG-KIT's output goes. The encoder calls back from C frames, which no exception may cross:
// a sink that fails is remembered, nothing more is written, and the failure is raised again once
// the encoder has returned.
struct EncoderOutput {
    const ByteSink& sink;
    int progress;                // raised by 10 per piece of output, to at most 90
    std::exception_ptr failure;  // the sink's first failure
    size_t written = 0;          // bytes the encoder gave out
};

void WriteEncoded(unsigned char* start, size_t length, void* context) noexcept {
    EncoderOutput& output = *static_cast<EncoderOutput*>(context);
    if (output.failure) return;
    try {
        output.sink(start, length);
        output.written += length;
        output.progress = std::min(output.progress + 10, 90);
        LumoProgress(output.progress);
    } catch (...) {
        output.failure = std::current_exception();
    }
}

// JBIG-KIT's encoder over one plane, freed however the save ends.
class JbigEncoder {
public:
    JbigEncoder(unsigned long width, unsigned long height, unsigned char* plane, EncoderOutput& output)
        : planes_{plane} {
        jbg_enc_init(&state_, width, height, 1, planes_, WriteEncoded, &output);
    }
    ~JbigEncoder() { jbg_enc_free(&state_); }
    JbigEncoder(const JbigEncoder&) = delete;
    JbigEncoder& operator=(const JbigEncoder&) = delete;

    jbg_enc_state* get() { return &state_; }

private:
    jbg_enc_state state_;
    unsigned char* planes_[1];
};

// The BW picture as JBIG-KIT takes it: rows top first, (width + 7) / 8 bytes each with no padding.
LumoBuffer<unsigned char> PackRows(const IMG& bw) {
    const size_t lineBytes = (static_cast<size_t>(bw.width) + 7) / 8;
    LumoBuffer<unsigned char> bitmap = LumoAllocBuffer<unsigned char>(lineBytes * bw.height, kSaveModule);
    for (int y = 0; y < bw.height; ++y) std::copy_n(PictureRow(bw, y), lineBytes, bitmap.get() + y * lineBytes);
    return bitmap;
}

// Turns the packed rows into JBIG's sense (1 = black); the bits after the last pixel of each row
// become 0, so the bytes written do not depend on what the record's row padding held.
void InvertRows(unsigned char* bitmap, int width, int height) {
    const size_t lineBytes = (static_cast<size_t>(width) + 7) / 8;
    const int spareBits = static_cast<int>(lineBytes * 8 - width);
    const auto lastByteMask = static_cast<unsigned char>(0xFF << spareBits);
    for (int y = 0; y < height; ++y) {
        unsigned char* line = bitmap + y * lineBytes;
        for (size_t i = 0; i < lineBytes; ++i) line[i] = static_cast<unsigned char>(~line[i]);
        line[lineBytes - 1] &= lastByteMask;
    }
}

// "nblayers" above 1 gives the number of layers; otherwise "lrlmaxw" and "lrlmaxh", when both are
// set, bound the lowest layer; otherwise the library's default of a single layer stands.
void ChooseLayers(jbg_enc_state* encoder) {
    const int layers = LumoGetIntOptionJbig("nblayers");
    const int lowestWidth = LumoGetIntOptionJbig("lrlmaxw");
    const int lowestHeight = LumoGetIntOptionJbig("lrlmaxh");
    if (layers > 1)
        jbg_enc_layers(encoder, layers - 1);
    else if (lowestWidth != 0 && lowestHeight != 0)
        jbg_enc_lrlmax(encoder, static_cast<unsigned long>(lowestWidth), static_cast<unsigned long>(lowestHeight));
}

}  // namespace

void WriteJbig(const IMG* image, const ByteSink& sink) {
    // JBIG has no empty pictures: a header of 0 pixels is one every decoder refuses.
    if (image->width == 0 || image->height == 0)
        LumoError(kSaveModule, "Can't save an empty image (%d x %d)", image->width, image->height);
    const ImagePtr converted = IsKind(*image, ImageKind::BW) ? nullptr : LumoToBW(image);
    const IMG& bw = converted ? *converted : *image;
    LumoProgress(5);
    LumoBuffer<unsigned char> bitmap = PackRows(bw);
    LumoProgress(10);
    InvertRows(bitmap.get(), bw.width, bw.height);
    LumoProgress(15);

    EncoderOutput output{sink, 15, nullptr};
    {
        JbigEncoder encoder(bw.width, bw.height, bitmap.get(), output);
        ChooseLayers(encoder.get());
        jbg_enc_out(encoder.get());
    }
    if (output.failure) std::rethrow_exception(output.failure);
    // JBIG-KIT returns without a word when it cannot encode (31 differential layers leave no room
    // for its stripe arithmetic): an empty file must not pass for a saved one.
    if (output.written == 0) LumoError(kSaveModule, "The JBIG encoder wrote no data");
}

void SaveJbig(const IMG* image, const char* fileName) {
    LumoProgress(-1);
    OutputFile out(fileName, kSaveModule);
    WriteJbig(image, [&out](const uint8_t* bytes, size_t count) { out.write(bytes, count); });
    out.commit();
    LumoProgress(-2);
}
