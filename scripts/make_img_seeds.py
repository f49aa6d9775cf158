#!/usr/bin/env python3
"""Writes the seed corpus of the IMG fuzz harness: small files of the layout the loader reads
(a 64-byte header of magic, extra header bytes, width and height, then top-down rows of width bytes)."""
import os
import struct
import sys


def img(width, height, extra=b"", magic=b"IM", pixels=None):
    if pixels is None:
        pixels = bytes((x * 37 + y * 11) & 0xFF for y in range(height) for x in range(width))
    header = magic + struct.pack("<HHH", len(extra), width, height) + bytes(56)
    return header + extra + pixels


SEEDS = {
    "gradient_16x8.img": img(16, 8),
    "odd_width_3x5.img": img(3, 5),
    "extra_header_10.img": img(7, 4, extra=b"\x55" * 10),
    "foreign_magic.img": img(5, 5, magic=b"XY"),
    "single_pixel.img": img(1, 1),
    "no_rows.img": img(9, 0),
    "no_columns.img": img(0, 6),
    "last_row_short.img": img(6, 4)[:-2],
    "header_only_short.img": img(4, 4)[:7],
}


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "fuzz", "corpus", "img")
    os.makedirs(folder, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
