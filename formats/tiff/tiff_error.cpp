#include "formats/tiff/tiff_error.h"

#include <cstdarg>
#include <utility>

#include "core/messages.h"

struct TiffHandle::State {
    TIFF* tiff = nullptr;
    std::string error;
};

namespace {

std::string WithModule(const char* module, const char* format, va_list args) {
    const std::string message = LumoFormatMessage(format, args);
    if (!module || !*module) return message;
    std::string text = module;
    text += ": ";
    text += message;
    return text;
}

// Keeps the first error: what follows it is usually libtiff giving up on account of it.
// Returning 1 tells libtiff the message is handled (its process-wide handler stays silent).
int RecordError(TIFF*, void* userData, const char* module, const char* format, va_list args) {
    std::string& error = static_cast<TiffHandle::State*>(userData)->error;
    if (error.empty()) error = WithModule(module, format, args);
    return 1;
}

int ForwardWarning(TIFF*, void*, const char* module, const char* format, va_list args) {
    try {
        const std::string text = LumoFormatMessage(format, args);
        LumoWarning(module, "%s", text.c_str());
    } catch (...) {
        // A warning hook that throws must not unwind through libtiff; the warning is dropped.
    }
    return 1;
}

struct OptionsDeleter {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};
using OptionsPtr = std::unique_ptr<TIFFOpenOptions, OptionsDeleter>;

// Open options carrying the handlers of state; null only when libtiff cannot allocate them.
OptionsPtr OptionsFor(TiffHandle::State* state) {
    OptionsPtr options(TIFFOpenOptionsAlloc());
    if (!options) return options;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), RecordError, state);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), ForwardWarning, state);
    return options;
}

void CloseQuietly(TiffHandle::State* state) {
    if (state && state->tiff) TIFFClose(std::exchange(state->tiff, nullptr));
}

}  // namespace

TiffHandle::TiffHandle() : state_(std::make_unique<State>()) {}

TiffHandle::~TiffHandle() { CloseQuietly(state_.get()); }

TiffHandle::TiffHandle(TiffHandle&& other)
    : state_(std::exchange(other.state_, std::make_unique<State>())) {}

TiffHandle& TiffHandle::operator=(TiffHandle&& other) {
    if (this != &other) {
        CloseQuietly(state_.get());
        std::swap(state_, other.state_);
    }
    return *this;
}

bool TiffHandle::openFile(const char* path, const char* mode) {
    CloseQuietly(state_.get());
    OptionsPtr options = OptionsFor(state_.get());
    if (!options) {
        state_->error = "TIFFOpenOptionsAlloc: Out of memory";
        return false;
    }
    state_->tiff = TIFFOpenExt(path, mode, options.get());
    return state_->tiff != nullptr;
}

bool TiffHandle::openClient(const char* name, const char* mode, thandle_t client, TIFFReadWriteProc read,
                            TIFFReadWriteProc write, TIFFSeekProc seek, TIFFCloseProc close, TIFFSizeProc size,
                            TIFFMapFileProc map, TIFFUnmapFileProc unmap) {
    CloseQuietly(state_.get());
    OptionsPtr options = OptionsFor(state_.get());
    if (!options) {
        state_->error = "TIFFOpenOptionsAlloc: Out of memory";
        return false;
    }
    state_->tiff = TIFFClientOpenExt(name, mode, client, read, write, seek, close, size, map, unmap, options.get());
    return state_->tiff != nullptr;
}

TIFF* TiffHandle::get() const { return state_->tiff; }

const std::string& TiffHandle::error() const { return state_->error; }

std::string TiffHandle::takeError() { return std::exchange(state_->error, {}); }

void TiffHandle::check(const char* module) {
    if (!state_->error.empty()) LumoError(module, "%s", takeError().c_str());
}

void TiffHandle::fail(const char* module, const char* fallback) {
    check(module);
    LumoError(module, "%s", fallback);
}

void TiffHandle::close(const char* module) {
    CloseQuietly(state_.get());
    check(module);
}
