#include <cstdarg>
#include <string>

#include "core/messages.h"
#include "core/options.h"
#include "platform/message_box.h"
#include "tests/support/lumo_test.h"

namespace {

class MessagesTest : public LumoTest {};

TEST_F(MessagesTest, ErrorCallsTheHookThenUnwinds) {
    EXPECT_LUMO_ERROR(LumoError("LoadBmp", "Bad %s at %d", "header", 14), "LoadBmp", "Bad header at 14");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].module, "LoadBmp");
    EXPECT_EQ(errors[0].text, "Bad header at 14");
}

TEST_F(MessagesTest, WarningCallsTheHookAndReturns) {
    LumoWarning("LumoLoadBmp", "Header size is %ld - %ld expected", 60L, 54L);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].text, "Header size is 60 - 54 expected");
}

TEST_F(MessagesTest, WithoutAnErrorHookTheErrorStillUnwinds) {
    LumoHook previous = LumoSetErrorHandler(nullptr);
    EXPECT_THROW(LumoError("x", "y"), LumoFailure);
    EXPECT_EQ(LumoSetErrorHandler(previous), nullptr);  // the setter hands back the hook in force
    EXPECT_TRUE(errors.empty());
}

TEST_F(MessagesTest, DefaultHooksShowCaptionedMessageBoxes) {
    std::vector<std::string> boxes;
    MessageBoxFunction previousBox = SetMessageBoxFunction(
        [&](const char* caption, const char* text, MessageIcon) { boxes.push_back(std::string(caption) + "|" + text); });
    LumoHook previousError = LumoSetErrorHandler(LumoDefaultErrorHook);
    LumoHook previousWarning = LumoSetWarningHandler(LumoDefaultWarningHook);
    EXPECT_THROW(LumoError("FlipImage", "Can't alloc Xchange buffer"), LumoFailure);
    LumoWarning(nullptr, "%d left", 3);
    LumoSetErrorHandler(previousError);
    LumoSetWarningHandler(previousWarning);
    SetMessageBoxFunction(previousBox);
    EXPECT_EQ(boxes, (std::vector<std::string>{"Lumo Error in module FlipImage|Can't alloc Xchange buffer",
                                               "Lumo Warning|3 left"}));
}

// The report text of a hook, followed by the message formatted again from the same arguments.
std::string ReportTwice(const char* kind, const char* module, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string report = LumoReportText(kind, module, format, args);
    report += "|" + LumoFormatMessage(format, args);
    va_end(args);
    return report;
}

TEST_F(MessagesTest, ReportTextNamesKindAndModuleAndLeavesTheArgumentsUsable) {
    EXPECT_EQ(ReportTwice("Error", "LumoLoadGif", "Bad %s at %d", "code", 9),
              "Lumo Error:Bad code at 9 (module LumoLoadGif)|Bad code at 9");
    EXPECT_EQ(ReportTwice("Warning", nullptr, "%d left", 3), "Lumo Warning: 3 left|3 left");
    EXPECT_EQ(ReportTwice("Warning", "", "%s", ""), "Lumo Warning: |");
    const std::string path(300, 'p');  // longer than the old 200-character buffers: kept whole
    EXPECT_EQ(ReportTwice("Error", "m", "Can't open %s", path.c_str()),
              "Lumo Error:Can't open " + path + " (module m)|Can't open " + path);
}

TEST_F(MessagesTest, ProgressReachesTheHookOnlyWhenShown) {
    LumoProgress(-1);
    LumoSetIntOption("showprogress", 0);
    LumoProgress(50);
    LumoSetIntOption("showprogress", 1);
    LumoProgressRow(2, 3);
    LumoProgress(-2);
    EXPECT_EQ(progress, (std::vector<int>{-1, 100, -2}));
}

TEST_F(MessagesTest, GlobalOptionNamesAreCaseSensitive) {
    LumoSetIntOption("verbose", 1);
    EXPECT_EQ(LumoGetIntOption("verbose"), 1);
    LumoSetIntOption("verbose", 0);
    EXPECT_LUMO_ERROR(LumoSetIntOption("Verbose", 1), "LumoSetIntOption", "Unknown option: Verbose");
    EXPECT_LUMO_ERROR(LumoGetIntOption("showprogres"), "LumoGetIntOption", "Unknown option: showprogres");
    EXPECT_EQ(LumoGetIntOption("verbose"), 0);
}

TEST_F(MessagesTest, RegistryStoresWithoutRangeChecksAndMatchesWholeNames) {
    int first = 1, second = 2;
    const NamedOption<int> entries[] = {{"size", &first}, {"sizes", &second}};
    const OptionRegistry<int> registry(entries, "Unknown test option: %s");
    registry.set("SetTest", "sizes", -70000);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, -70000);
    EXPECT_EQ(registry.get("GetTest", "size"), 1);
    EXPECT_LUMO_ERROR(registry.set("SetTest", "siz", 3), "SetTest", "Unknown test option: siz");
    EXPECT_LUMO_ERROR(registry.get("GetTest", ""), "GetTest", "Unknown test option: ");
}

}  // namespace
