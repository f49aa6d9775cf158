#!/usr/bin/python3
"""Writes the seed corpus of the GIF fuzz harness: small pictures saved by Pillow, and variants made
by rewriting their bytes (tiny sub-blocks, extensions, local tables, interlacing, odd code sizes,
streams that end early). Usage: scripts/make_gif_corpus.py [OUTPUT_DIR] (default fuzz/corpus/gif)."""
import io
import os
import sys

from PIL import Image


def pillow_gif(width, height, colours, interlace=0, **extra):
    im = Image.new('P', (width, height))
    im.putpalette([(i * 53 + c * 101) % 256 for i in range(colours) for c in range(3)])
    im.putdata([(x * 7 + y * 13 + (x * y) % 5) % colours for y in range(height) for x in range(width)])
    out = io.BytesIO()
    im.save(out, 'GIF', interlace=interlace, optimize=False, **extra)
    return out.getvalue()


def split(gif):
    """(bytes before the image separator, image descriptor with local table, code size, LZW data)."""
    at = 13 + (3 * (2 << (gif[10] & 7)) if gif[10] & 0x80 else 0)
    while gif[at] == 0x21:  # extensions
        at += 2
        while gif[at]:
            at += 1 + gif[at]
        at += 1
    head = gif[:at]
    flags = gif[at + 9]
    end = at + 10 + (3 * (2 << (flags & 7)) if flags & 0x80 else 0)
    descriptor, code_size = gif[at:end], gif[end]
    data, at = b'', end + 1
    while gif[at]:
        data += gif[at + 1:at + 1 + gif[at]]
        at += 1 + gif[at]
    return head, descriptor, code_size, data


def blocks(data, size):
    return b''.join(bytes([len(data[i:i + size])]) + data[i:i + size] for i in range(0, len(data), size)) + b'\0'


def join(head, descriptor, code_size, data, block_size=255):
    return head + descriptor + bytes([code_size]) + blocks(data, block_size) + b';'


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', 'fuzz', 'corpus', 'gif')
    os.makedirs(out, exist_ok=True)
    files = {
        'two_colours_13x7.gif': pillow_gif(13, 7, 2),
        'sixteen_interlaced_31x29.gif': pillow_gif(31, 29, 16, interlace=1),
        'thirty_two_33x17.gif': pillow_gif(33, 17, 32),
        'full_palette_interlaced_40x24.gif': pillow_gif(40, 24, 256, interlace=1),
        'comment_89a.gif': pillow_gif(9, 5, 16, comment=b'seed'),
        'graphic_control_89a.gif': pillow_gif(21, 3, 64, transparency=1),
        'one_pixel.gif': pillow_gif(1, 1, 2),
    }
    head, descriptor, code_size, data = split(files['thirty_two_33x17.gif'])
    files['one_byte_blocks.gif'] = join(head, descriptor, code_size, data, 1)
    files['three_byte_blocks.gif'] = join(head, descriptor, code_size, data, 3)
    files['data_ends_early.gif'] = join(head, descriptor, code_size, data[:len(data) // 3])
    files['file_ends_in_block.gif'] = join(head, descriptor, code_size, data)[:len(head) + 40]
    files['stray_byte_and_nonsquare_pixels.gif'] = head[:12] + b'\x11' + head[13:] + b'\x00' + descriptor + \
        bytes([code_size]) + blocks(data, 255) + b';'
    interlaced = bytearray(descriptor)
    interlaced[9] |= 0x40
    files['flagged_interlaced.gif'] = join(head, bytes(interlaced), code_size, data)
    local = bytearray(descriptor)
    local[9] = 0x87
    files['local_table_over_small_screen.gif'] = join(head[:10] + b'\x80' + head[11:13] + bytes(6), bytes(local) +
                                                      bytes(range(256)) * 3, code_size, data)
    files['code_size_1.gif'] = join(head, descriptor, 1, b'\x06\x0b\x0e')
    files['trailer_first.gif'] = head + b';'
    for name, content in files.items():
        with open(os.path.join(out, name), 'wb') as f:
            f.write(content)


main()
