#include "cli/help_text.h"

#include <algorithm>
#include <cctype>

#include "formats/dispatch.h"
#include "formats/tiff/tiff.h"
#include "jobs/settings.h"

std::string HelpReference() {
    std::string text = "Formats (by extension; a file with a signature is read by its signature):\n";
    text += "  read:     " + ReadableExtensions() + "\n";
    text += "  write:    " + WritableExtensions() + "\n";
    text += "  also:     " + ExtensionAliases() + "\n";
    text += "Kinds (--to): bw gray16 gray256 color16 color256 rgb\n";
    text += "Settings (--set KEY=VALUE, lumo settings), with their default and values:\n";
    size_t width = 0;
    for (const ProfileKey* row : AllProfileKeys()) width = std::max(width, std::string(row->key).size());
    for (const ProfileKey* row : AllProfileKeys()) {
        std::string line = "  " + std::string(row->key);
        line.resize(width + 4, ' ');
        line += std::string("default ") + (*row->defaultValue ? row->defaultValue : "empty");
        line += std::string("; ") + (*row->values ? row->values : "any text") + "\n";
        text += line;
    }
    return text;
}

std::string VersionText() {
    std::string version = kSoftwareName;  // "Lumo 1.2e", as the TIFF Software tag names the program
    version[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(version[0])));
    return version;
}
