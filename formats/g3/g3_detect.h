// Finds out from the data alone whether raw fax data is 1-D or 2-D coded and in which bit order its
// bytes are filled: first from the pattern of its end-of-line markers, then by trial decodes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "formats/g3/g3_rows.h"

// No answer when the data is not recognised as fax data.
std::optional<G3Coding> DetectG3Coding(std::span<const uint8_t> data);

// The markers of one bit order: how many there are, and how irregular their pattern is for 2-D data
// (0: the 1-D rows come at a fixed interval, as a constant K factor gives; 100: no such pattern).
struct MarkerPattern {
    long endOfLines = 0;
    int irregularity = 100;
};
MarkerPattern ScanMarkerPattern(std::span<const uint8_t> data, bool msbFirst);

// The score of a trial decode of up to 500 rows with that coding (0 to 100).
int TrialScore(std::span<const uint8_t> data, G3Coding coding);
// The score of a trial that decoded rows rows with errors errors.
int ScoreTrial(int rows, int errors, bool twoD);
