#!/usr/bin/env python3
"""Draws examples/Usermap stripline (0.1mm).bmp, the Usermap of the example scripts.

A shielded stripline: a copper strip at +1 volt in the middle of an FR4 board, inside a copper
box at 0 volt that runs round the whole picture. Every colour is one of the built-in materials:
  red   (255,   0,   0)  copper, +1 volt
  green (  0, 255,   0)  copper, 0 volt (ground)
  FR4   (223, 247, 136)  "FR4 PCB", relative permittivity 3.7, loss tangent 0.018
The pixel width, 0.1 mm, is written in the file name's parentheses, where the loader reads it.
The box closes the field in, so the capacitance solve needs no open boundary.

Run from the repository's top folder:  python3 scripts/make-example-usermap.py
Only the standard library is used; the BMP is written by hand (24 bits, bottom-up rows).
"""
import os
import struct

WIDTH, HEIGHT = 64, 40
WALL = 2                    # thickness of the ground box in pixels
STRIP_W, STRIP_H = 16, 2    # the +1 volt strip

RED = (255, 0, 0)
GREEN = (0, 255, 0)
FR4 = (223, 247, 136)


def colour_at(x, y):
    if x < WALL or y < WALL or x >= WIDTH - WALL or y >= HEIGHT - WALL:
        return GREEN
    left = (WIDTH - STRIP_W) // 2
    top = (HEIGHT - STRIP_H) // 2
    if left <= x < left + STRIP_W and top <= y < top + STRIP_H:
        return RED
    return FR4


def bmp_bytes():
    row_size = (WIDTH * 3 + 3) // 4 * 4
    pixels = bytearray()
    for y in range(HEIGHT - 1, -1, -1):  # BMP rows run bottom-up
        row = bytearray()
        for x in range(WIDTH):
            r, g, b = colour_at(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        pixels += row
    header_size = 14 + 40
    file_header = struct.pack("<2sIHHI", b"BM", header_size + len(pixels), 0, 0, header_size)
    info_header = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(pixels),
                              3937, 3937, 0, 0)
    return file_header + info_header + bytes(pixels)


def main():
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    path = os.path.join(top, "examples", "Usermap stripline (0.1mm).bmp")
    with open(path, "wb") as f:
        f.write(bmp_bytes())
    print("wrote", path)


if __name__ == "__main__":
    main()
