#!/usr/bin/env python3
"""Writes a JPEG with Pillow that carries what a camera's photo does: an Exif block (Make, Model,
Orientation, DateTimeOriginal, PixelXDimension/PixelYDimension, GPS latitude and longitude, and on
request a JPEG thumbnail in the second directory), an ICC profile, an XMP packet and a comment.

The Exif block is built here field by field (Pillow writes no Exif or GPS sub-directories of its
own); the XMP packet goes in as an APP1 marker through Pillow's "extra" header bytes.

Usage: photo_with_metadata.py OUT.jpg [--from PICTURE] [--size WxH] [--gray] [--orientation N]
       [--icc PROFILE] [--xmp] [--comment TEXT] [--thumbnail] [--padding BYTES] [--little-endian]
"""
import argparse
import io
import struct

from PIL import Image

XMP_PACKET = (
    b'<?xpacket begin="\xef\xbb\xbf" id="W5M0MpCehiHzreSzNTczkc9d"?>'
    b'<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">'
    b'<rdf:Description rdf:about="" xmlns:dc="http://purl.org/dc/elements/1.1/">'
    b'<dc:creator><rdf:Seq><rdf:li>Ann Example</rdf:li></rdf:Seq></dc:creator>'
    b'<dc:title><rdf:Alt><rdf:li xml:lang="x-default">Harbour at dawn</rdf:li></rdf:Alt></dc:title>'
    b'</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end="w"?>'
)

ASCII, SHORT, LONG, RATIONAL, UNDEFINED = 2, 3, 4, 5, 7
SIZES = {ASCII: 1, SHORT: 2, LONG: 4, RATIONAL: 8, UNDEFINED: 1}


class Tiff:
    """A TIFF structure laid out directory after directory, each followed by its large values."""

    def __init__(self, little):
        self.order = '<' if little else '>'
        self.data = bytearray(b'II*\0' if little else b'MM\0*') + self.pack('I', 8)

    def pack(self, fmt, *values):
        return struct.pack(self.order + fmt, *values)

    def value_bytes(self, kind, values):
        if kind in (ASCII, UNDEFINED):
            return bytes(values)
        if kind == RATIONAL:
            return b''.join(self.pack('II', n, d) for n, d in values)
        return b''.join(self.pack('H' if kind == SHORT else 'I', v) for v in values)

    def directory(self, entries, next_offset=0):
        """Writes a directory at the end; entries are (tag, type, values). Yields its offset and, by
        tag, the offset of each entry's value field (for pointers filled in later)."""
        start = len(self.data)
        entries = sorted(entries)
        large_at = start + 2 + 12 * len(entries) + 4
        body, large = self.pack('H', len(entries)), b''
        for tag, kind, values in entries:
            raw = self.value_bytes(kind, values)
            count = len(raw) // SIZES[kind]
            if len(raw) <= 4:
                body += self.pack('HHI', tag, kind, count) + raw.ljust(4, b'\0')
            else:
                body += self.pack('HHII', tag, kind, count, large_at + len(large))
                large += raw + (b'\0' if len(raw) % 2 else b'')
        fields = {tag: start + 2 + 12 * i + 8 for i, (tag, _, _) in enumerate(entries)}
        self.data += body + self.pack('I', next_offset) + large
        return start, fields

    def put(self, at, value):
        self.data[at:at + 4] = self.pack('I', value)


def exif_block(width, height, orientation, thumbnail, padding, little):
    tiff = Tiff(little)
    main, main_fields = tiff.directory([
        (0x010F, ASCII, b'Acme Optics\0'),
        (0x0110, ASCII, b'Snapper 5\0'),
        (0x0112, SHORT, [orientation]),
        (0x0132, ASCII, b'2024:05:06 07:08:09\0'),
        (0x8769, LONG, [0]),
        (0x8825, LONG, [0]),
    ])
    exif_entries = [
        (0x9003, ASCII, b'2024:05:06 07:08:09\0'),
        (0xA002, LONG, [width]),
        (0xA003, LONG, [height]),
    ]
    if padding:
        exif_entries.append((0x927C, UNDEFINED, bytes(i * 7 % 256 for i in range(padding))))  # MakerNote
    exif_at, _ = tiff.directory(exif_entries)
    tiff.put(main_fields[0x8769], exif_at)
    gps_at, _ = tiff.directory([
        (0x0001, ASCII, b'N\0'),
        (0x0002, RATIONAL, [(52, 1), (31, 1), (125, 10)]),
        (0x0003, ASCII, b'E\0'),
        (0x0004, RATIONAL, [(13, 1), (24, 1), (0, 1)]),
    ])
    tiff.put(main_fields[0x8825], gps_at)
    if thumbnail:
        thumb_at, thumb_fields = tiff.directory([
            (0x0103, SHORT, [6]),
            (0x0201, LONG, [0]),
            (0x0202, LONG, [len(thumbnail)]),
        ])
        tiff.put(thumb_fields[0x0201], len(tiff.data))
        tiff.data += thumbnail
        tiff.put(main + 2 + 12 * 6, thumb_at)  # the main directory's successor
    return bytes(tiff.data)


def pattern(width, height):
    image = Image.new('RGB', (width, height))
    image.putdata([((x * 255) // max(width - 1, 1), (y * 255) // max(height - 1, 1), (x * y) % 256)
                   for y in range(height) for x in range(width)])
    return image


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('out')
    parser.add_argument('--from', dest='source')
    parser.add_argument('--size', default='64x48')
    parser.add_argument('--gray', action='store_true')
    parser.add_argument('--orientation', type=int, default=1)
    parser.add_argument('--icc')
    parser.add_argument('--xmp', action='store_true')
    parser.add_argument('--comment')
    parser.add_argument('--thumbnail', action='store_true')
    parser.add_argument('--padding', type=int, default=0)
    parser.add_argument('--little-endian', action='store_true')
    args = parser.parse_args()

    if args.source:
        image = Image.open(args.source).convert('RGB')
    else:
        image = pattern(*map(int, args.size.split('x')))
    if args.gray:
        image = image.convert('L')
    thumbnail = b''
    if args.thumbnail:
        small = io.BytesIO()
        image.resize((160, 120)).save(small, 'JPEG', quality=75)
        thumbnail = small.getvalue()
    options = {'quality': 90, 'exif': b'Exif\0\0' + exif_block(image.width, image.height, args.orientation,
                                                               thumbnail, args.padding, args.little_endian)}
    if args.icc:
        options['icc_profile'] = open(args.icc, 'rb').read()
    if args.comment is not None:
        options['comment'] = args.comment.encode()
    if args.xmp:
        body = b'http://ns.adobe.com/xap/1.0/\0' + XMP_PACKET
        options['extra'] = b'\xff\xe1' + struct.pack('>H', len(body) + 2) + body
    image.save(args.out, 'JPEG', **options)


if __name__ == '__main__':
    main()
