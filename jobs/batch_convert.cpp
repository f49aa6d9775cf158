#include "jobs/batch_convert.h"

#include <cstring>

#include "core/messages.h"
#include "formats/dispatch.h"
#include "formats/jpeg/jpeg.h"
#include "jobs/thumbnail.h"

namespace {

// True when the profile's JpegRatio asks for reduced JPEG loads already: that setting is kept as it is.
bool ProfileReducesJpegs() {
    for (const ProfileKey& key : JpegProfileKeys())
        if (std::strcmp(key.option, "ratio") == 0) return ReadProfileKeyInt(key) != 1;
    return false;
}

// Loads the source; a JPEG that the rescale shrinks 2x or more both ways is decoded reduced (at
// least the target size), which is most of the work saved on a thumbnail.
ImagePtr LoadForTransform(const std::string& source, const ImageTransform& transform) {
    if (transform.width <= 0 || transform.exactScale || ProfileReducesJpegs())
        return LoadImageByExtension(source.c_str());
    // The target refers to the turned picture: before a quarter turn its sides are swapped.
    const bool quarterTurn =
        transform.rotation == Orientation::RotateRight || transform.rotation == Orientation::RotateLeft;
    const PixelSize target = quarterTurn ? PixelSize{transform.height, transform.width}
                                         : PixelSize{transform.width, transform.height};
    const ReducedJpegDecode reduced(target);
    return LoadImageByExtension(source.c_str());
}

}  // namespace

bool ConvertFile(const std::string& source, const std::string& target, const ImageTransform& transform) {
    ImagePtr image = LoadForTransform(source, transform);
    if (!image) return false;  // the dispatch has named the unknown extension
    image = ApplyTransform(std::move(image), transform);
    return SaveImageByExtension(image.get(), target.c_str());
}

std::string PathInFolder(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/' || folder.back() == '\\') return folder + name;
    return folder + "/" + name;
}

std::string BatchTargetName(const std::string& destinationFolder, const std::string& file, const std::string& extension) {
    return PathInFolder(destinationFolder, SplitFileName(file).baseName + "." + extension);
}

bool ConvertBatchFile(const BatchRequest& request, size_t index) {
    const std::string& file = request.files[index];
    return ConvertFile(PathInFolder(request.sourceFolder, file),
                       BatchTargetName(request.destinationFolder, file, request.extension), request.transform);
}

BatchResult RunBatchConvert(const BatchRequest& request) {
    const ProgressBarOff progressOff;
    BatchResult result;
    const size_t count = request.files.size();
    for (size_t i = 0; i < count; ++i) {
        const std::string& file = request.files[i];
        ShowFileStatus("Converting file %s (%d/%d)", file, i, count);
        if (request.onFile) request.onFile(i, count, file);
        bool written = false;
        std::optional<FileFailure> failure = TryFileWork(i, file, [&] { written = ConvertBatchFile(request, i); });
        // An extension without a loader or saver: the dispatch has named it in its message box.
        if (!failure && !written) failure = FileFailure{i, file, "", "Unknown file extension"};
        if (failure) {
            result.failures.push_back(std::move(*failure));
            if (!request.keepGoing) break;
            continue;
        }
        ++result.converted;
        result.written.push_back(BatchTargetName(request.destinationFolder, file, request.extension));
    }
    return result;
}
