#include "viewer/commands/command_table.h"

#include <algorithm>

#include "viewer/commands/browse_commands.h"
#include "viewer/commands/clipboard_commands.h"
#include "viewer/commands/command_ids.h"
#include "viewer/commands/fit_commands.h"
#include "viewer/commands/help_commands.h"
#include "viewer/commands/image_commands.h"
#include "viewer/commands/orientation_commands.h"
#include "viewer/commands/option_commands.h"
#include "viewer/commands/print_commands.h"
#include "viewer/commands/properties_commands.h"
#include "viewer/commands/sheet_commands.h"
#include "viewer/commands/window_commands.h"

namespace {

using namespace command;

const CommandInfo kCommands[] = {
    {Open, "&Open image\tCtrl+F12", 5, 1, OpenImages},
    {Save, "&Save\tShft+F12", 11, 2, SaveImage},
    {SaveAs, "S&ave as...\tF12", 12, 3, SaveImageAs},
    {Print, "&Print...\tCtrl+Shft+F12", 10, 4, PrintActiveImage},
    {Close, "&Close\tCtrl+F4", 13, 5, CloseActiveWindow},
    {CloseAll, "C&lose All", 69, 20, CloseAllWindows},
    {Revert, "&Revert File", 70, 22, RevertImage},
    {Properties, "Propert&ies...", 87, 43, ShowImageProperties},  // no key: every key of the table stays free
    {Scan, "Sca&n...", 3, 28, ShowScanInfo},
    {BuildMosaic, "Build a &Mosaic File", 62, 7, BuildMosaicFiles},
    {BatchConvert, "Convert Files (&Batch)", 67, 8, ConvertFilesInBatch},
    {Quit, "&Quit\tAlt+F4", 7, 9, QuitViewer},
    {Rescale, "&Rescale", 61, 10, RescaleImage},
    {ToBW, "-> B/W", 55, 11, ConvertImage},
    {ToGray16, "-> Grayscale 16", 56, 11, ConvertImage},
    {ToGray256, "-> Grayscale 256", 57, 11, ConvertImage},
    {ToColor16, "-> 16 color", 58, 11, ConvertImage},
    {ToColor256, "-> 256 color", 59, 11, ConvertImage},
    {ToRGB, "-> 16.7 M color", 60, 11, ConvertImage},
    {RotateLeft, "Rotate &Left", 80, 40, TurnImage},
    {RotateRight, "Rotate R&ight", 81, 40, TurnImage},
    {FlipHorizontal, "Flip &Horizontal", 82, 40, TurnImage},
    {FlipVertical, "Flip &Vertical", 83, 40, TurnImage},
    {Copy, "Copy\tCtrl-X", 41, 19, CopyImage},
    {Paste, "Paste\tCtrl-V", 36, 6, PasteImage},
    {Zoom50, "Zoom 50 %", 51, 12, ZoomImage, 50},
    {Zoom100, "Zoom 100 %", 52, 12, ZoomImage, 100},
    {Zoom150, "Zoom 150 %", 53, 12, ZoomImage, 150},
    {Zoom200, "Zoom 200 %", 54, 12, ZoomImage, 200},
    {FullScreen, "Show &Full Screen\tF9", 68, 13, ShowFullScreen},
    // The menu shows the first key of these three beside the text.
    {FitToWindow, "Fit to &Window", 84, 41, FitToWindowCommand},
    {NextImage, "&Next Image", 85, 42, ShowNextImage},
    {PreviousImage, "&Previous Image", 86, 42, ShowPreviousImage},
    {ToolbarVisible, "&Toolbar visible", kToolbarShownHelp, 14, ToggleToolbar},  // 27 while the toolbar is hidden
    {JpegOptions, "&JPEG", 63, 15, EditOptions},
    {TiffOptions, "&TIFF", 64, 16, EditOptions},
    {GifOptions, "&GIF", 73, 25, EditOptions},
    {PostScriptOptions, "&PostScript", 65, 17, EditOptions},
    {PhotoCdOptions, "Photo &CD", 71, 23, EditOptions},
    {JbigOptions, "J&BIG", 4, -1, EditOptions},
    {MokOptions, "M&OK", 72, 24, EditOptions},
    {OtherOptions, "&Other", 66, 18, EditOptions},
    {Tile, "&Tile\tShft+F4", 23, -1, TileWindows},
    {Cascade, "&Cascade\tShft+F5", 24, -1, CascadeWindows},
    {ArrangeIcons, "&Arrange Icons", 25, -1, ArrangeWindowIcons},
    {HelpIndex, "&Index", 9, -1, ShowHelpIndex},
    {About, "&About...", 6, -1, ShowAbout},
    {HelpMode, "", 0, -1, EnterHelpMode},  // the help bitmap on the menu bar
};

constexpr int kSeparator = 0;
constexpr int kFileItems[] = {Open, Save, SaveAs, Print, Close, CloseAll, Revert, Properties, kSeparator, Scan,
                              kSeparator, BuildMosaic, BatchConvert, kSeparator, Quit};
constexpr int kEditItems[] = {Rescale, ToBW, ToGray16, ToGray256, ToColor16, ToColor256, ToRGB, kSeparator,
                              RotateLeft, RotateRight, FlipHorizontal, FlipVertical, kSeparator, Copy, Paste};
constexpr int kViewItems[] = {Zoom50, Zoom100, Zoom150, Zoom200, FitToWindow, kSeparator, FullScreen, ToolbarVisible,
                              kSeparator, NextImage, PreviousImage};
constexpr int kOptionItems[] = {JpegOptions, TiffOptions, GifOptions, PostScriptOptions,
                                PhotoCdOptions, JbigOptions, MokOptions, OtherOptions};
constexpr int kWindowItems[] = {Tile, Cascade, ArrangeIcons};
constexpr int kHelpItems[] = {HelpIndex, kSeparator, About};

// A leading backspace right-aligns the Help popup in a Windows menu bar; Qt's menu bar has no such
// control character, so the title goes without it and the popup simply comes last.
const MenuPopup kMainMenu[] = {
    {"&File", kFileItems},      {"&Edit", kEditItems},      {"&View", kViewItems},
    {"&Options", kOptionItems}, {"&Windows", kWindowItems}, {"&Help = F1", kHelpItems},
};

const Accelerator kAccelerators[] = {
    {"F1", HelpIndex},        {"Ctrl+F12", Open},    {"Shift+F12", Save},   {"F12", SaveAs},
    {"Ctrl+Shift+F12", Print}, {"Shift+F4", Tile},    {"Shift+F5", Cascade}, {"Ctrl+Ins", Copy},
    {"Shift+Ins", Paste},     {"F9", FullScreen},    {"Ctrl+X", Copy},      {"Ctrl+V", Paste},
    // Keys the desktop's other programs use for the same things; the zoom keys are the image window's.
    {"Ctrl+O", Open},         {"Ctrl+W", Close},     {"F", FitToWindow},
    {"Space", NextImage},     {"Alt+Right", NextImage}, {"Backspace", PreviousImage}, {"Alt+Left", PreviousImage},
};

const Accelerator kDocumentWindowKeys[] = {{"Ctrl+F4", Close}};

struct StringEntry {
    int id;
    const char* text;
};

const StringEntry kStrings[] = {
    {3, "Scan an image with a TWAIN scanner."},
    {4, "Options for JBIG"},
    {5, "Load an image"},
    {6, "About Lumo.."},
    {7, "Close Lumo application"},
    {9, "Help !!!"},
    {10, "Print the current image"},
    {11, "Save the current image"},
    {12, "Save the current image under a new name"},
    {13, "Close the current image"},
    {23, "Tile windows"},
    {24, "Cascade windows"},
    {25, "Arrange icons"},
    {26, "Remove Tool Bar"},
    {27, "Display Tool Bar"},
    {36, "Paste an image from the clipboard in a new window"},
    {41, "Copy the current image in the Clipboard"},
    {49, "Load this image"},
    {50, "Take this image as the current image"},
    {51, "50 % of the original size"},
    {52, "100 % of the original size"},
    {53, "150 % of the original size"},
    {54, "200 % of the original size"},
    {55, "Convert the current image to Black & White"},
    {56, "Convert the current image to Grayscale 16 levels"},
    {57, "Convert the current image to Grayscale 256 levels"},
    {58, "Convert the current image to a 16 color image"},
    {59, "Convert the current image to a 256 color image"},
    {60, "Convert the current image to RGB, 1.7 M color image"},
    {61, "Change the image size"},
    {62, "Build a \"mosaic\" image, containing reduced image"},
    {63, "Modify options concerning JPEG files"},
    {64, "Modify options concerning TIFF files"},
    {65, "Modify options concerning PostScript files"},
    {66, "Modify other options"},
    {67, "Convert a set of graphic files in a new format."},
    {68, "Show the current image full screen"},
    {69, "Close all the opened images"},
    {70, "Load the current file from disk. All the modifications done since last saving will be lost."},
    {71, "Modify options concerning Photo CD files"},
    {72, "Modify options concerning MOK files"},
    {73, "Modify options concerning GIF files"},
    {80, "Turn the current image a quarter turn to the left"},
    {81, "Turn the current image a quarter turn to the right"},
    {82, "Mirror the current image from left to right"},
    {83, "Mirror the current image from top to bottom"},
    {84, "Show the whole image in its window"},
    {85, "Show the next image of the folder in this window"},
    {86, "Show the previous image of the folder in this window"},
    {87, "Show the size, kind, file and photo data of the current image"},
};

}  // namespace

std::span<const CommandInfo> Commands() { return kCommands; }

const CommandInfo* FindCommand(int id) {
    const auto found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [id](const CommandInfo& c) { return c.id == id; });
    return found == std::end(kCommands) ? nullptr : found;
}

std::span<const MenuPopup> MainMenu() { return kMainMenu; }

std::span<const Accelerator> AcceleratorTable() { return kAccelerators; }

std::span<const Accelerator> DocumentWindowKeys() { return kDocumentWindowKeys; }

const char* StringResource(int id) {
    for (const StringEntry& entry : kStrings)
        if (entry.id == id) return entry.text;
    return nullptr;
}
