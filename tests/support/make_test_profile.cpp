// Writes the tests' Display P3 profile to a file, for the scripts that drive the viewer.
#include <cstdio>

#include "tests/support/icc_profiles.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_test_profile FILE.icc\n");
        return 2;
    }
    const std::vector<uint8_t> profile = DisplayP3Profile();
    std::FILE* file = std::fopen(argv[1], "wb");
    if (!file || std::fwrite(profile.data(), 1, profile.size(), file) != profile.size() || std::fclose(file) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
