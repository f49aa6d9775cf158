// lumo: the command-line front end: "info" describes files, "convert" converts them, "mosaic" makes
// contact sheets of them, "settings" shows or changes the user's settings.
#include <CLI/CLI.hpp>
#include <span>

#include "cli/convert_command.h"
#include "cli/help_text.h"
#include "cli/info_command.h"
#include "cli/mosaic_command.h"
#include "cli/settings_command.h"
#include "cli/terminal.h"
#include "core/memory.h"
#include "formats/gif/gif.h"
#include "formats/tiff/tiff.h"
#include "formats/webp/webp.h"
#include "jobs/contact_sheet.h"
#include "platform/heap_reuse.h"

int main(int argc, char** argv) {
    ReuseHeapForLargeBlocks();
    CLI::App app{"Lumo image converter", "lumo"};
    app.require_subcommand(1);
    app.set_version_flag("--version", VersionText(), "Print the version and exit");
    app.footer(HelpReference());

    std::vector<std::string> infoFiles, settings;
    CLI::App* info = app.add_subcommand("info", "Print the size and kind of each file");
    info->add_option("FILE", infoFiles, "Image files")->required();
    info->add_option("--set", settings, "Override a profile key for this run: KEY=VALUE")->allow_extra_args(false);

    ConvertRequest request;
    CLI::App* convert = app.add_subcommand("convert", "Convert files to the format of the output's extension");
    convert->add_option("INPUT", request.inputs, "Image files to convert (folders with -r); - reads standard input");
    convert
        ->add_option("-o,--output", request.output,
                     "Output file; the folder of several inputs (made when missing); - writes standard output")
        ->required();
    convert->add_option("--format", request.format,
                        "Extension of a batch's output files (bmp or .bmp; default jpg), or of -o -");
    convert->add_option("--set", settings, "Override a profile key for this run: KEY=VALUE")->allow_extra_args(false);
    convert
        ->add_option_function<std::string>(
            "--quality", [&](const std::string& quality) { settings.push_back("JpegQuality=" + quality); },
            "JPEG quality, 10 to 100 (the JpegQuality setting for this run)")
        ->type_name("N");
    convert->add_flag_callback(
        "--strip", [&] { settings.push_back("KeepMetadata=0"); },
        "Write no Exif, XMP, colour profile or comment (the KeepMetadata setting 0 for this run)");
    convert->add_flag("--to-srgb", request.transform.toSrgb,
                      "Convert pictures with an embedded colour profile to sRGB (after --rotate and --flip, "
                      "before --rescale); the result carries no profile");
    convert->add_option("-j,--jobs", request.jobs, "Number of worker processes")->check(CLI::Range(1, 256));
    convert->add_flag("--keep-going", request.keepGoing, "Go on after a file fails");
    BatchSource& source = request.source;
    convert->add_flag("-r,--recursive", source.recursive,
                      "Convert the files below the INPUT folders, each written at its relative path under -o");
    convert->add_flag("--follow", source.selection.followLinks, "With -r, follow symbolic links to files and folders");
    convert->add_option("--include", source.selection.include,
                        "With -r, take the files whose name (or relative path, for a pattern with /) matches "
                        "(* and ?, case ignored) in place of the readable extensions; repeatable")
        ->type_name("PATTERN")
        ->allow_extra_args(false);
    convert->add_option("--exclude", source.selection.exclude,
                        "With -r, leave out the files and folders that match; repeatable")
        ->type_name("PATTERN")
        ->allow_extra_args(false);
    convert->add_option("--files-from", source.filesFrom,
                        "Convert the files (or, with -r, folders) named in LIST, one per line; - reads standard input")
        ->type_name("LIST");
    convert->add_flag("-0,--null", source.nulSeparated, "The names of --files-from end with NUL bytes (find -print0)");
    convert
        ->add_option_function<std::string>(
            "--shard",
            [&](const std::string& shard) {
                if (!ParseShard(shard, source.shardIndex, source.shardCount))
                    throw CLI::ValidationError("--shard", "needs K/N with 1 <= K <= N, not " + shard);
            },
            "Convert slice K of N of the sorted inputs (one run per machine or array task)")
        ->type_name("K/N");
    convert->add_option("--log", request.logPath,
                        "Append one JSON line per file (input, output, status, reason, bytes, ms) to FILE")
        ->type_name("FILE");
    convert->add_option("--resume", request.resumePath,
                        "Skip the files FILE logs as done whose output is still there with its logged size, and "
                        "go on logging to FILE")
        ->type_name("FILE");
    convert->add_flag("--verify", request.verify,
                      "Load every lossless output (BMP, PNG, TIFF, GIF, MOK, JBIG, IMG) again and compare its pixels");
    convert->add_flag("-q,--quiet", request.quiet, "No progress line and no summary; errors are still shown");
    convert->add_flag("--exact-scale", request.transform.exactScale,
                      "Decode JPEGs at full size before --rescale (slower; otherwise a shrink by 2 or more "
                      "decodes at 1/2, 1/4 or 1/8)");
    convert
        ->add_option_function<std::string>(
            "--to",
            [&](const std::string& word) {
                request.transform.kind = ParseKind(word);
                if (!request.transform.kind) throw CLI::ValidationError("--to", "unknown kind " + word);
            },
            "Convert to bw, gray16, gray256, color16, color256 or rgb")
        ->type_name("KIND");
    convert
        ->add_option_function<std::string>(
            "--rescale",
            [&](const std::string& size) {
                if (!ParseSize(size, request.transform.width, request.transform.height))
                    throw CLI::ValidationError("--rescale", "needs WIDTHxHEIGHT, not " + size);
            },
            "Rescale to WIDTHxHEIGHT (after --rotate and --flip, before --to)")
        ->type_name("WxH");
    convert
        ->add_option_function<std::string>(
            "--resize",
            [&](const std::string& size) {
                if (!ParseResize(size, request.transform))
                    throw CLI::ValidationError("--resize", "needs 50%, 800x, x600, 800x600 or 800x600!, not " + size);
            },
            "Resize by percent (50%), to a width or height keeping the aspect (800x, x600), to fit inside "
            "(800x600) or exactly (800x600!); in place of --rescale")
        ->type_name("SIZE");
    convert
        ->add_option_function<std::string>(
            "--rotate",
            [&](const std::string& degrees) {
                request.transform.rotation = ParseRotation(degrees);
                if (!request.transform.rotation)
                    throw CLI::ValidationError("--rotate", "needs 90, 180 or 270, not " + degrees);
            },
            "Turn clockwise by 90, 180 or 270 degrees (first of all)")
        ->type_name("DEGREES");
    convert
        ->add_option_function<std::string>(
            "--flip",
            [&](const std::string& direction) {
                request.transform.flip = ParseFlip(direction);
                if (!request.transform.flip) throw CLI::ValidationError("--flip", "needs h or v, not " + direction);
            },
            "Mirror left to right (h) or top to bottom (v), after --rotate")
        ->type_name("h|v");
    int page = 1;
    convert->add_option("--page", page, "The page of multi-page TIFF files to convert (from 1)")
        ->check(CLI::Range(1, 100000))
        ->type_name("N");
    int frame = 0;
    convert->add_option("--frame", frame,
                        "Convert frame N (from 1) of animated GIF and WebP files, composed on the whole screen as it shows")
        ->check(CLI::Range(1, 1000000))
        ->type_name("N");
    convert->add_flag("--lossless", request.transform.lossless,
                      "JPEG to JPEG: --rotate and --flip move the compressed blocks, never recompressing "
                      "(edge blocks that cannot turn are trimmed, with a warning)");

    MosaicRequest mosaicRequest;
    CLI::App* mosaic = app.add_subcommand("mosaic", "Make contact sheets (-mosaic.jpg, -mosaic2.jpg, ...) with their index files");
    mosaic->add_option("FILE", mosaicRequest.files,
                       "Image files, placed in this order (folders with -r); with --update, pictures to add");
    mosaic->add_option("--update", mosaicRequest.update,
                       "Bring SHEET up to date from the cell table it carries: only changed cells are made again")
        ->type_name("SHEET");
    // The sizes the viewer's dialog offers, as "640x480", ...
    const auto sizeOption = [](CLI::App* command, const char* name, PixelSize& size,
                               std::span<const PixelSize> offered, const char* help) {
        std::vector<std::string> allowed;
        for (const PixelSize& choice : offered)
            allowed.push_back(std::to_string(choice.width) + "x" + std::to_string(choice.height));
        command
            ->add_option_function<std::string>(
                name,
                [&size](std::string text) {
                    for (char& c : text) c = c == 'X' ? 'x' : c;  // "128X96" as the dialog spells it
                    ParseSize(text, size.width, size.height);
                },
                help)
            ->type_name("WxH")
            ->check(CLI::IsMember(std::move(allowed), CLI::ignore_case));
    };
    sizeOption(mosaic, "--sheet", mosaicRequest.sheet, kSheetSizes,
               "Largest sheet: 640x480 (default), 800x600 or 1024x768");
    sizeOption(mosaic, "--cell", mosaicRequest.cell, kCellSizes,
               "Thumbnail cell: 80x60 (default), 128x96 or 160x120");
    mosaic->add_option("-o,--output", mosaicRequest.outputFolder, "Folder of the sheets (default: the current one)");
    mosaic->add_option("--set", settings, "Override a profile key for this run: KEY=VALUE")->allow_extra_args(false);
    mosaic->add_option("-j,--jobs", mosaicRequest.jobs, "Number of processes loading thumbnails")
        ->check(CLI::Range(1, 256));
    mosaic->add_flag("-r,--recursive", mosaicRequest.recursive,
                     "FILE names folders: one sheet set per folder below them, in that folder (or its mirror under -o)");
    mosaic->add_flag("--follow", mosaicRequest.selection.followLinks, "With -r, follow symbolic links");
    mosaic->add_option("--exclude", mosaicRequest.selection.exclude, "With -r, leave out matching files and folders")
        ->type_name("PATTERN")
        ->allow_extra_args(false);

    std::vector<std::string> assignments;
    CLI::App* settingsCommand =
        app.add_subcommand("settings", "Show every profile key with its value and default, or set keys");
    settingsCommand
        ->add_option("ASSIGNMENT", assignments, "Keys to write, each checked first; none written if one is refused")
        ->type_name("KEY=VALUE");

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& success) {
        return app.exit(success);
    } catch (const CLI::ParseError& error) {
        app.exit(error);
        return 2;
    }

    if (settingsCommand->parsed()) return RunSettings(assignments);
    if (!ApplyProfileOverrides(settings)) return 2;
    InstallTerminalReporting();
    if (convert->parsed()) SetQuiet(request.quiet);
    LumoSetIntOptionTiff("page", page);
    LumoSetIntOptionGif("frame", frame);
    LumoSetIntOptionWebp("frame", frame);
    const int status = info->parsed()     ? RunInfo(infoFiles)
                       : mosaic->parsed() ? RunMosaic(mosaicRequest)
                                          : RunConvert(std::move(request));
    EndLumo();
    return status;
}
