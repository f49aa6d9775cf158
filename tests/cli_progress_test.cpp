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
    for (int i = 0; i < kFiles; ++i) {
        std::string finished = "[";
        finished.append(std::to_string(i + 1)).append("/3] ").append(arguments[1 + i]).append(" 100%");
        EXPECT_NE(run.screen.find(finished), std::string::npos) << run.screen;
    }
    // Per file: its start and its finished load and save; then the timed redraws, and the final clearing.
    const size_t bound = kFiles * 4 + static_cast<size_t>(11 * run.seconds) + 2;
    EXPECT_LE(CountRedraws(run.screen), bound) << "in " << run.seconds << " s";
}

}  // namespace
