#!/usr/bin/env python3
"""Turns the pixel maps in resources/art/ into the program's image files.

Each map is a text file: lines starting with '#' are comments, every other
line is one row of pixels, one character per pixel from the 16-colour table
below ('.' is white in a bitmap and fully transparent in a PNG).

  make_pixelart.py bmp MAP OUT.bmp        16-colour (4 bits per pixel) bitmap
  make_pixelart.py png MAP OUT.png [N]    RGBA PNG, each pixel scaled N times
  make_pixelart.py ico OUT.ico MAP...     Windows icon, one PNG image per map
"""
import io
import struct
import sys
import zlib

# The classic 16-colour table; the index is the 4-bit value in the bitmap.
PALETTE = [
    ("k", (0x00, 0x00, 0x00)),  # black
    ("m", (0x80, 0x00, 0x00)),  # maroon
    ("g", (0x00, 0x80, 0x00)),  # green
    ("o", (0x80, 0x80, 0x00)),  # olive
    ("n", (0x00, 0x00, 0x80)),  # navy
    ("p", (0x80, 0x00, 0x80)),  # purple
    ("t", (0x00, 0x80, 0x80)),  # teal
    ("s", (0xC0, 0xC0, 0xC0)),  # silver
    ("d", (0x80, 0x80, 0x80)),  # dark grey
    ("r", (0xFF, 0x00, 0x00)),  # red
    ("l", (0x00, 0xFF, 0x00)),  # lime
    ("y", (0xFF, 0xFF, 0x00)),  # yellow
    ("b", (0x00, 0x00, 0xFF)),  # blue
    ("f", (0xFF, 0x00, 0xFF)),  # fuchsia
    ("c", (0x00, 0xFF, 0xFF)),  # cyan
    (".", (0xFF, 0xFF, 0xFF)),  # white: the buttons' transparent colour
]
INDEX = {ch: i for i, (ch, _) in enumerate(PALETTE)}
TRANSPARENT = "."


def read_map(path):
    with open(path, encoding="utf-8") as f:
        rows = [line.rstrip("\n") for line in f if line.strip() and not line.startswith("#")]
    if not rows or any(len(r) != len(rows[0]) for r in rows):
        sys.exit(f"{path}: rows must all have the same length")
    for y, row in enumerate(rows):
        for x, ch in enumerate(row):
            if ch not in INDEX:
                sys.exit(f"{path}:{y}:{x}: unknown colour '{ch}'")
    return rows


def write_bmp(rows, out):
    width, height = len(rows[0]), len(rows)
    stride = ((width * 4 + 31) // 32) * 4
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for _, (r, g, b) in PALETTE)
    pixels = bytearray()
    for row in reversed(rows):  # bitmaps are stored bottom-up
        indices = [INDEX[ch] for ch in row]
        line = bytes((indices[i] << 4) | (indices[i + 1] if i + 1 < width else 0)
                     for i in range(0, width, 2))
        pixels += line.ljust(stride, b"\0")
    offset = 14 + 40 + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(pixels), 2835, 2835,
                       len(PALETTE), 0)
    out.write(header + info + table + pixels)


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(
        ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def write_png(rows, out, scale):
    width, height = len(rows[0]) * scale, len(rows) * scale
    raw = bytearray()
    for row in rows:
        line = bytearray()
        for ch in row:
            r, g, b = PALETTE[INDEX[ch]][1]
            line += bytes((r, g, b, 0 if ch == TRANSPARENT else 255)) * scale
        raw += (b"\0" + line) * scale  # filter type 0 on every line
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    out.write(b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) +
              png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + png_chunk(b"IEND", b""))


def write_ico(maps, out):
    images = []
    for path in maps:
        rows = read_map(path)
        png = io.BytesIO()
        write_png(rows, png, 1)
        images.append((len(rows[0]), len(rows), png.getvalue()))
    out.write(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for width, height, data in images:
        # A size of 256 is written as 0; the maps are far smaller.
        out.write(struct.pack("<BBBBHHII", width, height, 0, 0, 1, 32, len(data), offset))
        offset += len(data)
    for _, _, data in images:
        out.write(data)


def main(argv):
    if len(argv) >= 4 and argv[1] == "ico":
        with open(argv[2], "wb") as out:
            write_ico(argv[3:], out)
        return
    if len(argv) not in (4, 5) or argv[1] not in ("bmp", "png") or (
            argv[1] == "bmp" and len(argv) != 4):
        sys.exit(__doc__)
    rows = read_map(argv[2])
    with open(argv[3], "wb") as out:
        if argv[1] == "bmp":
            write_bmp(rows, out)
        else:
            write_png(rows, out, int(argv[4]) if len(argv) == 5 else 1)


if __name__ == "__main__":
    main(sys.argv)
