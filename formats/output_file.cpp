#include "formats/output_file.h"

#include "core/messages.h"

OutputFile::OutputFile(const char* fileName, const char* module, const char* cantOpen)
    : target_(fileName), module_(module) {
    switch (replacement_.open(target_)) {
        case ReplaceStatus::Ready:
            return;
        case ReplaceStatus::PermissionDenied:
            fail("Permission denied: %s");
        case ReplaceStatus::CantCreate:
        case ReplaceStatus::NotRegularFile:
            fail(cantOpen);
    }
}

void OutputFile::write(const void* source, size_t count) {
    if (count && std::fwrite(source, 1, count, replacement_.stream()) != count) fail("Error writing file %s");
}

void OutputFile::commit() {
    if (!replacement_.commit()) fail("Error writing file %s");
}

void OutputFile::fail(const char* format) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    LumoError(module_.c_str(), format, target_.c_str());
#pragma GCC diagnostic pop
}
