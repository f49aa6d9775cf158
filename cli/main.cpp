// lumo: the command-line front end: "info" describes files, "convert" converts them, "settings"
// shows or changes the user's settings.
#include <CLI/CLI.hpp>

#include "cli/convert_command.h"
#include "cli/info_command.h"
#include "cli/settings_command.h"
#include "cli/terminal.h"
#include "core/memory.h"

int main(int argc, char** argv) {
    CLI::App app{"Lumo image converter"};
    app.require_subcommand(1);

    std::vector<std::string> infoFiles, settings;
    CLI::App* info = app.add_subcommand("info", "Print the size and kind of each file");
    info->add_option("FILE", infoFiles, "Image files")->required();
    info->add_option("--set", settings, "Override a profile key for this run: KEY=VALUE")->allow_extra_args(false);

    ConvertRequest request;
    CLI::App* convert = app.add_subcommand("convert", "Convert files to the format of the output's extension");
    convert->add_option("INPUT", request.inputs, "Image files to convert")->required();
    convert->add_option("-o,--output", request.output, "Output file, or the folder of a batch")->required();
    convert->add_option("--format", request.format, "Extension of a batch's output files (default jpg)");
    convert->add_option("--set", settings, "Override a profile key for this run: KEY=VALUE")->allow_extra_args(false);
    convert->add_option("-j,--jobs", request.jobs, "Number of worker processes")->check(CLI::Range(1, 256));
    convert->add_flag("--keep-going", request.keepGoing, "Go on after a file fails");
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
    const int status = info->parsed() ? RunInfo(infoFiles) : RunConvert(request);
    EndLumo();
    return status;
}
