#!/usr/bin/env python3
"""Draws the launcher's icon: a 3.5-inch floppy disk, 32 x 32 in 16 colours.

Writes a .ico with one 4-bit image (standard 16-colour VGA palette, no
compression), the only kind every Windows from 95 on shows without scaling.
The picture is the map below, one character a pixel:
  . transparent  k black  b navy  B blue  s silver  g grey  w white  r red
Run: tools/icon/make_icon.py src/launcher/launcher.ico
"""
import struct
import sys

PALETTE = [  # VGA order: index -> (r, g, b)
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
INDEX = {"k": 0, "b": 4, "s": 7, "g": 8, "r": 9, "B": 12, "w": 15}

PICTURE = [
    "................................",
    "................................",
    "..kkkkkkkkkkkkkkkkkkkkkkkkkkkk..",
    "..kbbbbbbksssssssssssskbbbbbbbk.",
    "..kbbbbbbksssssssssssskbbbbbbbk.",
    "..kbbbbbbksskkkkssssssbkbbbbbbk.",
    "..kbbbbbbksskbbkssssssbkbbbbbbk.",
    "..kbbbbbbksskbbkssssssbkbbbbbbk.",
    "..kbbbbbbksskbbkssssssbkbbbbbbk.",
    "..kbbbbbbksskkkkssssssbkbbbbbbk.",
    "..kbbbbbbksssssssssssskbbbbbbbk.",
    "..kbbbbbbbkkkkkkkkkkkkbbbbbbbbk.",
    "..kbbbbbbbbbbbbbbbbbbbbbbbbbbbk.",
    "..kbbbbbbbbbbbbbbbbbbbbbbbbbbbk.",
    "..kbbbbwwwwwwwwwwwwwwwwwwwbbbbk.",
    "..kbbbbwwwwwwwwwwwwwwwwwwwbbbbk.",
    "..kbbbbwwrrrrrrrrrrrrrrrwwbbbbk.",
    "..kbbbbwwwwwwwwwwwwwwwwwwwbbbbk.",
    "..kbbbbwwggggggggggggggwwwbbbbk.",
    "..kbbbbwwwwwwwwwwwwwwwwwwwbbbbk.",
    "..kbbbbwwggggggggggwwwwwwwbbbbk.",
    "..kbbbbwwwwwwwwwwwwwwwwwwwbbbbk.",
    "..kbbbbwwggggggggggggggwwwbbbbk.",
    "..kbbbbwwwwwwwwwwwwwwwwwwwbbbbk.",
    "..kbbbbwwwwwwwwwwwwwwwwwwwbbbbk.",
    "..kBbbbwwwwwwwwwwwwwwwwwwwbbbbk.",
    "..kBBbbwwwwwwwwwwwwwwwwwwwbbbbk.",
    "..kkbbbbbbbbbbbbbbbbbbbbbbbbbbk.",
    "...kkkkkkkkkkkkkkkkkkkkkkkkkkkk.",
    "................................",
    "................................",
    "................................",
]


def build_icon():
    size = 32
    assert len(PICTURE) == size and all(len(row) == size for row in PICTURE)
    xor_rows = []
    and_rows = []
    for row in reversed(PICTURE):  # DIB rows run bottom-up
        pixels = [INDEX.get(ch, 0) for ch in row]
        xor_rows.append(bytes((pixels[i] << 4) | pixels[i + 1] for i in range(0, size, 2)))
        mask = 0
        for ch in row:
            mask = (mask << 1) | (1 if ch == "." else 0)
        and_rows.append(mask.to_bytes(size // 8, "big"))
    xor_bits = b"".join(xor_rows)
    and_bits = b"".join(and_rows)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0,
                         len(xor_bits) + len(and_bits), 0, 0, 16, 0)
    image = header + palette + xor_bits + and_bits
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as out:
        out.write(build_icon())
