// The files of folders of folders, for batches over an archive: every file the dispatch reads (by its
// extension, in any case) or that the include patterns name, less the excluded ones, found by walking
// each folder to the bottom.
#pragma once

#include <string>
#include <vector>

struct TreeSelection {
    bool followLinks = false;          // symbolic links to files and folders are passed over unless set
    std::vector<std::string> include;  // when not empty, these patterns choose the files in place of the extensions
    std::vector<std::string> exclude;  // files and folders left out, with all they hold
    std::string skipFolder;            // a folder never walked into (the batch's output folder), or empty
};

struct TreeFile {
    std::string path;      // the root joined with the relative name, as opened
    std::string relative;  // below the root, with "/" between the folders
};

// True when the pattern ("*" any run, "?" one character, ASCII case ignored) matches the relative
// name, or, for a pattern without "/", its last part.
bool TreePatternMatches(const std::string& relative, const std::string& pattern);

// The chosen files below root, sorted by relative name (folders' files in the order of their names,
// case ignored first). A folder that cannot be read is named in unreadable and passed over; links
// followed into a folder already being walked are not walked again.
std::vector<TreeFile> CollectTreeFiles(const std::string& root, const TreeSelection& selection,
                                       std::vector<std::string>& unreadable);
