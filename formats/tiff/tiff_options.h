// The TIFF codec's module-wide settings, as the option functions of formats/tiff/tiff.h set them.
#pragma once

#include <optional>
#include <string>

struct TiffOptions {
    int compression = 1;    // Compression tag: 1 none, 3 G3, 4 G4, 5 LZW, 7 JPEG, 32773 PackBits
    int optionsG3 = 0;      // with compression 3 and non-zero: the Group3Options tag (1 = 2-D coding)
    int predictor = 0;      // with LZW and non-zero: Predictor 2 (horizontal differencing)
    int rowsPerStrip = 0;   // RowsPerStrip written; 0 (or less) = chosen from the row size
    int ycbcr = 0;          // non-zero: RGB images written as YCbCr by our own encoder
    int hSubsampling = 2;   // chroma subsampling of that encoder: 1, 2 or 4 ...
    int vSubsampling = 2;   // ... across and down
    std::optional<std::string> software;  // the Software tag; none written when unset
    int autoRotate = 1;     // non-zero: a picture is turned upright by its Orientation tag as it loads
    int page = 1;           // the page (image file directory, from 1) that loads read
};

// The options in force (read by the saver).
const TiffOptions& CurrentTiffOptions();
