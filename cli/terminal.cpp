#include "cli/terminal.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

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
    // A box captioned with a file name (the contact sheets' "Unknown file extension") names the file.
    SetMessageBoxFunction([](const char* caption, const char* text, MessageIcon) {
        ClearProgressLine();
        const bool plainCaption = !caption || !*caption || std::strcmp(caption, "Error") == 0 ||
                                  std::strcmp(caption, "Warning") == 0 || std::strcmp(caption, "Info") == 0 ||
                                  std::strncmp(caption, "Lumo ", 5) == 0;
        if (plainCaption) std::fprintf(stderr, "lumo: %s\n", text);
        else std::fprintf(stderr, "lumo: %s: %s\n", caption, text);
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

void ShowStatusLine(const char* text) { DrawLine("%s", text); }

void ClearProgressLine() {
    if (!lineShown) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    lineShown = false;
}
