#include "platform/message_box.h"

#include <cstdio>

namespace {

void PrintToStandardError(const char* caption, const char* text, MessageIcon) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

MessageBoxFunction& CurrentFunction() {
    static MessageBoxFunction function = PrintToStandardError;
    return function;
}

}  // namespace

MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction function) {
    MessageBoxFunction previous = std::move(CurrentFunction());
    CurrentFunction() = function ? std::move(function) : MessageBoxFunction(PrintToStandardError);
    return previous;
}

void ShowMessageBox(const char* caption, const char* text, MessageIcon icon) { CurrentFunction()(caption, text, icon); }
