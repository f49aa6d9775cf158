// The progress line of the lumo command on a real terminal (a pseudo-terminal): how often it is drawn.
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "formats/bmp.h"
#include "tests/support/lumo_test.h"

namespace {

struct TerminalRun {
    int status = -1;
    std::string screen;  // everything the program wrote to its terminal
    double seconds = 0;
};

// Runs lumo with its standard output and error on a new pseudo-terminal and reads all it writes.
TerminalRun RunOnTerminal(const std::string& profile, const std::vector<std::string>& arguments) {
    const std::string program = BuiltProgram("lumo");
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    TerminalRun run;
    const auto start = std::chrono::steady_clock::now();
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child < 0) return run;
    if (child == 0) {
        setenv("LUMO_PROFILE", profile.c_str(), 1);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(terminal, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO once the program has exited and closed the terminal
        run.screen.append(buffer, static_cast<size_t>(n));
    }
    close(terminal);
    int status = 0;
    waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return run;
}

size_t CountRedraws(const std::string& screen) {
    size_t count = 0;
    for (size_t at = screen.find("\r\033[K"); at != std::string::npos; at = screen.find("\r\033[K", at + 1)) ++count;
    return count;
}

class CliProgressTest : public LumoTest {};

// Each file is loaded and saved row by row (3,000 progress reports per file); the line must be drawn a few
// times per file plus at most about ten times a second, and still end on each file's finished state.
TEST_F(CliProgressTest, TheLineIsRedrawnOnlyWhenItChangesAndAtMostTenTimesASecond) {
    std::vector<std::string> arguments{"convert"};
    constexpr int kFiles = 3;
    for (int i = 0; i < kFiles; ++i) {
        const std::string path = tempPath("in" + std::to_string(i) + ".bmp");
        SaveBmp(MakePatternImage(ImageKind::GRAY256, 300, 1500, static_cast<unsigned>(i + 1)).get(), path.c_str());
        arguments.push_back(path);
    }
    arguments.insert(arguments.end(), {"-o", tempPath("out"), "--format", "bmp"});

    const TerminalRun run = RunOnTerminal(tempPath("WIN.INI"), arguments);
    ASSERT_EQ(run.status, 0) << run.screen;
    // "[files done/3] ... file 100%" for each file, then the count of all three.
    for (int i = 0; i < kFiles; ++i) {
        const size_t line = run.screen.find("[" + std::to_string(i) + "/3]");
        ASSERT_NE(line, std::string::npos) << run.screen;
        const size_t finished = run.screen.find(arguments[1 + i] + " 100%", line);
        EXPECT_NE(finished, std::string::npos) << run.screen;
        EXPECT_EQ(run.screen.find('\r', line + 1), run.screen.find("\r\033[K", line)) << "one line: " << run.screen;
    }
    EXPECT_NE(run.screen.find("[3/3]"), std::string::npos) << run.screen;
    // Per file: its start and its finished load and save; then the timed redraws, and the final clearing.
    const size_t bound = kFiles * 4 + static_cast<size_t>(11 * run.seconds) + 2;
    EXPECT_LE(CountRedraws(run.screen), bound) << "in " << run.seconds << " s";
}

}  // namespace

namespace {

// A batch long enough for a rate: files done, failures, rate and time left on the one line; --quiet
// shows nothing at all on the same terminal.
TEST_F(CliProgressTest, ABatchShowsItsCountsRateAndTimeLeftUnlessQuiet) {
    std::vector<std::string> arguments{"convert", "--keep-going"};
    WriteBytes(tempPath("broken.bmp"), {'B', 'M', 1});
    arguments.push_back(tempPath("broken.bmp"));
    for (int i = 0; i < 40; ++i) {
        const std::string path = tempPath("in" + std::to_string(i) + ".bmp");
        SaveBmp(MakePatternImage(ImageKind::RGB, 600, 400, static_cast<unsigned>(i + 1)).get(), path.c_str());
        arguments.push_back(path);
    }
    arguments.insert(arguments.end(), {"-o", tempPath("out"), "--format", "png", "-j", "2"});
    const TerminalRun run = RunOnTerminal(tempPath("WIN.INI"), arguments);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.screen.find(" 1 failed, "), std::string::npos) << run.screen;
    if (run.seconds > 1.5) {
        EXPECT_NE(run.screen.find(" files/s, 0:"), std::string::npos) << run.screen;
        EXPECT_NE(run.screen.find(" left"), std::string::npos) << run.screen;
    }
    EXPECT_NE(run.screen.find("40 converted, 1 failed"), std::string::npos) << run.screen;

    arguments.push_back("--quiet");
    arguments.erase(arguments.begin() + 2);  // the broken file: its error would be shown
    const TerminalRun quiet = RunOnTerminal(tempPath("WIN.INI"), arguments);
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.screen, "");
}

}  // namespace
