#!/usr/bin/python3
"""Writes the seed corpus of the DIB fuzz harness from the BMP harness's seeds: each file as a packed
DIB (its 14-byte file header dropped, as the clipboard of other systems holds it) and a few whole
files, since pasted "image/bmp" data may be either."""
import os
import sys

root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fuzz", "corpus")
source = os.path.join(root, "bmp")
target = os.path.join(root, "dib")
os.makedirs(target, exist_ok=True)
whole = {"pillow_bilevel_13x5.bmp", "v4_palette_top_down.bmp", "surplus_colours_used.bmp"}
for name in sorted(os.listdir(source)):
    data = open(os.path.join(source, name), "rb").read()
    base = os.path.splitext(name)[0]
    open(os.path.join(target, base + ".dib"), "wb").write(data[14:])
    if name in whole:
        open(os.path.join(target, base + "_file.dib"), "wb").write(data)
print(f"wrote {len(os.listdir(target))} seeds to {os.path.relpath(target)}", file=sys.stderr)
