// The viewer's recovery point: every command and every file opening runs through RunRecoverable.
// A library error has already been shown by the error hook when LumoFailure arrives here; the
// command is abandoned (what it built is released by its owners) and the viewer goes on.
#pragma once

#include <new>

#include "core/messages.h"

// Tells the user that an operation ran out of memory (the library's own allocations report
// through LumoError; this covers the viewer's and Qt's).
void ReportOutOfMemory();

template <typename Action>
bool RunRecoverable(Action&& action) {
    try {
        action();
        return true;
    } catch (const LumoFailure&) {
        return false;
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
        return false;
    }
}
