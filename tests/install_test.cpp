// Drives the built setup program without its window (--target) as scripts and packagers do: a
// release folder of its own in a temporary home, the menu places under XDG_DATA_HOME and
// XDG_CONFIG_HOME, and its messages read from standard error.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "formats/bmp.h"
#include "tests/support/lumo_test.h"

namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

void WriteText(const std::string& path, const std::string& text, fs::perms permissions = fs::perms(0644)) {
    std::ofstream(path, std::ios::binary) << text;
    fs::permissions(path, permissions);
}

std::set<std::string> Listing(const std::string& directory) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) names.insert(entry.path().filename().string());
    return names;
}

std::string Lines(std::initializer_list<const char*> texts) {
    std::string lines;
    for (const char* text : texts) lines += std::string("lumo-install: ") + text + "\n";
    return lines;
}

// Whether this machine lets the test mount a small file system of its own (a user namespace with a
// mount namespace), the way to a full or read-only disk without being root.
bool CanMountPrivately() {
    static const bool can = RunCommand("unshare -Urm sh -c 'mount -t tmpfs tmpfs /mnt' >/dev/null 2>&1").status == 0;
    return can;
}

class InstallTest : public LumoTest {
protected:
    void SetUp() override {
        LumoTest::SetUp();
        home_ = tempPath("home");
        release_ = tempPath("release");
        fs::create_directories(home_);
        fs::create_directories(release_);
        fs::copy_file(BuiltProgram("lumo-install"), release_ + "/lumo-install");
        setSources("viewer 1", "help 1");
    }

    // The files the release folder offers for installation.
    void setSources(const std::string& viewer, const std::string& help) {
        WriteText(release_ + "/wlumo", "#!/bin/sh\n# " + viewer + "\n", fs::perms(0755));
        WriteText(release_ + "/lumo.hlp", help);
    }

    std::string environment() const {
        return "HOME=" + ShellQuote(home_) + " XDG_DATA_HOME=" + ShellQuote(dataHome()) +
               " XDG_CONFIG_HOME=" + ShellQuote(configHome()) + " ";
    }
    // Runs the copy in the release folder with these arguments; output is standard error.
    CommandResult install(const std::string& arguments) {
        return RunCommand(environment() + ShellQuote(release_ + "/lumo-install") + " " + arguments + " 2>&1 >/dev/null");
    }
    CommandResult installInto(const std::string& destination) { return install("--target " + ShellQuote(destination)); }

    // A shell script run in a mount namespace of its own with a small file system at $M; the
    // script's output, or an empty result when this machine allows no such namespace.
    CommandResult withPrivateMount(const std::string& size, const std::string& script) {
        const std::string mountPoint = tempPath("mnt");
        fs::create_directories(mountPoint);
        const std::string body = "set -e; M=" + ShellQuote(mountPoint) + "; P=" + ShellQuote(release_ + "/lumo-install") +
                                 "; mount -t tmpfs -o size=" + size + " tmpfs \"$M\"; " + script;
        return RunCommand(environment() + "unshare -Urm sh -c " + ShellQuote(body) + " 2>&1");
    }

    std::string dataHome() const { return home_ + "/data"; }
    std::string configHome() const { return home_ + "/config"; }
    std::string applications() const { return dataHome() + "/applications"; }
    std::string menuFile() const { return configHome() + "/menus/applications-merged/lumo-for-windows.menu"; }

    std::string home_;
    std::string release_;
};

const std::string kDone = Lines({"Copying wlumo", "Copying lumo.hlp", "Creating Group...", "Installation Done",
                                 "Installation Done !!"});

TEST_F(InstallTest, FreshDirectoryGetsBothFilesAndTheGroup) {
    const std::string destination = home_ + "/WLUMO";
    const CommandResult result = installInto(destination);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, kDone);

    EXPECT_EQ(Listing(destination), (std::set<std::string>{"wlumo", "lumo.hlp"}));  // no temporary left
    EXPECT_EQ(ReadText(destination + "/wlumo"), ReadText(release_ + "/wlumo"));
    EXPECT_EQ(ReadText(destination + "/lumo.hlp"), "help 1");
    EXPECT_EQ(RunCommand(ShellQuote(destination + "/wlumo")).status, 0) << "the viewer lost its executable bit";
    EXPECT_EQ(fs::status(destination + "/lumo.hlp").permissions() & fs::perms::owner_exec, fs::perms::none);

    const std::string viewerEntry = ReadText(applications() + "/lumo-wlumo.desktop");
    EXPECT_NE(viewerEntry.find("\nName=Lumo for Windows\n"), std::string::npos) << viewerEntry;
    EXPECT_NE(viewerEntry.find("\nExec=\"" + destination + "/wlumo\" %F\n"), std::string::npos) << viewerEntry;
    EXPECT_NE(viewerEntry.find("\nIcon=lumo-wlumo\n"), std::string::npos) << viewerEntry;
    const std::string helpEntry = ReadText(applications() + "/lumo-help.desktop");
    EXPECT_NE(helpEntry.find("\nName=Lumo Help\n"), std::string::npos) << helpEntry;
    EXPECT_NE(helpEntry.find("\nExec=\"" + destination + "/wlumo\" --command 888\n"), std::string::npos) << helpEntry;
    EXPECT_NE(ReadText(dataHome() + "/desktop-directories/lumo-for-windows.directory").find("\nName=Lumo for Windows\n"),
              std::string::npos);
    const std::vector<uint8_t> icon = ReadBytes(dataHome() + "/icons/hicolor/48x48/apps/lumo-wlumo.png");
    ASSERT_GE(icon.size(), 8u);
    EXPECT_EQ(std::string(icon.begin() + 1, icon.begin() + 4), "PNG");
    EXPECT_FALSE(ReadBytes(dataHome() + "/icons/hicolor/48x48/apps/lumo-help.png").empty());
}

TEST_F(InstallTest, SecondInstallationReplacesFilesAndLeavesOneGroupOfTwo) {
    const std::string first = home_ + "/WLUMO";
    ASSERT_EQ(installInto(first).status, 0);
    WriteText(applications() + "/other-program.desktop", "[Desktop Entry]\nName=Other\n");
    fs::permissions(first + "/lumo.hlp", fs::perms(0444));  // forced: a read-only installed file is replaced too

    setSources("viewer 2", "help 2");
    EXPECT_EQ(installInto(first).output, kDone);
    EXPECT_EQ(ReadText(first + "/wlumo"), ReadText(release_ + "/wlumo"));
    EXPECT_EQ(ReadText(first + "/lumo.hlp"), "help 2");
    EXPECT_EQ(Listing(first), (std::set<std::string>{"wlumo", "lumo.hlp"}));

    // Into another directory: the group now names that one, and still holds two entries.
    const std::string second = home_ + "/Programs";
    EXPECT_EQ(installInto(second).status, 0);
    EXPECT_EQ(Listing(applications()),
              (std::set<std::string>{"lumo-wlumo.desktop", "lumo-help.desktop", "other-program.desktop"}));
    EXPECT_NE(ReadText(applications() + "/lumo-wlumo.desktop").find("Exec=\"" + second + "/wlumo\""), std::string::npos);
    EXPECT_EQ(ReadText(applications() + "/lumo-help.desktop").find(first), std::string::npos);
    EXPECT_EQ(Listing(configHome() + "/menus/applications-merged"), (std::set<std::string>{"lumo-for-windows.menu"}));
    EXPECT_EQ(Listing(dataHome() + "/desktop-directories"), (std::set<std::string>{"lumo-for-windows.directory"}));

    const std::string menu = ReadText(menuFile());
    size_t groups = 0, entries = 0;
    for (size_t at = 0; (at = menu.find("<Name>Lumo for Windows</Name>", at)) != std::string::npos; ++at) ++groups;
    for (size_t at = 0; (at = menu.find("<Filename>", at)) != std::string::npos; ++at) ++entries;
    EXPECT_EQ(groups, 1u);
    EXPECT_EQ(entries, 2u);
    EXPECT_NE(menu.find("<Directory>lumo-for-windows.directory</Directory>"), std::string::npos);
}

TEST_F(InstallTest, DirectoryIsMadeOneLevelDeepOnly) {
    const std::string deep = home_ + "/missing/WLUMO";
    CommandResult result = installInto(deep);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, Lines({"Cannot create directory"}));
    EXPECT_FALSE(fs::exists(home_ + "/missing"));

    WriteText(home_ + "/a-file", "x");
    result = installInto(home_ + "/a-file");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, Lines({"Cannot create directory"}));
    EXPECT_EQ(installInto("").output, Lines({"Cannot create directory"}));
    EXPECT_FALSE(fs::exists(applications())) << "a failed installation made a group";

    // A relative directory is taken from the current directory, and the group names it absolutely.
    result = RunCommand("cd " + ShellQuote(home_) + " && " + environment() + ShellQuote(release_ + "/lumo-install") +
                        " --target Relative/ 2>&1 >/dev/null");
    EXPECT_EQ(result.output, kDone);
    EXPECT_TRUE(fs::exists(home_ + "/Relative/wlumo"));
    EXPECT_NE(ReadText(applications() + "/lumo-wlumo.desktop").find("Exec=\"" + home_ + "/Relative/wlumo\" %F"),
              std::string::npos);
}

TEST_F(InstallTest, UnreadableSourceStopsBeforeTheNextFileAndTheGroup) {
    const std::string destination = home_ + "/WLUMO";
    fs::remove(release_ + "/lumo.hlp");
    CommandResult result = installInto(destination);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, Lines({"Copying wlumo", "Copying lumo.hlp", "Can't read source file",
                                    "Error during installation"}));
    EXPECT_EQ(Listing(destination), std::set<std::string>{"wlumo"});  // the file before it stays
    EXPECT_FALSE(fs::exists(applications()));

    // A source that is no file at all; the installed viewer stays as it was.
    fs::remove(release_ + "/wlumo");
    fs::create_directory(release_ + "/wlumo");
    result = installInto(destination);
    EXPECT_EQ(result.output, Lines({"Copying wlumo", "Can't read source file", "Error during installation"}));
    EXPECT_EQ(ReadText(destination + "/wlumo"), "#!/bin/sh\n# viewer 1\n");
}

TEST_F(InstallTest, DirectoryInTheWayOfAFileIsReportedAndKept) {
    const std::string destination = home_ + "/WLUMO";
    fs::create_directories(destination + "/lumo.hlp/inside");
    const CommandResult result = installInto(destination);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, Lines({"Copying wlumo", "Copying lumo.hlp", "Can't delete file",
                                    "Error during installation"}));
    EXPECT_TRUE(fs::is_directory(destination + "/lumo.hlp/inside"));
    EXPECT_EQ(Listing(destination), (std::set<std::string>{"wlumo", "lumo.hlp"}));
}

TEST_F(InstallTest, FullDiskKeepsTheInstalledFiles) {
    if (!CanMountPrivately()) GTEST_SKIP() << "no user and mount namespaces here for a small file system";
    // The first installation fits; the second brings a viewer larger than the whole file system.
    const CommandResult result = withPrivateMount(
        "256k", "\"$P\" --target \"$M/WLUMO\" 2>/dev/null; head -c 1048576 /dev/zero >> " +
                    ShellQuote(release_ + "/wlumo") + "; \"$P\" --target \"$M/WLUMO\" || echo \"status $?\"; "
                    "ls -A \"$M/WLUMO\"; cat \"$M/WLUMO/wlumo\"");
    EXPECT_EQ(result.output, Lines({"Copying wlumo", "Disk is full", "Can't Create temporary file",
                                    "Error during installation"}) +
                                 "status 1\nlumo.hlp\nwlumo\n#!/bin/sh\n# viewer 1\n");
}

TEST_F(InstallTest, ReadOnlyDestinationKeepsTheInstalledFiles) {
    std::string script = "\"$P\" --target \"$M/WLUMO\" 2>/dev/null; ";
    CommandResult result;
    if (CanMountPrivately()) {
        result = withPrivateMount("1m", script + "mount -o remount,ro \"$M\"; \"$P\" --target \"$M/WLUMO\" || "
                                                 "echo \"status $?\"; cat \"$M/WLUMO/wlumo\"");
    } else if (::geteuid() != 0) {
        const std::string destination = home_ + "/WLUMO";
        ASSERT_EQ(installInto(destination).status, 0);
        fs::permissions(destination, fs::perms(0555));
        result = RunCommand(environment() + ShellQuote(release_ + "/lumo-install") + " --target " +
                            ShellQuote(destination) + " 2>&1 || echo \"status $?\"; cat " +
                            ShellQuote(destination + "/wlumo"));
        fs::permissions(destination, fs::perms(0755));
    } else {
        GTEST_SKIP() << "root without mount namespaces: every directory is writable";
    }
    EXPECT_EQ(result.output, Lines({"Copying wlumo", "Acces Violation Error", "Can't Create temporary file",
                                    "Error during installation"}) +
                                 "status 1\n#!/bin/sh\n# viewer 1\n");
}

TEST_F(InstallTest, GroupThatCannotBeWrittenIsReportedAndTheInstallationStillEnds) {
    // The data home lies under a file, so the menu places cannot be made.
    WriteText(home_ + "/data", "not a directory");
    const std::string destination = home_ + "/WLUMO";
    CommandResult result = installInto(destination);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output,
              Lines({"Copying wlumo", "Copying lumo.hlp", "Creating Group...", "DDE Error: conversation not established",
                     "Can't connect to PROGMAN", "DDE Error: Invalid Parameter", "Installation Done",
                     "Installation Done !!"}));
    EXPECT_EQ(Listing(destination), (std::set<std::string>{"wlumo", "lumo.hlp"}));
    fs::remove(home_ + "/data");

    // A destination whose name is not UTF-8 cannot be written into a desktop entry.
    const std::string latin1 = home_ + "/caf\xe9";
    result = installInto(latin1);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, Lines({"Copying wlumo", "Copying lumo.hlp", "Creating Group...",
                                    "Error: Can't create data handle.", "Installation Done", "Installation Done !!"}));
    EXPECT_TRUE(fs::exists(latin1 + "/wlumo"));
}

TEST_F(InstallTest, EntriesNameAnyDestinationExactly) {
    // Quotes, dollars, backslashes and percent signs survive the Exec line's quoting.
    const std::string destination = home_ + "/My \"Lumo\" $HOME `x` 100% \\ dir";
    ASSERT_EQ(installInto(destination).status, 0);
    const std::string entry = ReadText(applications() + "/lumo-wlumo.desktop");
    std::string expected = "\nExec=\"" + home_ + "/My \\\\\"Lumo\\\\\" \\\\$HOME \\\\`x\\\\` 100%% \\\\\\\\ dir/wlumo\" %F\n";
    EXPECT_NE(entry.find(expected), std::string::npos) << entry;
}

TEST_F(InstallTest, UsageErrorsExitWithTwo) {
    for (const char* arguments : {"--target", "--target a b", "--destination x", "extra"}) {
        const CommandResult result = install(arguments);
        EXPECT_EQ(result.status, 2) << arguments;
        EXPECT_NE(result.output.find("usage: lumo-install"), std::string::npos) << arguments;
    }
    EXPECT_FALSE(fs::exists(applications()));
}

TEST_F(InstallTest, InstalledViewerStartsFromItsNewPlace) {
    // The real release: the built setup program with the viewer and help file beside it.
    const std::string destination = tempPath("installed");
    const CommandResult installed = RunCommand(environment() + ShellQuote(BuiltProgram("lumo-install")) + " --target " +
                                               ShellQuote(destination) + " 2>&1");
    ASSERT_EQ(installed.status, 0) << installed.output;
    EXPECT_EQ(ReadBytes(destination + "/lumo.hlp"), ReadBytes(BuiltProgram("lumo.hlp")));

    const std::string picture = tempPath("picture.bmp");
    SaveBmp(MakePatternImage(ImageKind::RGB, 40, 30).get(), picture.c_str());
    const std::string shot = tempPath("shot.png");
    const CommandResult run = RunCommand("cd / && QT_QPA_PLATFORM=offscreen LUMO_PROFILE=" +
                                         ShellQuote(tempPath("WIN.INI")) + " " + ShellQuote(destination + "/wlumo") +
                                         " --screenshot " + ShellQuote(shot) + " --quit-after 1500 " +
                                         ShellQuote(picture) + " 2>&1");
    EXPECT_EQ(run.status, 0) << run.output;
    const std::vector<uint8_t> png = ReadBytes(shot);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
}

}  // namespace
