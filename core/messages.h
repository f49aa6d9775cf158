// Error, warning and progress reporting, and the global options "verbose" and "showprogress".
#pragma once

#include <cstdarg>
#include <stdexcept>
#include <string>

// A reporting hook receives the module name, a printf format and its arguments.
using LumoHook = void (*)(const char* module, const char* format, va_list args);
using LumoProgressHook = void (*)(int value);

// Thrown by LumoError after the error hook has run: the failed operation unwinds
// to the caller's recovery point (the viewer's command loop, the CLI's per-file loop).
class LumoFailure : public std::runtime_error {
public:
    LumoFailure(std::string module, const std::string& text)
        : std::runtime_error(text), module_(std::move(module)) {}
    const std::string& module() const { return module_; }
    const char* text() const { return what(); }

private:
    std::string module_;
};

// Reports through the error hook (when one is installed), then throws LumoFailure.
[[noreturn]] void LumoError(const char* module, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
// Reports through the warning hook (when one is installed) and returns.
void LumoWarning(const char* module, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The hooks take effect at once: every report reads the hooks in force (libtiff's handlers are
// installed per handle and forward to LumoWarning). Each setter yields the previous hook.
LumoHook LumoSetErrorHandler(LumoHook hook);
LumoHook LumoSetWarningHandler(LumoHook hook);
LumoProgressHook LumoSetProgressHandler(LumoProgressHook hook);

// Calls the progress hook with value (-1 start, 0..100 percent, -2 end) when "showprogress" is set.
void LumoProgress(int value);
// The per-row report of the progress protocol: (row + 1) * 100 / rows.
inline void LumoProgressRow(long row, long rows) { LumoProgress(static_cast<int>((row + 1) * 100 / rows)); }

// Global options: "verbose" and "showprogress".
void LumoSetIntOption(const char* name, int value);
int LumoGetIntOption(const char* name);
inline bool LumoVerbose() { return LumoGetIntOption("verbose") != 0; }

// The text of a printf format and its arguments; args stays usable by the caller.
std::string LumoFormatMessage(const char* format, va_list args);
// The one-line report of a hook: "Lumo Error:text (module M)", or "Lumo Error: text" without a
// module; kind is "Error" or "Warning".
std::string LumoReportText(const char* kind, const char* module, const char* format, va_list args);

// The default hooks: the message goes to the platform message box, captioned
// "Lumo Error in module %s" / "Lumo Warning in module %s".
void LumoDefaultErrorHook(const char* module, const char* format, va_list args);
void LumoDefaultWarningHook(const char* module, const char* format, va_list args);
