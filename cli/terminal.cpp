#include "cli/terminal.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

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

// The batch the progress line counts, when one runs.
struct BatchCount {
    bool active = false;
    size_t total = 0, done = 0, failed = 0;
    Clock::time_point start;
} batch;

// "[12/300] 1 failed, 25.3 files/s, 0:11 left": the rate over this run, the time left at that rate.
std::string BatchText() {
    char text[160];
    int length = std::snprintf(text, sizeof text, "[%zu/%zu]", batch.done, batch.total);
    if (batch.failed) length += std::snprintf(text + length, sizeof text - length, " %zu failed,", batch.failed);
    const double seconds = std::chrono::duration<double>(Clock::now() - batch.start).count();
    if (batch.done == 0 || seconds < 0.5) {
        std::snprintf(text + length, sizeof text - length, " starting");
        return text;
    }
    const double rate = static_cast<double>(batch.done) / seconds;
    const long left = std::lround(static_cast<double>(batch.total - batch.done) / rate);
    if (left >= 3600)
        std::snprintf(text + length, sizeof text - length, " %.1f files/s, %ld:%02ld:%02ld left", rate, left / 3600,
                      left / 60 % 60, left % 60);
    else
        std::snprintf(text + length, sizeof text - length, " %.1f files/s, %ld:%02ld left", rate, left / 60, left % 60);
    return text;
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
    const Redraw redraw = value == 100 ? Redraw::Always : Redraw::Throttled;
    if (batch.active) DrawLine(redraw, "%s %s %d%%", BatchText().c_str(), currentFile.c_str(), value);
    else DrawLine(redraw, "[%zu/%zu] %s %d%%", currentIndex + 1, currentCount, currentFile.c_str(), value);
}

}  // namespace

void InstallTerminalReporting() {
    onTerminal = ::isatty(STDERR_FILENO);
    LumoSetErrorHandler(SilentError);
    LumoSetWarningHandler(PrintWarning);
    LumoSetProgressHandler(DrawPercent);
    // A loader's status text ("Loading thumbnail ...") takes the progress line's place.
    SetStatusTextFunction([](const char* text) {
        if (batch.active) DrawLine(Redraw::Throttled, "%s %s %s", BatchText().c_str(), currentFile.c_str(), text);
        else DrawLine(Redraw::Throttled, "[%zu/%zu] %s %s", currentIndex + 1, currentCount, currentFile.c_str(), text);
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

void SetQuiet(bool quiet) {
    if (quiet) onTerminal = false;
    LumoSetIntOption("showprogress", onTerminal ? 1 : 0);
}

void BeginBatchProgress(size_t count) {
    batch = BatchCount{true, count, 0, 0, Clock::now()};
}

void ShowBatchProgress(size_t done, size_t failed) {
    batch.done = done;
    batch.failed = failed;
    DrawLine(done == batch.total ? Redraw::Always : Redraw::Throttled, "%s", BatchText().c_str());
}

void EndBatchProgress() {
    batch.active = false;
    ClearProgressLine();
}

void ShowStatusLine(const char* text) { DrawLine(Redraw::Throttled, "%s", text); }

void ClearProgressLine() {
    if (!lineShown) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    lineShown = false;
}
