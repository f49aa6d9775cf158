#!/usr/bin/python3
"""Writes the seed corpus of the BMP fuzz harness: small files of every layout the loader reads.
Files of the common kinds come from Pillow (Debian's /usr/bin/python3 has it); the layouts Pillow
does not write (run-length codes, core and V4/V5 headers, bit fields, top-down rows) are built
field by field here."""
import io
import os
import struct
import sys

from PIL import Image


def bmp(width, height, bits, pixels, compression=0, table=(), masks=(), info_size=40, colors_used=0):
    """A file with the given info header size (12 = core header), table of 0xRRGGBB entries and pixel bytes."""
    if info_size == 12:
        info = struct.pack("<IHHHH", 12, width, height, 1, bits)
        entries = b"".join(struct.pack("<BBB", c & 0xFF, c >> 8 & 0xFF, c >> 16) for c in table)
    else:
        info = struct.pack("<IiiHHIIiiII", info_size, width, height, 1, bits, compression, len(pixels), 2834, 2834,
                           colors_used, 0)
        info += b"".join(struct.pack("<I", m) for m in masks)
        info = info.ljust(info_size if info_size > 40 else len(info), b"\0")
        entries = b"".join(struct.pack("<BBBB", c & 0xFF, c >> 8 & 0xFF, c >> 16, 0) for c in table)
    offset = 14 + len(info) + len(entries)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + info + entries + pixels


def rows(width, height, bits, seed=1):
    """Pseudo-random stored rows, each padded to 4 bytes."""
    size = (width * bits + 31) // 32 * 4
    state = seed
    out = bytearray()
    for _ in range(height * size):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out.append(state >> 16 & 0xFF)
    return bytes(out)


def gray(entries, step):
    return [(i * step) * 0x010101 for i in range(entries)]


def pillow(mode, width, height):
    picture = Image.new("RGB", (width, height))
    picture.putdata([((x * 53) & 255, (y * 71) & 255, ((x ^ y) * 29) & 255)
                     for y in range(height) for x in range(width)])
    if mode == "P":
        picture = picture.quantize(12)
    elif mode != "RGB":
        picture = picture.convert(mode)
    out = io.BytesIO()
    picture.save(out, "BMP")
    return out.getvalue()


RLE8 = bytes([3, 7, 0, 3, 1, 2, 3, 0, 0, 0,       # run, padded absolute run, end of line
              0, 2, 2, 1, 4, 9, 0, 0,             # delta right and down, run
              255, 5, 0, 0, 0, 1])                # run past the width, end of bitmap
RLE4 = bytes([5, 0x12, 0, 0,                      # nibbles alternate
              0, 5, 0x34, 0x56, 0x70, 0, 0, 0,    # odd absolute run with its pad byte
              0, 2, 9, 0, 2, 0xAB, 0, 1])         # delta past the right edge wraps, end of bitmap

SEEDS = {
    "pillow_bilevel_13x5.bmp": lambda: pillow("1", 13, 5),
    "pillow_gray_9x4.bmp": lambda: pillow("L", 9, 4),
    "pillow_palette_7x3.bmp": lambda: pillow("P", 7, 3),
    "pillow_rgb_5x3.bmp": lambda: pillow("RGB", 5, 3),
    "pillow_rgba_3x3.bmp": lambda: pillow("RGBA", 3, 3),
    "rle8_6x4.bmp": lambda: bmp(6, 4, 8, RLE8, 1, gray(16, 17), colors_used=16),
    "rle4_8x3.bmp": lambda: bmp(8, 3, 4, RLE4, 2, gray(16, 16)),
    "rle8_top_down.bmp": lambda: bmp(6, -3, 8, RLE8, 1, gray(256, 1)),
    "core_header_4bit.bmp": lambda: bmp(7, 3, 4, rows(7, 3, 4), table=gray(16, 17), info_size=12),
    "core_header_1bit.bmp": lambda: bmp(9, 2, 1, rows(9, 2, 1), table=[0xFFFFFF, 0], info_size=12),
    "two_colours_1bit.bmp": lambda: bmp(11, 3, 1, rows(11, 3, 1), table=[0xFF0000, 0x0000FF]),
    "v4_palette_top_down.bmp": lambda: bmp(5, -4, 8, rows(5, 4, 8), table=gray(40, 5), info_size=108,
                                           colors_used=40),
    "v5_565_bitfields.bmp": lambda: bmp(5, 3, 16, rows(5, 3, 16), 3, masks=(0xF800, 0x07E0, 0x001F),
                                        info_size=124),
    "info_555.bmp": lambda: bmp(3, 3, 16, rows(3, 3, 16)),
    "bitfields_after_header_32.bmp": lambda: bmp(3, 2, 32, rows(3, 2, 32), 3, masks=(0x3FF00000, 0xFFC00, 0x3FF)),
    "surplus_colours_used.bmp": lambda: bmp(4, 2, 4, rows(4, 2, 4), table=gray(20, 12), colors_used=20),
    "truncated_rows.bmp": lambda: bmp(6, 5, 24, rows(6, 5, 24))[:-30],
}


def main():
    default = os.path.join(os.path.dirname(__file__), "..", "fuzz", "corpus", "bmp")
    folder = sys.argv[1] if len(sys.argv) > 1 else default
    os.makedirs(folder, exist_ok=True)
    for name, make in SEEDS.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(make())


if __name__ == "__main__":
    main()
