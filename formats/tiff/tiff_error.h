// libtiff's errors, caught per handle. libtiff calls its handlers from deep inside its own frames,
// where nothing may be thrown, so each handle gets handlers of its own (libtiff's open options):
// the error handler records the first message in the handle's state and returns to libtiff, the
// warning handler passes the message on to the warning hook. The codec checks the record after
// every libtiff call and reports it through LumoError once the call has returned: an error that
// libtiff reports without failing the call still ends the operation. No process-wide handler is
// installed, so two handles (or two threads) never see each other's messages.
#pragma once

#include <tiffio.h>

#include <memory>
#include <string>

class TiffHandle {
public:
    TiffHandle();
    ~TiffHandle();  // closes the handle without reporting (an abandoned operation)
    TiffHandle(TiffHandle&&);
    TiffHandle& operator=(TiffHandle&&);

    // Open through TIFFOpenExt / TIFFClientOpenExt with this handle's handlers; false when libtiff
    // refuses (its message is then recorded). A handle already open is closed first.
    bool openFile(const char* path, const char* mode);
    bool openClient(const char* name, const char* mode, thandle_t client, TIFFReadWriteProc read,
                    TIFFReadWriteProc write, TIFFSeekProc seek, TIFFCloseProc close, TIFFSizeProc size,
                    TIFFMapFileProc map, TIFFUnmapFileProc unmap);

    TIFF* get() const;
    explicit operator bool() const { return get() != nullptr; }

    // The first error libtiff reported since the last take ("module: text"; empty when none).
    const std::string& error() const;
    std::string takeError();

    // Reports the recorded error under module through LumoError; returns when none was recorded.
    void check(const char* module);
    // Reports the recorded error, or fallback when libtiff failed without a message.
    [[noreturn]] void fail(const char* module, const char* fallback);
    // Closes the handle (a writer flushes here), then reports an error recorded on the way.
    void close(const char* module);

    struct State;  // the open handle and its record

private:
    std::unique_ptr<State> state_;  // its address is the handlers' user data, so it never moves
};
