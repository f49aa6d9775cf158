#include "formats/mok/mok_stream.h"

#include <new>

#include "core/messages.h"

namespace {
constexpr const char* kOpenModule = "LumoOpenMok";
}

MokStream::MokStream(const char* path, bool writing) : status_(writing ? "wb" : "rb") {
    if (writing) {
        output_ = std::make_unique<OutputFile>(path, kOpenModule);
        sink_ = [this](const uint8_t* bytes, size_t count) { output_->write(bytes, count); };
        writer_ = std::make_unique<MokBitWriter>(sink_);
    } else {
        input_ = std::make_unique<InputFile>(path, kOpenModule);
        reader_ = std::make_unique<MokBitReader>(*input_);
    }
}

MokBitReader& MokStream::reader() {
    if (!reader_) LumoError("MokStream", "Stream opened for writing, not reading");
    return *reader_;
}

MokBitWriter& MokStream::writer() {
    if (!writer_) LumoError("MokStream", "Stream opened for reading, not writing");
    return *writer_;
}

void MokStream::close() {
    if (!writer_) return;
    writer_->flush();
    output_->commit();
}

MokStreamPtr LumoOpenMok(const char* path, const char* status) {
    const char mode = status ? status[0] : '\0';
    if (mode != 'r' && mode != 'w') LumoError(kOpenModule, "Illegal status: %s", status ? status : "(null)");
    try {
        return std::make_unique<MokStream>(path, mode == 'w');
    } catch (const std::bad_alloc&) {
        LumoError(kOpenModule, "Out of memory");
    }
}

void LumoCloseMok(MokStreamPtr stream) {
    if (stream) stream->close();
}
