#include "jobs/batch_convert.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "core/messages.h"
#include "formats/dispatch.h"
#include "formats/jpeg/jpeg.h"
#include "formats/signature.h"
#include "jobs/lossless_turn.h"
#include "jobs/output_check.h"
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

bool ConvertFile(const std::string& source, const std::string& target, const ImageTransform& transform,
                 const std::string& format, bool verify) {
    if (transform.lossless) {
        LumoTurnJpegFile(source.c_str(), target.c_str(), UserJpegTurn(TurnOf(transform)));
        return true;
    }
    ImagePtr image = LoadForTransform(source, transform);
    // No loader: the dispatch has named the unknown extension. A loader that found no picture (a fax
    // loader that recognises no coding) has said nothing: the conversion fails with a reason.
    if (!image && (HasLoaderFor(source.c_str()) || !FileSignature(source.c_str()).extension.empty()))
        LumoError("ConvertFile", "No picture found in %s", source.c_str());
    if (!image) return false;
    image = ApplyTransform(std::move(image), transform);
    const bool saved = format.empty() ? SaveImageByExtension(image.get(), target.c_str())
                                      : SaveImageAs(image.get(), target.c_str(), format);
    if (saved && verify) {
        std::string extension = format.empty() ? SplitFileName(target).extension : format;
        for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        // A file that does not hold what was saved does not stay under the target's name.
        if (SavesExactly(extension, *image)) {
            try {
                VerifySavedPicture(target, extension, *image);
            } catch (const LumoFailure&) {
                std::remove(target.c_str());
                throw;
            }
        }
    }
    return saved;
}

std::string PathInFolder(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/' || folder.back() == '\\') return folder + name;
    return folder + "/" + name;
}

std::string BatchTargetName(const std::string& destinationFolder, const std::string& file, const std::string& extension) {
    return PathInFolder(destinationFolder, SplitFileName(file).baseName + "." + extension);
}

std::string BatchTarget(const BatchRequest& request, size_t index) {
    if (!request.targets.empty()) return request.targets[index];
    return BatchTargetName(request.destinationFolder, request.files[index], request.extension);
}

std::optional<std::pair<size_t, size_t>> FindSharedTarget(const BatchRequest& request) {
    std::unordered_map<std::string, size_t> firstWriter;
    for (size_t i = 0; i < request.files.size(); ++i) {
        const auto [at, added] = firstWriter.emplace(BatchTarget(request, i), i);
        if (!added) return std::pair{at->second, i};
    }
    return std::nullopt;
}

bool ConvertBatchFile(const BatchRequest& request, size_t index) {
    const std::string& file = request.files[index];
    return ConvertFile(PathInFolder(request.sourceFolder, file), BatchTarget(request, index), request.transform, "",
                       request.verify);
}

BatchResult RunBatchConvert(const BatchRequest& request) {
    const ProgressBarOff progressOff;
    BatchResult result;
    // Two files that would be written under one name: the second would replace the first's output.
    if (const auto shared = FindSharedTarget(request)) {
        const std::string& second = request.files[shared->second];
        result.failures.push_back(FileFailure{shared->second, second, "",
                                              request.files[shared->first] + " and " + second +
                                                  " would both be written as " + BatchTarget(request, shared->second)});
        return result;
    }
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
        result.written.push_back(BatchTarget(request, i));
    }
    return result;
}
