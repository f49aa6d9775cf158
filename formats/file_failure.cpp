#include "formats/file_failure.h"

#include <cstring>
#include <string>

#include "core/messages.h"

void FailOnFile(const char* module, const char* format, const char* fileName, int error) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const int size = std::snprintf(nullptr, 0, format, fileName);
    std::string text(static_cast<size_t>(size > 0 ? size : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, format, fileName);
#pragma GCC diagnostic pop
    const bool newline = !text.empty() && text.back() == '\n';
    if (newline) text.pop_back();
    if (error != 0) text += std::string(": ") + std::strerror(error);
    if (newline) text += '\n';
    LumoError(module, "%s", text.c_str());
}
