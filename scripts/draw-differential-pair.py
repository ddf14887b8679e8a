#!/usr/bin/env python3
"""Draws the worked example of coupled lines: two copper strips (+1 volt colour) on a 1.6 mm FR4
board over a copper ground plane, at 0.05 mm per pixel, as the microstrip example is drawn.

usage: draw-differential-pair.py OUTPUT.png [STRIP_WIDTH_PX GAP_PX]
"""
import struct
import sys
import zlib

WHITE, RED, GREEN, FR4 = (255, 255, 255), (255, 0, 0), (0, 255, 0), (223, 247, 136)


def png(path, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def main(path, strip=36, gap=12):
    width, height = 380, 240
    rows = [[WHITE] * width for _ in range(height)]
    for y in range(168, 200):  # 32 rows of FR4: 1.6 mm
        rows[y][20:360] = [FR4] * 340
    for y in range(200, 204):  # the ground plane
        rows[y][20:360] = [GREEN] * 340
    left = width // 2 - gap // 2 - strip
    for x0 in (left, left + strip + gap):  # the strips, one pixel thick, on the board
        rows[167][x0:x0 + strip] = [RED] * strip
    png(path, rows)


if __name__ == "__main__":
    main(sys.argv[1], *(int(a) for a in sys.argv[2:4]))
