// Photo CD: loads one picture of an image pack as RGB at one of five sizes (192x128 to 3072x2048),
// and builds the 960x640 overview sheet of an overview file's thumbnails. Read only.
#pragma once

#include <optional>
#include <span>

#include "core/image.h"
#include "formats/image_info.h"
#include "formats/input_file.h"
#include "formats/layered_load.h"
#include "formats/pcd/pcd_overview.h"
#include "formats/profile_key.h"

// Loads with the current options; the module name of every error is "LumoLoadPcd". With "pcdsize"
// 6 a thumbnail number past the end of the file gives no image and no message.
ImagePtr LumoLoadPcd(const char* fileName);
// The same load of sizes 2 to 5 handing the smaller pictures of the pack to coarse first: 192x128,
// and before 3072x2048 also 768x512. Other sizes load directly.
ImagePtr LumoLoadPcdInLevels(const char* fileName, const CoarseLevelSink& coarse);
// The loader over an open file (the fuzz harness reads from memory this way).
ImagePtr LoadPcdFrom(InputFile& file);
// The size and kind a load with the current options gives, from the options and the orientation in
// the attribute sector, without reading pixels; none where the load gives no image (a thumbnail
// past the end of the file). The loader's refusals and read errors before the pixels.
std::optional<ImageInfo> ReadPcdInfo(const char* fileName);
std::optional<ImageInfo> ReadPcdInfoFrom(InputFile& file);

// A 960x640 sheet with up to 100 thumbnails of an overview file in cells of 96x64, ten to a row;
// records how many it placed (LoadPcdOverviewCount). Leaves "pcdsize" at 6.
ImagePtr LoadPcdOverview(const char* fileName);
// The sheet's size and kind (960x640 RGB, whatever the file holds), with the refusals the loads of
// its thumbnails make before they read: the sheet is only ever built from pictures of fixed size.
ImageInfo ReadPcdOverviewInfo(const char* fileName);

// Options: "pcdsize" (3): 1 = 192x128, 2 = 384x256, 3 = 768x512, 4 = 1536x1024, 5 = 3072x2048,
// 6 = one overview thumbnail; "numthumbnail" (0): which thumbnail size 6 loads; "crsubsampled" (1):
// 0 takes the chroma of sizes 1 to 4 at full resolution from the next larger picture of the file.
void LumoSetIntOptionPcd(const char* name, int value);
int LumoGetIntOptionPcd(const char* name);

// The profile keys of the Photo CD settings ("PcdSize", "PcdCrSubsampling"), with the options they set.
std::span<const ProfileKey> PcdProfileKeys();
