#include "install/installation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

#include "install/file_install.h"

namespace {

std::string CurrentDirectory() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::current_path(error);
    return error ? std::string() : path.string();
}

// The directory as a clean absolute path: "~" and "~/..." stand for the home, a relative path is
// taken from the current directory, trailing slashes go.
std::string AbsoluteDestination(std::string text) {
    if (text == "~" || text.rfind("~/", 0) == 0) {
        const char* home = std::getenv("HOME");
        if (home && *home) text = home + text.substr(1);
    }
    if (text.empty()) return {};
    if (text[0] != '/') text = CurrentDirectory() + "/" + text;
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

bool IsDirectory(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

std::string ProgramDirectory() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? CurrentDirectory() : program.parent_path().string();
}

std::string ProposedDestination() {
    const char* home = std::getenv("HOME");
    const std::string base = home && *home ? home : CurrentDirectory();
    return (base == "/" ? "" : base) + "/WLUMO";
}

bool RunInstallation(const std::string& destinationText, const std::string& sourceDir,
                     const std::optional<MenuPlaces>& menuClient, InstallerOutput& output) {
    const std::string destination = AbsoluteDestination(destinationText);
    if (destination.empty() || (!IsDirectory(destination) && ::mkdir(destination.c_str(), 0755) != 0)) {
        output.message(MessageKind::Notice, "Cannot create directory");
        return false;
    }

    for (const char* name : kInstalledFiles) {
        output.status(std::string("Copying ") + name);
        const unsigned result = InstallFile(name, sourceDir, destination);
        if (result == 0) continue;
        for (const std::string& text : InstallResultTexts(result)) output.message(MessageKind::Error, text);
        output.message(MessageKind::Error, "Error during installation");
        return false;
    }

    output.status("Creating Group...");
    CreateProgramGroup(menuClient, destination, output);

    output.status("Installation Done");
    output.message(MessageKind::Information, "Installation Done !!");
    return true;
}
