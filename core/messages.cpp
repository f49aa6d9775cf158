#include "core/messages.h"

#include <cstdio>

#include "core/options.h"
#include "platform/message_box.h"

namespace {

LumoHook errorHook = LumoDefaultErrorHook;
LumoHook warningHook = LumoDefaultWarningHook;
void IgnoreProgress(int) {}
LumoProgressHook progressHook = IgnoreProgress;

int verbose = 0;
int showProgress = 0;
int maxPixels = 178956970;  // loaders refuse larger pictures (twice a generous photo); 0: no limit of its own
int keepMetadata = 1;       // loaders keep Exif, XMP, ICC and comments, savers write them back

constexpr NamedOption<int> kGlobalOptions[] = {
    {"verbose", &verbose}, {"showprogress", &showProgress}, {"maxpixels", &maxPixels},
    {"keepmetadata", &keepMetadata}};
constexpr OptionRegistry<int> kGlobalRegistry(kGlobalOptions, "Unknown option: %s");

void CallHook(LumoHook hook, const char* module, const char* format, va_list args) {
    if (!hook) return;
    va_list copy;
    va_copy(copy, args);
    hook(module, format, copy);
    va_end(copy);
}

void ShowDefault(const char* captionPrefix, const char* module, const char* format, va_list args,
                 MessageIcon icon) {
    const std::string caption = module ? std::string(captionPrefix) + " in module " + module : captionPrefix;
    ShowMessageBox(caption.c_str(), LumoFormatMessage(format, args).c_str(), icon);
}

}  // namespace

std::string LumoFormatMessage(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length), '\0');
    va_copy(copy, args);
    std::vsnprintf(text.data(), text.size() + 1, format, copy);
    va_end(copy);
    return text;
}

std::string LumoReportText(const char* kind, const char* module, const char* format, va_list args) {
    const std::string message = LumoFormatMessage(format, args);
    if (module && *module) return "Lumo " + std::string(kind) + ":" + message + " (module " + module + ")";
    return "Lumo " + std::string(kind) + ": " + message;
}

void LumoError(const char* module, const char* format, ...) {
    va_list args;
    va_start(args, format);
    CallHook(errorHook, module, format, args);
    std::string text = LumoFormatMessage(format, args);
    va_end(args);
    throw LumoFailure(module ? module : "", text);
}

void LumoWarning(const char* module, const char* format, ...) {
    va_list args;
    va_start(args, format);
    CallHook(warningHook, module, format, args);
    va_end(args);
}

LumoHook LumoSetErrorHandler(LumoHook hook) {
    LumoHook previous = errorHook;
    errorHook = hook;
    return previous;
}

LumoHook LumoSetWarningHandler(LumoHook hook) {
    LumoHook previous = warningHook;
    warningHook = hook;
    return previous;
}

LumoProgressHook LumoSetProgressHandler(LumoProgressHook hook) {
    LumoProgressHook previous = progressHook;
    progressHook = hook ? hook : IgnoreProgress;
    return previous;
}

void LumoProgress(int value) {
    if (showProgress != 0) progressHook(value);
}

void LumoSetIntOption(const char* name, int value) { kGlobalRegistry.set("LumoSetIntOption", name, value); }
int LumoGetIntOption(const char* name) { return kGlobalRegistry.get("LumoGetIntOption", name); }

void LumoDefaultErrorHook(const char* module, const char* format, va_list args) {
    ShowDefault("Lumo Error", module, format, args, MessageIcon::Exclamation);
}

void LumoDefaultWarningHook(const char* module, const char* format, va_list args) {
    ShowDefault("Lumo Warning", module, format, args, MessageIcon::Information);
}
