#include "cli/terminal.h"

#include <unistd.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/messages.h"
#include "platform/message_box.h"
#include "platform/status_text.h"

namespace {

using Clock = std::chrono::steady_clock;

bool onTerminal = false;
bool lineShown = false;
std::string currentFile;
size_t currentIndex = 0, currentCount = 0;

// The progress line is redrawn only when its text changes, and then at most every 100 ms unless it
// shows a finished step: a redraw per image row made a conversion on a terminal 2.5 times slower.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
std::string shownText;
Clock::time_point lastDraw;

enum class Redraw { Throttled, Always };

// Shows the text as the progress line unless the line already shows it. A throttled redraw that comes
// too soon after the last one returns before the text is even formatted: it is asked for on every row.
void DrawLine(Redraw redraw, const char* format, ...) __attribute__((format(printf, 2, 3)));
void DrawLine(Redraw redraw, const char* format, ...) {
    if (!onTerminal) return;
    const Clock::time_point now = Clock::now();
    if (redraw == Redraw::Throttled && lineShown && now - lastDraw < kRedrawInterval) return;
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (lineShown && shownText == text) return;
    std::fputs("\r\033[K", stderr);
    std::fputs(text, stderr);
    std::fflush(stderr);
    shownText = text;
    lastDraw = now;
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

// A finished step (100 %, or the end report -2) is always shown, so the line never stays behind.
void DrawPercent(int value) {
    if (value < 0) value = value == -1 ? 0 : 100;
    DrawLine(value == 100 ? Redraw::Always : Redraw::Throttled, "[%zu/%zu] %s %d%%", currentIndex + 1, currentCount,
             currentFile.c_str(), value);
}

}  // namespace

void InstallTerminalReporting() {
    onTerminal = ::isatty(STDERR_FILENO);
    LumoSetErrorHandler(SilentError);
    LumoSetWarningHandler(PrintWarning);
    LumoSetProgressHandler(DrawPercent);
    // A loader's status text ("Loading thumbnail ...") takes the progress line's place.
    SetStatusTextFunction([](const char* text) {
        DrawLine(Redraw::Throttled, "[%zu/%zu] %s %s", currentIndex + 1, currentCount, currentFile.c_str(), text);
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

void ShowBatchProgress(size_t done, size_t count) {
    DrawLine(done == count ? Redraw::Always : Redraw::Throttled, "[%zu/%zu] converted", done, count);
}

void ShowStatusLine(const char* text) { DrawLine(Redraw::Throttled, "%s", text); }

void ClearProgressLine() {
    if (!lineShown) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    lineShown = false;
}
