// libtiff 4 keeps a codec's raw-data pointer and byte counts private, so the fax data cannot be
// handed to a configured decoder directly. Instead the data becomes the single strip of a small TIFF
// held in a memory buffer (compression 3 with the coding's Group3Options and FillOrder) and is read
// back one row at a time with TIFFReadScanline, which runs the same Group 3 row decoder. The image
// length is set past any number of rows the data could hold (every row takes at least one bit), so
// the data's end shows as the decoder running out of bits, not as a row limit.
//
// The reading handle has handlers of its own (libtiff's per-handle open options): they count the
// errors of each row and keep every message, so the loader decides what reaches the user (the
// detection's trial decodes stay silent) and nothing is thrown from inside libtiff.
#include "formats/g3/g3_rows.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "core/messages.h"
#include "formats/g3/g3_markers.h"
#include "formats/memory_buffer.h"

struct G3RowDecoder::State {
    MemoryBufferPtr buffer;  // the TIFF: header, directory and the fax data as strip 0
    TIFF* tiff = nullptr;
    uint32_t nextRow = 0;
    uint32_t rowLimit = 0;   // the image length written into the TIFF
    bool finished = false;
    int errors = 0;
    std::vector<G3Message> messages;

    ~State() {
        if (tiff) TIFFClose(tiff);
    }
};

namespace {

constexpr size_t kMessageSize = 100;  // 99 characters and the terminator

void Keep(void* userData, bool error, const char* module, const char* format, va_list args) {
    auto* state = static_cast<G3RowDecoder::State*>(userData);
    if (error) ++state->errors;
    try {
        char text[kMessageSize];
        std::vsnprintf(text, sizeof text, format, args);
        state->messages.push_back({error, module ? module : "", text});
    } catch (...) {
        // Out of memory for the text: the error still counts; nothing may unwind through libtiff.
    }
}

int KeepError(TIFF*, void* userData, const char* module, const char* format, va_list args) {
    Keep(userData, true, module, format, args);
    return 1;
}

int KeepWarning(TIFF*, void* userData, const char* module, const char* format, va_list args) {
    Keep(userData, false, module, format, args);
    return 1;
}

// A row limit no data can reach: each row takes at least one bit of it.
uint32_t RowLimitFor(size_t bytes) {
    constexpr uint64_t kMostRows = uint64_t{1} << 30;
    return static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(bytes) * 8 + 2, kMostRows));
}

// Writes the TIFF that holds data as its only strip.
MemoryBufferPtr WrapInTiff(std::span<const uint8_t> data, G3Coding coding, uint32_t rows, const char* module) {
    MemoryBufferPtr buffer = AllocBuffer(1000);
    TiffHandle writer = OpenMemoryBufferTiff(buffer.get(), "w");
    if (!writer) writer.fail(module, "Can't set up the fax decoder");
    TIFF* tiff = writer.get();
    const bool set = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t{kFaxWidth}) &&
                     TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, rows) &&
                     TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1) && TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1) &&
                     TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
                     TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE) &&
                     TIFFSetField(tiff, TIFFTAG_YRESOLUTION, static_cast<double>(kFaxResolution)) &&
                     TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) &&
                     TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3) &&
                     TIFFSetField(tiff, TIFFTAG_GROUP3OPTIONS, uint32_t{coding.twoD ? GROUP3OPT_2DENCODING : 0u}) &&
                     TIFFSetField(tiff, TIFFTAG_FILLORDER, coding.msbToLsb ? FILLORDER_MSB2LSB : FILLORDER_LSB2MSB) &&
                     TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rows) &&
                     // The strip is written raw: the encoder must not append its own end-of-page marker.
                     TIFFSetField(tiff, TIFFTAG_FAXMODE, FAXMODE_CLASSIC | FAXMODE_NORTC);
    if (!set) writer.fail(module, "Can't set up the fax decoder");
    if (TIFFWriteRawStrip(tiff, 0, const_cast<uint8_t*>(data.data()), static_cast<tmsize_t>(data.size())) < 0)
        writer.fail(module, "Can't set up the fax decoder");
    writer.check(module);
    writer.close(module);
    return buffer;
}

bool AnyBlack(const uint8_t* row) {
    return std::any_of(row, row + kFaxRowBytes, [](uint8_t byte) { return byte != 0; });
}

}  // namespace

G3RowDecoder::G3RowDecoder(std::span<const uint8_t> data, G3Coding coding, const char* module)
    : state_(std::make_unique<State>()) {
    data = data.first(BytesBeforeEndMarkers(data, coding.msbToLsb, coding.twoD));
    if (data.empty()) {
        state_->finished = true;
        return;
    }
    state_->rowLimit = RowLimitFor(data.size());
    state_->buffer = WrapInTiff(data, coding, state_->rowLimit, module);

    MemoryBuffer* buffer = state_->buffer.get();
    buffer->position = buffer->data;
    buffer->length = 0;
    buffer->mode = std::string(1, 'r');  // as OpenMemoryBufferTiff sets it
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) LumoError(module, "Out of memory");
    TIFFOpenOptionsSetErrorHandlerExtR(options, KeepError, state_.get());
    TIFFOpenOptionsSetWarningHandlerExtR(options, KeepWarning, state_.get());
    state_->tiff = TIFFClientOpenExt("Memory Buffer", "r", buffer, MemoryBufferRead, MemoryBufferWrite,
                                     MemoryBufferSeek, MemoryBufferClose, MemoryBufferSize, MemoryBufferMap,
                                     MemoryBufferUnmap, options);
    TIFFOpenOptionsFree(options);
    if (!state_->tiff || state_->errors > 0) {
        const std::string text = state_->errors > 0 && !state_->messages.empty()
                                     ? state_->messages.front().module + ": " + state_->messages.front().text
                                     : std::string("Can't set up the fax decoder");
        LumoError(module, "%s", text.c_str());
    }
    if (TIFFScanlineSize(state_->tiff) != kFaxRowBytes) LumoError(module, "Can't set up the fax decoder");
    state_->messages.clear();
}

G3RowDecoder::~G3RowDecoder() = default;

bool G3RowDecoder::next(uint8_t* row) {
    State& state = *state_;
    state.errors = 0;
    state.messages.clear();
    if (state.finished || state.nextRow >= state.rowLimit) return false;
    const int result = TIFFReadScanline(state.tiff, row, state.nextRow++, 0);
    if (result == 1) return true;
    // The decoder stopped. Running out of data at the start of a row leaves a white row and a
    // warning about it, which are no part of the picture; a row cut short by the data's end keeps
    // what was decoded, and a row that failed is handed back to be counted as bad.
    state.finished = true;
    if (state.errors > 0 || AnyBlack(row)) return true;
    state.messages.clear();
    return false;
}

int G3RowDecoder::errors() const { return state_->errors; }

const std::vector<G3Message>& G3RowDecoder::messages() const { return state_->messages; }
