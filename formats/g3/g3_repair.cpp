#include "formats/g3/g3_repair.h"

#include <cstring>

namespace {

constexpr uint8_t kBlack = 0x00;  // 8 black pixels
constexpr uint8_t kWhite = 0xFF;  // 8 white pixels
constexpr int kManyErrors = 20;   // the white-streak passes run from this many decoding errors

// The picture with rows counted from the top.
class FaxPicture {
public:
    explicit FaxPicture(IMG& image) : image_(image), bytes_(image.width / 8) {}
    int height() const { return image_.height; }
    int bytes() const { return bytes_; }
    uint8_t* row(int y) { return PictureRow(image_, y); }

    // Bytes start to start + count - 1 of row y from the row above, or white in the top row.
    void repair(int y, int start, int count) {
        if (y == 0)
            std::memset(row(0) + start, kWhite, static_cast<size_t>(count));
        else
            std::memcpy(row(y) + start, row(y - 1) + start, static_cast<size_t>(count));
    }

private:
    IMG& image_;
    int bytes_;
};

// A row that ends in a long black run: the decoder lost the rest of the row.
void RepairBlackRowEnds(FaxPicture& picture) {
    for (int y = 0; y < picture.height(); ++y) {
        const uint8_t* row = picture.row(y);
        int black = 0;
        while (black < picture.bytes() && row[picture.bytes() - 1 - black] == kBlack) ++black;
        if (black > 3) picture.repair(y, picture.bytes() - black + 1, black - 1);
    }
}

// Repairs the runs of bytes of row y for which inRun holds: those longer than shortest, and a run
// still open at the end of the scan (bytes 0 to end - 1) when it is longer than shortestAtEnd,
// counted to the row's end.
template <typename InRun>
void RepairRuns(FaxPicture& picture, int y, int end, int shortest, int shortestAtEnd, InRun inRun) {
    int start = 0;
    int length = 0;
    for (int x = 0; x < end; ++x) {
        if (inRun(x)) {
            if (length++ == 0) start = x;
            continue;
        }
        if (length > shortest) picture.repair(y, start, length);
        length = 0;
    }
    if (length > 0 && picture.bytes() - start > shortestAtEnd) picture.repair(y, start, picture.bytes() - start);
}

// Black streaks with non-black bytes above and below.
void RepairBlackStreaks(FaxPicture& picture) {
    for (int y = 1; y <= picture.height() - 2; ++y) {
        const uint8_t* above = picture.row(y - 1);
        const uint8_t* row = picture.row(y);
        const uint8_t* below = picture.row(y + 1);
        RepairRuns(picture, y, picture.bytes(), 3, 3,
                   [&](int x) { return row[x] == kBlack && above[x] != kBlack && below[x] != kBlack; });
    }
}

// White streaks where the row two below is not white and the two bytes above are not both white.
void RepairWhiteStreaksAboveInk(FaxPicture& picture) {
    for (int y = 1; y <= picture.height() - 3; ++y) {
        const uint8_t* above = picture.row(y - 1);
        const uint8_t* row = picture.row(y);
        const uint8_t* twoBelow = picture.row(y + 2);
        RepairRuns(picture, y, picture.bytes() - 1, 2, 3, [&](int x) {
            return row[x] == kWhite && twoBelow[x] != kWhite && !(above[x] == kWhite && above[x + 1] == kWhite);
        });
    }
}

// White streaks with non-white bytes above and below.
void RepairWhiteStreaks(FaxPicture& picture) {
    for (int y = 1; y <= picture.height() - 2; ++y) {
        const uint8_t* above = picture.row(y - 1);
        const uint8_t* row = picture.row(y);
        const uint8_t* below = picture.row(y + 1);
        RepairRuns(picture, y, picture.bytes(), 2, 3,
                   [&](int x) { return row[x] == kWhite && above[x] != kWhite && below[x] != kWhite; });
    }
}

}  // namespace

void RepairG3Picture(IMG& image, int decodingErrors) {
    FaxPicture picture(image);
    RepairBlackRowEnds(picture);
    RepairBlackStreaks(picture);
    if (decodingErrors < kManyErrors) return;
    RepairWhiteStreaksAboveInk(picture);
    RepairWhiteStreaks(picture);
}
