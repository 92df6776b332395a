#!/usr/bin/env python3
"""Checks the program's icon theme files: one PNG per size, of that size, in RGBA, with see-through
corners and a solid middle (a blank or a square picture is caught), and a scalable SVG that is
well-formed XML with a square view box.

Usage: check-icons.py HICOLOR_DIR SIZE,SIZE,... SVG_FILE
"""
import struct
import sys
import xml.etree.ElementTree as ET
import zlib


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour = header[:4]
    if depth != 8 or colour != 6:
        raise ValueError("not 8-bit RGBA")
    raw = zlib.decompress(idat)
    stride = width * 4
    rows, prev, i = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[i], bytearray(raw[i + 1:i + 1 + stride])
        i += 1 + stride
        for x in range(stride):
            a = line[x - 4] if x >= 4 else 0
            b = prev[x]
            c = prev[x - 4] if x >= 4 else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(line)
        prev = line
    return width, height, rows


def main():
    folder, sizes, svg = sys.argv[1], [int(s) for s in sys.argv[2].split(",")], sys.argv[3]
    problems = []
    for size in sizes:
        path = f"{folder}/{size}x{size}/apps/quillmar.png"
        try:
            width, height, rows = read_png(path)
        except (OSError, ValueError) as e:
            problems.append(f"{path}: {e}")
            continue
        if (width, height) != (size, size):
            problems.append(f"{path}: {width}x{height}, not {size}x{size}")
            continue
        alpha = lambda x, y: rows[y][x * 4 + 3]
        if alpha(0, 0) > 16 or alpha(size - 1, size - 1) > 16:
            problems.append(f"{path}: the corners are not see-through (no rounded square)")
        if alpha(size // 2, size // 2) < 240:
            problems.append(f"{path}: the middle is not solid (a blank picture?)")
    try:
        root = ET.parse(svg).getroot()
        box = root.get("viewBox", "").split()
        if not root.tag.endswith("svg") or len(box) != 4 or box[2] != box[3]:
            problems.append(f"{svg}: no square viewBox on an <svg> root")
    except (OSError, ET.ParseError) as e:
        problems.append(f"{svg}: {e}")
    for p in problems:
        print(p)
    print(f"{len(sizes) + 1 - len(problems)} passed, {len(problems)} failed")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
