#include "jobs/file_tree.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <set>
#include <utility>

#include "formats/dispatch.h"
#include "jobs/file_lists.h"

namespace {

using FolderId = std::pair<dev_t, ino_t>;

struct Walk {
    const TreeSelection& selection;
    std::vector<TreeFile>& files;
    std::vector<std::string>& unreadable;
    std::set<FolderId> walking;  // the folders on the way down, so that a followed link cannot loop
    bool skipKnown = false;
    FolderId skip{};

    bool excluded(const std::string& relative) const {
        return std::any_of(selection.exclude.begin(), selection.exclude.end(),
                           [&](const std::string& pattern) { return TreePatternMatches(relative, pattern); });
    }
    bool chosen(const std::string& relative) const {
        if (selection.include.empty()) return HasLoaderFor(relative.c_str());
        return std::any_of(selection.include.begin(), selection.include.end(),
                           [&](const std::string& pattern) { return TreePatternMatches(relative, pattern); });
    }

    void folder(const std::string& path, const std::string& relative, const struct stat& info) {
        const FolderId id{info.st_dev, info.st_ino};
        if ((skipKnown && id == skip) || !walking.insert(id).second) return;
        std::vector<std::string> names;
        {
            const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.c_str()), ::closedir);
            if (!dir) {
                unreadable.push_back(path);
                walking.erase(id);
                return;
            }
            while (const dirent* entry = ::readdir(dir.get())) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") names.push_back(name);
            }
        }
        std::sort(names.begin(), names.end(), ListOrder);
        for (const std::string& name : names) {
            const std::string childPath = path + (path.back() == '/' ? "" : "/") + name;
            const std::string childRelative = relative.empty() ? name : relative + "/" + name;
            struct stat child;
            if (::lstat(childPath.c_str(), &child) != 0) continue;
            if (S_ISLNK(child.st_mode) && (!selection.followLinks || ::stat(childPath.c_str(), &child) != 0)) continue;
            if (excluded(childRelative)) continue;
            if (S_ISDIR(child.st_mode)) folder(childPath, childRelative, child);
            else if (S_ISREG(child.st_mode) && chosen(childRelative)) files.push_back({childPath, childRelative});
        }
        walking.erase(id);
    }
};

}  // namespace

bool TreePatternMatches(const std::string& relative, const std::string& pattern) {
    if (pattern.find('/') != std::string::npos) return MatchesPattern(relative, pattern.c_str());
    const size_t slash = relative.rfind('/');
    return MatchesPattern(slash == std::string::npos ? relative : relative.substr(slash + 1), pattern.c_str());
}

std::vector<TreeFile> CollectTreeFiles(const std::string& root, const TreeSelection& selection,
                                       std::vector<std::string>& unreadable) {
    std::vector<TreeFile> files;
    Walk walk{selection, files, unreadable, {}};
    struct stat info;
    if (!selection.skipFolder.empty() && ::stat(selection.skipFolder.c_str(), &info) == 0) {
        walk.skipKnown = true;
        walk.skip = {info.st_dev, info.st_ino};
    }
    if (::stat(root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        unreadable.push_back(root);
        return files;
    }
    walk.folder(root, "", info);
    return files;
}
