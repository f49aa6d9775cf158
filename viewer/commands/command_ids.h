// The viewer's command ids: menu items, toolbar buttons and accelerators all send these.
#pragma once

namespace command {
enum Id : int {
    Scan = 101,
    Open = 102,
    Save = 103,
    SaveAs = 104,
    Print = 110,
    Close = 115,
    BuildMosaic = 116,
    BatchConvert = 117,
    CloseAll = 118,
    Revert = 119,
    Properties = 120,
    About = 130,
    Rescale = 200,
    ToBW = 205,
    ToGray16 = 210,
    ToGray256 = 215,
    ToColor16 = 220,
    ToColor256 = 225,
    ToRGB = 230,
    RotateLeft = 235,
    RotateRight = 240,
    FlipHorizontal = 245,
    FlipVertical = 250,
    Copy = 260,
    Paste = 265,
    Zoom50 = 300,
    HelpMode = 301,  // the bitmap item on the menu bar
    Zoom100 = 305,
    Zoom150 = 310,
    Zoom200 = 315,
    FullScreen = 320,
    FitToWindow = 325,
    NextImage = 330,
    PreviousImage = 335,
    ToolbarVisible = 340,
    Tile = 410,
    Cascade = 420,
    ArrangeIcons = 430,
    JpegOptions = 450,
    TiffOptions = 451,
    PostScriptOptions = 452,
    OtherOptions = 453,
    PhotoCdOptions = 454,
    MokOptions = 455,
    GifOptions = 456,
    JbigOptions = 457,
    HelpIndex = 888,
    Quit = 999,
    FirstRecentFile = 10000,  // 10000-10004: the recent-file list
    LastRecentFile = 10004,
    FirstWindowListItem = 20000,  // the Windows menu's list of image windows
    LastWindowListItem = 21000,
};

inline bool IsRecentFileId(int id) { return id >= FirstRecentFile && id <= LastRecentFile; }
inline bool IsWindowListId(int id) { return id >= FirstWindowListItem && id <= LastWindowListItem; }
}  // namespace command
