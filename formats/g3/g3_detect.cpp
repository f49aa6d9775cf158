#include "formats/g3/g3_detect.h"

#include <array>
#include <vector>

#include "formats/g3/g3_markers.h"

namespace {

constexpr size_t kShortestFax = 100;  // bytes; anything shorter is not taken for fax data
constexpr int kTrialRows = 500;       // rows a trial decodes at most, so detection cost stays flat
constexpr int kSureScore = 95;        // a trial this good decides at once
constexpr int kLeastScore = 85;       // the best trial must reach this, or the data is not fax
constexpr int kRegular = 5;           // irregularity at most this: 2-D, no trial needed
constexpr int kMaybeRegular = 50;     // up to this, a 2-D trial decides
constexpr size_t kSizeClasses = 16;   // group sizes counted when looking for the K factor

// The irregularity of the groups of 2-D rows: each group is a 1-D row (a marker followed by a 1
// bit) and the 2-D rows after it (markers followed by a 0 bit). A constant K factor makes every
// group the same size.
int Irregularity(const std::vector<int>& groups) {
    size_t first = 0;
    while (first < groups.size() && groups[first] == 1) ++first;
    size_t last = groups.size();
    while (last > first && groups[last - 1] == 1) --last;
    if (last <= first) return 100;
    --last;
    const size_t span = last - first;
    if (span <= 10) return 100;
    std::array<long, kSizeClasses> counts{};
    for (size_t i = first; i <= last; ++i)
        if (groups[i] < static_cast<int>(kSizeClasses)) ++counts[static_cast<size_t>(groups[i])];
    size_t k = 0;  // the most frequent size; the smallest on a tie
    for (size_t size = 1; size < kSizeClasses; ++size)
        if (counts[size] > counts[k]) k = size;
    if (k == 1) return 100;
    long differing = 0;
    for (size_t i = first; i <= last; ++i)
        if (groups[i] != static_cast<int>(k)) ++differing;
    // differing / span * 100, rounded half up.
    return static_cast<int>((200 * differing + static_cast<long>(span)) / (2 * static_cast<long>(span)));
}

enum Trial { k1DLsb, k1DMsb, k2DLsb, k2DMsb, kTrials };

G3Coding CodingOf(int trial) { return {trial >= k2DLsb, trial == k1DMsb || trial == k2DMsb}; }

// Trial scores, each decoded once.
class Trials {
public:
    explicit Trials(std::span<const uint8_t> data) : data_(data) {}
    int score(int trial) {
        if (scores_[static_cast<size_t>(trial)] < 0) scores_[static_cast<size_t>(trial)] = TrialScore(data_, CodingOf(trial));
        return scores_[static_cast<size_t>(trial)];
    }

private:
    std::span<const uint8_t> data_;
    std::array<int, kTrials> scores_{-1, -1, -1, -1};
};

}  // namespace

MarkerPattern ScanMarkerPattern(std::span<const uint8_t> data, bool msbFirst) {
    MarkerPattern pattern;
    std::vector<int> groups;
    ForEachMarker(data, msbFirst, [&](size_t, int nextBit) {
        ++pattern.endOfLines;
        if (nextBit == 1)
            groups.push_back(1);
        else if (nextBit == 0 && !groups.empty())
            ++groups.back();
    });
    pattern.irregularity = Irregularity(groups);
    return pattern;
}

int ScoreTrial(int rows, int errors, bool twoD) {
    int score;
    if (rows <= 50) {
        score = 0;
    } else {
        const int x = (rows - errors) * 100 / rows;  // (1 - errors / rows) x 100, cut to an integer
        if (rows <= 100 && x < 98)
            score = 0;
        else if (rows <= 150)
            score = 100 - 3 * (100 - x);
        else if (rows <= 300)
            score = 100 - 2 * (100 - x);
        else
            score = x;
    }
    // A 2-D reading must be clearly better to win.
    return twoD ? 100 - 2 * (100 - score) : score;
}

int TrialScore(std::span<const uint8_t> data, G3Coding coding) {
    G3RowDecoder decoder(data, coding, "LumoLoadG3");
    uint8_t row[kFaxRowBytes];
    int rows = 0;
    int errors = 0;
    while (rows < kTrialRows && decoder.next(row)) {
        ++rows;
        errors += decoder.errors();
    }
    return ScoreTrial(rows, errors, coding.twoD);
}

std::optional<G3Coding> DetectG3Coding(std::span<const uint8_t> data) {
    if (data.size() < kShortestFax) return std::nullopt;
    const MarkerPattern lsb = ScanMarkerPattern(data, false);
    const MarkerPattern msb = ScanMarkerPattern(data, true);
    Trials trials(data);

    // Regular 2-D data in the more regular order.
    const bool lsbMoreRegular = lsb.irregularity < msb.irregularity;
    const int irregularity = lsbMoreRegular ? lsb.irregularity : msb.irregularity;
    const int twoDTrial = lsbMoreRegular ? k2DLsb : k2DMsb;
    if (irregularity <= kRegular ||
        (irregularity <= kMaybeRegular && trials.score(twoDTrial) >= kSureScore))
        return CodingOf(twoDTrial);

    // 1-D, the order with more markers first.
    const int firstOrder = lsb.endOfLines > msb.endOfLines ? k1DLsb : k1DMsb;
    const int secondOrder = firstOrder == k1DLsb ? k1DMsb : k1DLsb;
    for (int trial : {firstOrder, secondOrder})
        if (trials.score(trial) >= kSureScore) return CodingOf(trial);

    // The best of all four readings, the first in trial order on a tie.
    int best = k1DLsb;
    for (int trial = k1DMsb; trial < kTrials; ++trial)
        if (trials.score(trial) > trials.score(best)) best = trial;
    if (trials.score(best) < kLeastScore) return std::nullopt;
    return CodingOf(best);
}
