// Where a batch's files come from: the command line's files, the files below its folders (-r), a list
// (--files-from), and the slice of them this run takes (--shard K/N).
#pragma once

#include <string>
#include <vector>

#include "jobs/file_tree.h"

struct BatchSource {
    std::vector<std::string> arguments;  // files; with recursive, folders too
    bool recursive = false;
    TreeSelection selection;             // which files below the folders are taken
    std::string filesFrom;               // a list of inputs, one per line; "-" standard input; empty none
    bool nulSeparated = false;           // the list's names end with NUL bytes (find -print0)
    int shardIndex = 0, shardCount = 0;  // this run's slice K of N (from 1); 0 of 0: all
};

struct BatchInput {
    std::string path;      // as opened
    std::string relative;  // below its folder when found by the walk; empty for a file named directly
};

// "K/N" with 1 <= K <= N.
bool ParseShard(const std::string& text, int& index, int& count);
// The first and one-past-last positions of slice index (from 1) of count in a list of size items:
// contiguous slices whose sizes differ by one at most.
std::pair<size_t, size_t> ShardRange(size_t size, int index, int count);

struct GatheredInputs {
    std::vector<BatchInput> inputs;
    std::vector<std::string> unreadable;  // folders (or roots) that could not be read, with the reason
    std::string usageError;               // the request cannot be used; nothing else is filled then
};

// The inputs in command-line order (a folder's files in walk order), then the list's; with a shard
// the whole list sorted by path and cut to the slice, so every run of the same inputs cuts alike.
GatheredInputs GatherBatchInputs(const BatchSource& source);

// OUTDIR/the relative name's folders/its base name.extension.
std::string MirroredTarget(const std::string& outputFolder, const std::string& relative, const std::string& extension);
