// lumo mosaic: contact sheets of the given files, written as the viewer writes them.
#pragma once

#include <string>
#include <vector>

#include "jobs/file_tree.h"
#include "jobs/thumbnail.h"

struct MosaicRequest {
    std::vector<std::string> files;
    PixelSize sheet{640, 480};
    PixelSize cell{80, 60};
    std::string outputFolder;  // empty: the current directory
    int jobs = 1;              // processes loading thumbnails; the placing stays in this one
    bool recursive = false;    // files are folders: one sheet set per folder below them that holds pictures
    TreeSelection selection;   // which files below the folders are taken
    std::string update;        // a sheet to bring up to date (files are then pictures to add), or empty
};

// Builds the sheets, prints one line per sheet written, and yields the exit status: 0 when every file
// was processed, 1 when one stopped the run (the sheets made until then are kept), 2 unusable request.
// With recursive, each folder's sheets go into that folder, or into its mirror below outputFolder.
// With update, the sheet is brought up to date (jobs/sheet_update.h) and one line says what was done.
int RunMosaic(const MosaicRequest& request);
