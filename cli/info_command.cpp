#include "cli/info_command.h"

#include <cstdio>

#include "cli/terminal.h"
#include "core/messages.h"
#include "formats/image_info.h"

int RunInfo(const std::vector<std::string>& files) {
    int status = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        SetCurrentFile(files[i], i, files.size());
        try {
            const std::optional<ImageInfo> info = ReadImageInfo(files[i].c_str());
            ClearProgressLine();
            if (!info) {
                status = 1;
                continue;
            }
            std::printf("%s: %dx%d %s\n", files[i].c_str(), info->width, info->height, KindName(info->kind));
        } catch (const LumoFailure& failure) {
            ReportFileError(files[i], std::string(failure.text()) + " (module " + failure.module() + ")");
            status = 1;
        }
    }
    return status;
}
