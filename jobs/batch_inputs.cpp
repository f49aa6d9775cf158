#include "jobs/batch_inputs.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "jobs/batch_convert.h"

namespace {

bool IsFolder(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The names of a list, each ended by a newline (or NUL); a last name without its end counts too.
bool ReadList(const std::string& from, bool nulSeparated, std::vector<std::string>& names, std::string& error) {
    std::ifstream file;
    if (from != "-") {
        file.open(from, std::ios::binary);
        if (!file) {
            error = "--files-from: can't read " + from + ": " + std::strerror(errno);
            return false;
        }
    }
    std::istream& in = from == "-" ? std::cin : file;
    std::string name;
    while (std::getline(in, name, nulSeparated ? '\0' : '\n'))
        if (!name.empty()) names.push_back(std::move(name));
    return true;
}

}  // namespace

bool ParseShard(const std::string& text, int& index, int& count) {
    int k = 0, n = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%d/%d%c", &k, &n, &end) != 2 || n < 1 || k < 1 || k > n) return false;
    index = k;
    count = n;
    return true;
}

std::pair<size_t, size_t> ShardRange(size_t size, int index, int count) {
    const auto cut = [&](int k) { return static_cast<size_t>(static_cast<unsigned __int128>(size) * k / count); };
    return {cut(index - 1), cut(index)};
}

GatheredInputs GatherBatchInputs(const BatchSource& source) {
    GatheredInputs gathered;
    std::vector<std::string> names = source.arguments;
    if (!source.filesFrom.empty() && !ReadList(source.filesFrom, source.nulSeparated, names, gathered.usageError))
        return gathered;
    for (const std::string& name : names) {
        if (!IsFolder(name)) {
            gathered.inputs.push_back({name, ""});
            continue;
        }
        if (!source.recursive) {
            gathered.usageError = name + " is a folder: -r converts the files below it";
            return gathered;
        }
        for (TreeFile& file : CollectTreeFiles(name, source.selection, gathered.unreadable))
            gathered.inputs.push_back({std::move(file.path), std::move(file.relative)});
    }
    if (source.shardCount > 0) {
        std::sort(gathered.inputs.begin(), gathered.inputs.end(),
                  [](const BatchInput& a, const BatchInput& b) { return a.path < b.path; });
        const auto [first, last] = ShardRange(gathered.inputs.size(), source.shardIndex, source.shardCount);
        gathered.inputs.erase(gathered.inputs.begin() + static_cast<ptrdiff_t>(last), gathered.inputs.end());
        gathered.inputs.erase(gathered.inputs.begin(), gathered.inputs.begin() + static_cast<ptrdiff_t>(first));
    }
    return gathered;
}

std::string MirroredTarget(const std::string& outputFolder, const std::string& relative, const std::string& extension) {
    // Only "/" separates here: a backslash is part of a Linux file name.
    const size_t slash = relative.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = relative.rfind('.');
    const size_t nameEnd = dot == std::string::npos || dot <= nameStart ? relative.size() : dot;
    return PathInFolder(outputFolder, relative.substr(0, nameEnd) + "." + extension);
}
