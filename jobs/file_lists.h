// The lists of files the batch jobs offer: the ordinary files of a folder that match the job's
// patterns, compared without regard to case ("PHOTO.JPG" is listed under "*.jpg").
#pragma once

#include <span>
#include <string>
#include <vector>

// The contact-sheet builder's patterns, and the batch converter's (which lists no MOK files, although
// MOK is one of its output formats).
// "*.jpeg", "*.jpe" and "*.tiff" are the other spellings the dispatch reads as JPEG and TIFF.
constexpr const char* kSheetSourcePatterns[] = {"*.jpg", "*.tif", "*.bmp", "*.gif", "*.bie", "*.pcd",
                                                "*.mok", "*.fax", "*.png", "*.webp", "*.jpeg", "*.jpe",
                                                "*.tiff", "*.avif", "*.jxl"};
constexpr const char* kBatchSourcePatterns[] = {"*.jpg", "*.tif", "*.bmp", "*.gif", "*.bie", "*.pcd",
                                                "*.fax", "*.png", "*.webp", "*.jpeg", "*.jpe", "*.tiff",
                                                "*.avif", "*.jxl"};

// True when the name matches the pattern ("*" any run, "?" one character) without regard to ASCII case.
bool MatchesPattern(const std::string& name, const char* pattern);

// The order of the batch jobs' lists, as a sorted list box shows them: case ignored, then bytes.
bool ListOrder(const std::string& a, const std::string& b);

// The names (without folder) of the ordinary files of folder that match any pattern, each once, sorted
// as a sorted list box shows them (without regard to case, then by bytes). Empty for a folder that
// cannot be read.
std::vector<std::string> ListMatchingFiles(const std::string& folder, std::span<const char* const> patterns);
