#!/usr/bin/env python3
"""Writes Dorvane's window icon: two diagonal arrows pointing apart, a blue
one to the upper right and a purple one to the lower left, on a transparent
background.

The icon holds two images, 16 x 16 and 32 x 32, each a palettised 8-bit
device-independent bitmap with a 1-bit AND mask (the classic format every
Windows version and resource compiler accepts). Both images are drawn
pixel by pixel at their own size below, so the small one stays crisp.

Usage: make-icon.py OUTPUT.ico   (Python 3 standard library only; the
output is the same bytes on every run)
"""

import struct
import sys

# One character per pixel. '.' is transparent; the letters name the palette
# entries below: B/b/l dark, middle and light blue, P/p/q the purples.
# Lit from the upper left: dark edges face down and right.
ICON_16 = [
    "................",
    ".........BbbbbB.",
    "..........BbbbB.",
    "...........bbbB.",
    "..........bbBbB.",
    ".........bbB.BB.",
    "........bbB...B.",
    "........BB......",
    "......pP........",
    ".P...ppP........",
    ".pP.ppP.........",
    ".ppppP..........",
    ".pppP...........",
    ".ppppP..........",
    ".PPPPPP.........",
    "................",
]

ICON_32 = [
    "................................",
    "................................",
    "..................BBBBBBBBBBBB..",
    "...................BblllllllbB..",
    "....................BbbbbbbbbB..",
    ".....................BbbbbbbbB..",
    "......................BlbbbbbB..",
    "......................BlbbbbbB..",
    ".....................BlbbbbbbB..",
    "....................BlbbBBbbbB..",
    "...................BlbbB..BbbB..",
    "..................BlbbB....BbB..",
    ".................BlbbB......BB..",
    "................BlbbB........B..",
    "................BbbB............",
    ".................BB.............",
    ".............PP.................",
    "............PqpP................",
    "..P........PqppP................",
    "..PP......PqppP.................",
    "..PpP....PqppP..................",
    "..PqpP..PqppP...................",
    "..PqppPPqppP....................",
    "..PqppqqppP.....................",
    "..PqpppppP......................",
    "..PqpppppP......................",
    "..PqppppppP.....................",
    "..PqpppppppP....................",
    "..PpppppppppP...................",
    "..PPPPPPPPPPPP..................",
    "................................",
    "................................",
]

# Palette entries as (red, green, blue). Index 0 is black: transparent
# pixels carry it so that the screen shows through unchanged where the AND
# mask keeps the background.
PALETTE = [
    ('.', (0, 0, 0)),
    ('B', (16, 62, 150)),
    ('b', (40, 125, 225)),
    ('l', (140, 196, 255)),
    ('P', (80, 24, 130)),
    ('p', (140, 70, 205)),
    ('q', (200, 160, 240)),
]
PALETTE_SIZE = 256


def check_grid(grid, size):
    if len(grid) != size or any(len(row) != size for row in grid):
        raise ValueError(f"icon image is not {size} x {size} pixels")
    known = {key for key, _ in PALETTE}
    for row in grid:
        for ch in row:
            if ch not in known:
                raise ValueError(f"icon image uses unknown colour '{ch}'")


def dib(grid):
    """One icon image: BITMAPINFOHEADER, 256-entry palette, 8-bit colour
    rows and 1-bit mask rows, both stored bottom row first."""
    size = len(grid)
    index = {key: i for i, (key, _) in enumerate(PALETTE)}

    xor_stride = (size + 3) // 4 * 4            # rows padded to 4 bytes
    and_stride = ((size + 31) // 32) * 4        # 1 bit per pixel, 4-byte rows
    xor_rows = []
    and_rows = []
    for row in reversed(grid):
        pixels = bytes(index[ch] for ch in row)
        xor_rows.append(pixels + bytes(xor_stride - size))
        bits = bytearray(and_stride)
        for x, ch in enumerate(row):
            if ch == '.':                        # 1 = keep the background
                bits[x // 8] |= 0x80 >> (x % 8)
        and_rows.append(bytes(bits))
    xor = b''.join(xor_rows)
    mask = b''.join(and_rows)

    header = struct.pack('<IiiHHIIiiII',
                         40,                 # biSize
                         size,               # biWidth
                         size * 2,           # biHeight: colour rows + mask rows
                         1,                  # biPlanes
                         8,                  # biBitCount
                         0,                  # biCompression: BI_RGB
                         len(xor) + len(mask),
                         0, 0,               # no resolution
                         PALETTE_SIZE,       # biClrUsed
                         0)                  # biClrImportant: all
    colours = bytearray()
    for _, (r, g, b) in PALETTE:
        colours += bytes((b, g, r, 0))
    colours += bytes(4 * (PALETTE_SIZE - len(PALETTE)))
    return header + bytes(colours) + xor + mask


def icon(images):
    """ICONDIR, one ICONDIRENTRY per image, then the images."""
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b''
    blobs = b''
    for grid in images:
        size = len(grid)
        blob = dib(grid)
        entries += struct.pack('<BBBBHHII',
                               size, size,
                               0,        # colour count: 0 means 256 or more
                               0,        # reserved
                               1,        # planes
                               8,        # bits per pixel
                               len(blob), offset)
        offset += len(blob)
        blobs += blob
    return out + entries + blobs


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-icon.py OUTPUT.ico")
    check_grid(ICON_16, 16)
    check_grid(ICON_32, 32)
    data = icon([ICON_16, ICON_32])
    with open(sys.argv[1], 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main()
