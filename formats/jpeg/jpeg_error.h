// libjpeg's fatal errors, caught at one narrow boundary. libjpeg's error routine cannot return,
// so it formats its message and longjmps back to RunTrapped, which yields false; the caller then
// destroys the libjpeg object, closes the file and reports through LumoError, in frames that
// unwind normally. The longjmp skips every frame between RunTrapped and libjpeg, so the step
// functions run there keep only trivially destructible locals: what they create (the image)
// is stored in the session, which lives in the caller's frame.
#pragma once

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first

#include <jpeglib.h>
#include <jerror.h>  // the message codes of FailJpeg

struct JpegErrorTrap {
    jpeg_error_mgr manager;         // libjpeg's standard manager, error_exit and output_message replaced
    std::jmp_buf recovery;          // where error_exit returns to, set by RunTrapped
    char message[JMSG_LENGTH_MAX];  // the fatal error as libjpeg formats it
    const char* fileName;           // named in libjpeg's warnings
    const char* module;             // the module of those warnings
};

// Sets up the standard error manager with the trap's fatal-error routine; the result goes in cinfo.err.
// libjpeg's warnings (the first of a run, as libjpeg shows them) go to the library's warning hook as
// "text: FILE" with module, instead of to standard error.
jpeg_error_mgr* ArmJpegErrorTrap(JpegErrorTrap& trap, const char* fileName, const char* module);

// Ends the libjpeg run with libjpeg's own message for code (a J_MESSAGE_CODE), through the trap.
[[noreturn]] void FailJpeg(j_common_ptr cinfo, int code);
// Ends the libjpeg run with a message of our own, through the trap.
[[noreturn]] void AbortJpeg(j_common_ptr cinfo, const char* text);

// Runs steps(session) with the trap session.trap armed; false when libjpeg gave up (the message is in
// session.trap.message). Exceptions from the steps (LumoError between libjpeg calls) pass through normally.
template <typename Session>
bool RunTrapped(Session& session, void (*steps)(Session&)) {
    if (setjmp(session.trap.recovery)) return false;
    steps(session);
    return true;
}
