#include "cli/terminal.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>

#include "core/messages.h"
#include "platform/message_box.h"
#include "platform/status_text.h"

namespace {

bool onTerminal = false;
bool lineShown = false;
std::string currentFile;
size_t currentIndex = 0, currentCount = 0;

void DrawLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void DrawLine(const char* format, ...) {
    if (!onTerminal) return;
    std::fputs("\r\033[K", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fflush(stderr);
    lineShown = true;
}

// Errors are printed where the command catches them, once, with the file name.
void SilentError(const char*, const char*, va_list) {}

void PrintWarning(const char* module, const char* format, va_list args) {
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    ClearProgressLine();
    std::fprintf(stderr, "lumo: %s: warning: %s (module %s)\n", currentFile.c_str(), text, module ? module : "");
}

void DrawPercent(int value) {
    if (value < 0) value = value == -1 ? 0 : 100;
    DrawLine("[%zu/%zu] %s %d%%", currentIndex + 1, currentCount, currentFile.c_str(), value);
}

}  // namespace

void InstallTerminalReporting() {
    onTerminal = ::isatty(STDERR_FILENO);
    LumoSetErrorHandler(SilentError);
    LumoSetWarningHandler(PrintWarning);
    LumoSetProgressHandler(DrawPercent);
    // A loader's status text ("Loading thumbnail ...") takes the progress line's place.
    SetStatusTextFunction([](const char* text) {
        DrawLine("[%zu/%zu] %s %s", currentIndex + 1, currentCount, currentFile.c_str(), text);
    });
    LumoSetIntOption("showprogress", onTerminal ? 1 : 0);
    SetMessageBoxFunction([](const char*, const char* text, MessageIcon) {
        ClearProgressLine();
        std::fprintf(stderr, "lumo: %s\n", text);
    });
}

void SetCurrentFile(const std::string& fileName, size_t index, size_t count) {
    currentFile = fileName;
    currentIndex = index;
    currentCount = count;
}

void ReportFileError(const std::string& fileName, const std::string& message) {
    ClearProgressLine();
    std::fprintf(stderr, "lumo: %s: %s\n", fileName.c_str(), message.c_str());
}

void ShowBatchProgress(size_t done, size_t count) { DrawLine("[%zu/%zu] converted", done, count); }

void ClearProgressLine() {
    if (!lineShown) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    lineShown = false;
}
