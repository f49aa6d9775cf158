#include "formats/gif/gif_blocks.h"

#include <cstring>

#include "core/messages.h"
#include "formats/byte_order.h"
#include "formats/gif/gif_data_buffer.h"
#include "formats/gif/gif_lzw_decoder.h"

namespace gif {

ScreenDescriptor ReadScreenDescriptor(InputFile& file) {
    uint8_t bytes[7];
    ReadGifBytes(file, bytes, sizeof bytes);
    return {ReadLE16(bytes), ReadLE16(bytes + 2), bytes[4], bytes[5], bytes[6]};
}

ImageDescriptor ReadImageDescriptor(InputFile& file) {
    uint8_t bytes[9];
    ReadGifBytes(file, bytes, sizeof bytes);
    return {ReadLE16(bytes), ReadLE16(bytes + 2), ReadLE16(bytes + 4), ReadLE16(bytes + 6), bytes[8]};
}

void CheckSignature(InputFile& file) {
    uint8_t signature[6];
    if (file.read(signature, sizeof signature) != sizeof signature || std::memcmp(signature, "GIF", 3) != 0)
        LumoError(kLoadModule, "Not a GIF file");
    if (std::memcmp(signature + 3, "87a", 3) != 0 && std::memcmp(signature + 3, "89a", 3) != 0)
        LumoError("LoadGif", "Unexpected GIF version number '%c%c%c'", signature[3], signature[4], signature[5]);
}

int ReadCodeSize(InputFile& file) {
    const int codeSize = ReadGifByte(file);
    // Sizes of 12 and more would need codes past the 4096-entry string table: nothing can be decoded.
    if (codeSize > GifLzwDecoder::kMaxInputCodeSize) LumoError(kLoadModule, "Bogus codesize %d", codeSize);
    if (codeSize < 2) LumoWarning(kLoadModule, "Bogus codesize %d", codeSize);
    return codeSize;
}

int InterlacedFileRow(int y, int height) {
    const int pass2 = (height + 7) / 8;
    const int pass3 = pass2 + (height + 3) / 8;
    const int pass4 = pass3 + (height + 1) / 4;
    if (y % 8 == 0) return y / 8;
    if (y % 8 == 4) return y / 8 + pass2;
    if (y % 4 == 2) return y / 4 + pass3;
    return y / 2 + pass4;
}

}  // namespace gif
