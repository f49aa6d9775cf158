#include "platform/status_text.h"

namespace {

void ShowNothing(const char*) {}

StatusTextFunction& CurrentFunction() {
    static StatusTextFunction function = ShowNothing;
    return function;
}

}  // namespace

StatusTextFunction SetStatusTextFunction(StatusTextFunction function) {
    StatusTextFunction previous = std::move(CurrentFunction());
    CurrentFunction() = function ? std::move(function) : StatusTextFunction(ShowNothing);
    return previous;
}

void ShowStatusText(const char* text) { CurrentFunction()(text); }
