// A fixture whose profile is a file of the test's own folder ($LUMO_PROFILE), read and written as text.
#pragma once

#include <cstdlib>
#include <string>

#include "platform/profile.h"
#include "tests/support/lumo_test.h"

class ProfileFileTest : public LumoTest {
protected:
    void SetUp() override {
        LumoTest::SetUp();
        path_ = tempPath("WIN.INI");
        ::setenv("LUMO_PROFILE", path_.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("LUMO_PROFILE");
        ClearProfileOverrides();
        LumoTest::TearDown();
    }
    void writeProfile(const std::string& text) { WriteBytes(path_, std::vector<uint8_t>(text.begin(), text.end())); }
    std::string profileText() {
        const std::vector<uint8_t> bytes = ReadBytes(path_);
        return {bytes.begin(), bytes.end()};
    }
    std::string path_;
};
