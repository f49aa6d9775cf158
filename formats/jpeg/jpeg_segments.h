// APP segments of a JPEG file handled as bytes, without libjpeg: finding the segments of one APPn
// code that open with a signature, and putting new segments into a compressed file. Used for data
// of our own that rides along in a file (the cell table of a contact sheet).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// The data a marker segment holds after its two length bytes.
constexpr size_t kAppSegmentCapacity = 65533;

// The contents (after the signature) of every APPn segment (n = appNumber, 0..15) before the first
// scan whose data opens with signature, in file order. The walk stops at the start of scan, at the end
// of the image, or where the markers stop making sense (a bad length, bytes that are not a marker,
// the end of the data): segments found before that are kept. Never reads outside bytes.
std::vector<std::span<const uint8_t>> FindAppSegments(std::span<const uint8_t> bytes, int appNumber,
                                                       std::span<const uint8_t> signature);

// True when the markers before the first scan go on past the end of bytes (a file's first part, read
// so far): reading more of the file could find more segments.
bool MarkersRunPastEnd(std::span<const uint8_t> bytes);

// The file with one APPn segment per entry of payloads (each at most kAppSegmentCapacity bytes,
// written as given) placed after the start-of-image marker and the JFIF APP0 segment when there is
// one, so that readers that expect JFIF first still find it. False (jpeg left as it was) when jpeg
// does not start with a start-of-image marker or a payload is too large.
bool InsertAppSegments(std::vector<uint8_t>& jpeg, int appNumber, const std::vector<std::vector<uint8_t>>& payloads);
