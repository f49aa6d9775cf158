// The batch converter: files of a source folder turned into one output format under the same base
// names in a destination folder. The viewer's batch converter and `lumo convert` share the per-file
// work (ConvertFile) and the naming.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "jobs/run_report.h"
#include "jobs/transform.h"

struct OutputFormat {
    const char* name;       // as the format list shows it
    const char* extension;  // the extension written
};
// The output formats, in the order of the list; the first is the default.
constexpr OutputFormat kBatchOutputFormats[] = {{"Jpeg", "jpg"}, {"Tiff", "tif"}, {"Gif", "gif"},
                                               {"Bmp", "bmp"},  {"Jbig", "bie"}, {"PostScript", "ps"},
                                               {"Mok", "mok"},  {"Png", "png"},  {"Webp", "webp"},
                                               {"Avif", "avif"}, {"Jxl", "jxl"}};

// The per-file work of every conversion: loads by the source's extension, applies the transform, saves
// by the target's extension (the dispatch sets every codec option from the profile). The source is read
// whole before the target is written, so a file may be converted onto itself. False when an extension
// is unknown (the dispatch has shown its message box); codec failures, and a loader that finds no
// picture ("No picture found in %s", module ConvertFile), are LumoFailure.
// A format given (an extension) is written whatever the target's name. A lossless transform turns the
// JPEG source into the JPEG target without decoding it (the caller has checked both are JPEG).
// With verify, an output whose format keeps every pixel (SavesExactly) is loaded again and compared;
// one that differs is removed, and the conversion fails with the difference.
bool ConvertFile(const std::string& source, const std::string& target, const ImageTransform& transform = {},
                 const std::string& format = "", bool verify = false);

// "FOLDER/NAME": the folder with a separator added unless it ends with one; NAME alone for an empty folder.
std::string PathInFolder(const std::string& folder, const std::string& name);
// The target of a file: the destination folder, the file's base name, the extension.
std::string BatchTargetName(const std::string& destinationFolder, const std::string& file, const std::string& extension);

struct BatchRequest {
    std::string sourceFolder;         // the files' folder; empty when the files are paths already
    std::vector<std::string> files;   // names as chosen, in order
    std::vector<std::string> targets; // when not empty, each file's target in place of BatchTargetName's
    std::string destinationFolder;    // empty: the current directory
    std::string extension = "jpg";    // of the output format
    ImageTransform transform;         // lumo convert's --rescale and --to; nothing in the viewer
    bool keepGoing = false;           // go on after a failed file (lumo convert --keep-going)
    bool verify = false;              // lumo convert --verify
    FileStep onFile;                  // optional: called before each file, after its status text
};

struct BatchResult {
    size_t converted = 0;                // files written
    std::vector<std::string> written;    // their targets, in order
    std::vector<FileFailure> failures;   // in order; without keepGoing at most one, the files after it untried
};

// The first two files of the request that would be written to the same target (the same base name
// from different folders or extensions, or a file listed twice), as their indexes; nothing when every
// target is different. A batch checks this before it writes anything.
std::optional<std::pair<size_t, size_t>> FindSharedTarget(const BatchRequest& request);

// The target of file index: its entry of targets, else BatchTargetName's.
std::string BatchTarget(const BatchRequest& request, size_t index);

// Converts file index of the request (the source path and target as BatchTargetName builds them).
// What a worker process runs; false for an unknown extension, LumoFailure for a codec failure.
bool ConvertBatchFile(const BatchRequest& request, size_t index);

// Runs the whole batch: for each file (from 1) the status text "Converting file %s (%d/%d)" is shown
// and the file converted; "showprogress" is 0 during the run and restored afterwards. Files that
// would share a target stop the run before anything is written (one failure naming both).
BatchResult RunBatchConvert(const BatchRequest& request);
