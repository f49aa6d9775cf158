#include "cli/info_command.h"

#include <cstdio>

#include "cli/terminal.h"
#include "core/messages.h"
#include "formats/dispatch.h"

int RunInfo(const std::vector<std::string>& files) {
    int status = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        SetCurrentFile(files[i], i, files.size());
        try {
            ImagePtr image = LoadImageByExtension(files[i].c_str());
            ClearProgressLine();
            if (!image) {
                status = 1;
                continue;
            }
            std::printf("%s: %dx%d %s\n", files[i].c_str(), image->width, image->height, KindName(KindOf(*image)));
        } catch (const LumoFailure& failure) {
            ReportFileError(files[i], std::string(failure.text()) + " (module " + failure.module() + ")");
            status = 1;
        }
    }
    return status;
}
