// The option registry every module uses: a table of names, each bound to the module's variable.
#pragma once

#include <cstring>
#include <span>
#include <string>

#include "core/messages.h"

template <typename T>
struct NamedOption {
    const char* name;
    T* value;
};

// A module's registry: its table and the message for a name it does not know
// ("Unknown Bmp option: %s"). Names are compared case-sensitively and whole, in table order.
template <typename T>
class OptionRegistry {
public:
    template <size_t N>
    constexpr OptionRegistry(const NamedOption<T> (&table)[N], const char* unknownMessage)
        : table_(table, N), unknownMessage_(unknownMessage) {}

    // The setter stores without range checks; module is the setter's own name.
    void set(const char* module, const char* name, T value) const { *find(module, name) = std::move(value); }
    const T& get(const char* module, const char* name) const { return *find(module, name); }

private:
    T* find(const char* module, const char* name) const {
        for (const NamedOption<T>& option : table_)
            if (name && std::strcmp(option.name, name) == 0) return option.value;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
        LumoError(module, unknownMessage_, name ? name : "(null)");
#pragma GCC diagnostic pop
    }

    std::span<const NamedOption<T>> table_;
    const char* unknownMessage_;
};
