// Group 3 rows decoded one at a time by libtiff's CCITT decoder, over fax data held in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

constexpr int kFaxWidth = 1728;               // pixels in every fax row
constexpr int kFaxRowBytes = kFaxWidth / 8;   // 216
constexpr float kFaxResolution = 196.0f;      // dots per inch, both ways

// How the data is coded (the module's options "2d" and "msbtolsb").
struct G3Coding {
    bool twoD = false;      // two-dimensionally coded (TIFF Group3Options 1)
    bool msbToLsb = false;  // bits filled from each byte's most significant bit (TIFF FillOrder 1)
};

// A message libtiff gave while a row was decoded.
struct G3Message {
    bool error;           // an error (the row is bad) rather than a warning
    std::string module;   // libtiff's module ("Fax3Decode1D")
    std::string text;     // at most 99 characters
};

class G3RowDecoder {
public:
    // Reports through LumoError (module) only when libtiff cannot be set up at all; the decoder
    // keeps no pointer into data.
    G3RowDecoder(std::span<const uint8_t> data, G3Coding coding, const char* module);
    ~G3RowDecoder();
    G3RowDecoder(const G3RowDecoder&) = delete;
    G3RowDecoder& operator=(const G3RowDecoder&) = delete;

    // Decodes the next row into row (kFaxRowBytes bytes, the decoder's min-is-white bits: 1 is
    // black); false when the data holds no more rows.
    bool next(uint8_t* row);
    // The errors libtiff reported while decoding the row last returned (0: a good row), and all
    // its messages in the order they came.
    int errors() const;
    const std::vector<G3Message>& messages() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};
