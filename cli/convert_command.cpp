#include "cli/convert_command.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>

#include "cli/standard_streams.h"
#include "cli/terminal.h"
#include "core/messages.h"
#include "formats/dispatch.h"
#include "formats/signature.h"
#include "jobs/batch_convert.h"
#include "jobs/lossless_turn.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUsageError = 2;

bool IsDirectory(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool Exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

// A device or FIFO (/dev/full, /dev/null): written straight, in the format --format names.
bool IsDevice(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode));
}

int UsageError(const std::string& text) {
    std::fprintf(stderr, "lumo: %s\n", text.c_str());
    return kUsageError;
}

// Runs one file's conversion and prints its failure with the file's name. False too for an unknown
// extension, which the dispatch has named.
bool ConvertReporting(size_t i, const std::string& file, const std::function<bool()>& convert) {
    bool written = false;
    const std::optional<FileFailure> failure = TryFileWork(i, file, [&] { written = convert(); });
    if (failure) ReportFileError(failure->file, FailureText(*failure));
    return written;
}

// One input to one output; shown is the input's name in messages (the scratch copy of standard input
// is named "-").
int ConvertOne(const std::string& input, const std::string& shown, const std::string& output,
               const ImageTransform& transform, const std::string& format = "", bool verify = false) {
    SetCurrentFile(shown, 0, 1);
    const bool written =
        ConvertReporting(0, shown, [&] { return ConvertFile(input, output, transform, format, verify); });
    ClearProgressLine();
    return written ? 0 : kFailed;
}

// What makes a --lossless request unusable (before anything is written), or nothing. An input that
// does not exist is left to fail as a file of its own.
std::optional<std::string> LosslessProblem(const ConvertRequest& request) {
    if (!OnlyTurns(request.transform)) return "--lossless only turns and mirrors: not with --rescale, --resize, --to or --to-srgb";
    const bool toFile = request.inputs.size() == 1 && !request.format && !IsDirectory(request.output);
    if (toFile ? !IsJpegName(request.output) : !IsJpegName("x." + request.format.value_or("jpg")))
        return "--lossless writes JPEG files only (.jpg or .jpeg)";
    for (const std::string& input : request.inputs)
        if (input != "-" && Exists(input) && !IsDirectory(input) && FileSignature(input.c_str()).extension != "jpg")
            return "--lossless turns JPEG files only, and " + input + " is not one: nothing converted";
    return std::nullopt;
}

// "-" as input or output: through a scratch folder, the input's format told by its signature.
int ConvertStreams(const ConvertRequest& request) {
    const bool fromStdin = request.inputs.front() == "-", toStdout = request.output == "-";
    ScratchFolder scratch;
    if (!scratch.made()) {
        std::fprintf(stderr, "lumo: can't make a temporary folder: %s\n", std::strerror(errno));
        return kFailed;
    }
    std::string input = request.inputs.front(), error;
    if (fromStdin) {
        input = scratch.file("input");
        if (!SaveStandardInput(input, error)) {
            ReportFileError("-", "Error reading standard input: " + error);
            return kFailed;
        }
        if (FileSignature(input.c_str()).extension.empty()) {
            ReportFileError("-", "the format of standard input is not known (IMG and fax files need a file name)");
            return kFailed;
        }
        if (request.transform.lossless && FileSignature(input.c_str()).extension != "jpg")
            return UsageError("--lossless turns JPEG files only, and standard input is not one: nothing converted");
    }
    const std::string output = toStdout ? scratch.file("output." + *request.format) : request.output;
    const int status = ConvertOne(input, request.inputs.front(), output, request.transform);
    if (status != 0 || !toStdout) return status;
    if (!CopyToStandardOutput(output, error)) {
        ReportFileError("-", "Error writing standard output: " + error);
        return kFailed;
    }
    return 0;
}

}  // namespace

int RunConvert(ConvertRequest request) {
    if (request.format) {
        std::string& format = *request.format;
        if (!format.empty() && format.front() == '.') format.erase(0, 1);
        if (format.empty() || !HasSaverFor(("x." + format).c_str()))
            return UsageError("--format: no format is written as \"" + format + "\" (" + WritableExtensions() + ")");
    }
    if (request.transform.lossless)
        if (const std::optional<std::string> problem = LosslessProblem(request)) return UsageError(*problem);
    const bool fromStdin = std::find(request.inputs.begin(), request.inputs.end(), "-") != request.inputs.end();
    const bool toStdout = request.output == "-";
    const bool listed = request.source.recursive || !request.source.filesFrom.empty() || request.source.shardCount > 0;
    if (listed && (fromStdin || toStdout))
        return UsageError("-r, --files-from and --shard convert files into -o FOLDER, not \"-\"");
    if (fromStdin || toStdout) {
        if (request.inputs.size() > 1) return UsageError("\"-\" takes one input only");
        if (toStdout && !request.format) return UsageError("-o - needs --format to name the output's format");
        return ConvertStreams(request);
    }
    if (request.inputs.empty() && request.source.filesFrom.empty())
        return UsageError("convert needs INPUT files or --files-from LIST");
    if (listed) {
        if (Exists(request.output) && !IsDirectory(request.output))
            return UsageError("-r, --files-from and --shard write into -o FOLDER, and " + request.output +
                              " is a file: nothing converted");
        return RunConvertBatch(request);
    }
    if (!request.logPath.empty() || !request.resumePath.empty())
        if (request.inputs.size() == 1 && !IsDirectory(request.output) && !request.format)
            return UsageError("--log and --resume record batches: give -o FOLDER");
    const bool several = request.inputs.size() > 1;
    if (several && Exists(request.output) && !IsDirectory(request.output))
        return UsageError("several inputs need -o FOLDER, and " + request.output + " is a file: nothing converted");
    if (several && !Exists(request.output) && HasSaverFor(request.output.c_str()))
        return UsageError("several inputs need -o FOLDER, not the file name " + request.output + ": nothing converted");
    if (!several && IsDevice(request.output)) {
        if (!request.format) return UsageError("-o " + request.output + " needs --format to name the output's format");
        return ConvertOne(request.inputs.front(), request.inputs.front(), request.output, request.transform,
                          *request.format);
    }
    if (request.format && !IsDirectory(request.output) && HasSaverFor(request.output.c_str()))
        return UsageError("--format writes into the folder -o names, and " + request.output +
                          " is a file name: nothing converted");
    if (several || request.format || IsDirectory(request.output)) return RunConvertBatch(request);
    return ConvertOne(request.inputs.front(), request.inputs.front(), request.output, request.transform, "",
                      request.verify);
}
