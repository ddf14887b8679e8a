#!/usr/bin/env python3
"""Draws the nineteen demonstration Usermaps in maps/ from rectangles, circles and ellipses.

Each map is opened by the key "~" and a letter (with switch 9 on, "~" "9"); the letters and the
file names are fixed by the program's command table. The names carry no pixel width, so the
user types one into "- Pixel width" (or the script command PIX) before solving for L and Rs:
every map is drawn for pixels 0.1 mm wide. C and Gp do not depend on the pixel width.

Every colour is a built-in material:
  red     (255,   0,   0)  copper at +1 volt
  blue    (  0,   0, 255)  copper at -1 volt
  green   (  0, 255,   0)  copper at 0 volt (ground)
  cyan    (  0, 255, 255)  copper, floating
  white   (255, 255, 255)  vacuum, the background
  and the dielectrics named in DIELECTRICS.
Lines that float in free space are drawn with their two conductors at +1 and -1 volt; lines
that run against a ground (a plane, a shield, a box) draw the ground green and the signal red.

The maps are kept small (at most 400 pixels a side, a few thousand conductor pixels) so that
each solves fully in seconds. Run from the repository's top folder:
    python3 scripts/make-demo-maps.py
Only the standard library is used; each map is an 8-bit palette BMP written by hand.
"""
import os
import struct

PLUS = (255, 0, 0)
MINUS = (0, 0, 255)
GROUND = (0, 255, 0)
FLOAT = (0, 255, 255)
VACUUM = (255, 255, 255)

DIELECTRICS = {
    "teflon": (130, 53, 239),
    "duroid 5880": (142, 142, 142),
    "polyethelene": (255, 0, 255),
    "polystyrene": (255, 255, 0),
    "polyvinylchloride": (239, 204, 26),
    "FR4 PCB": (223, 247, 136),
    "duroid 6010": (220, 220, 220),
}
TEFLON = DIELECTRICS["teflon"]
DUROID5880 = DIELECTRICS["duroid 5880"]
POLYETHYLENE = DIELECTRICS["polyethelene"]
POLYSTYRENE = DIELECTRICS["polystyrene"]
PVC = DIELECTRICS["polyvinylchloride"]
FR4 = DIELECTRICS["FR4 PCB"]
DUROID6010 = DIELECTRICS["duroid 6010"]


class Canvas:
    """A picture of colours; shapes are painted in order, a later one over an earlier one."""

    def __init__(self, width, height, background=VACUUM):
        self.width = width
        self.height = height
        self.pixels = [[background] * width for _ in range(height)]

    def rect(self, x0, y0, x1, y1, colour):
        """Fills the pixels x0 <= x < x1, y0 <= y < y1."""
        for y in range(max(0, y0), min(self.height, y1)):
            row = self.pixels[y]
            for x in range(max(0, x0), min(self.width, x1)):
                row[x] = colour

    def ellipse(self, cx, cy, rx, ry, colour):
        """Fills the pixels whose centres lie inside the ellipse of centre (cx, cy)."""
        for y in range(max(0, int(cy - ry) - 1), min(self.height, int(cy + ry) + 2)):
            for x in range(max(0, int(cx - rx) - 1), min(self.width, int(cx + rx) + 2)):
                dx = (x + 0.5 - cx) / rx
                dy = (y + 0.5 - cy) / ry
                if dx * dx + dy * dy <= 1.0:
                    self.pixels[y][x] = colour

    def circle(self, cx, cy, r, colour):
        self.ellipse(cx, cy, r, r, colour)

    def wire(self, cx, cy, r, colour, insulation=None, insulation_r=0):
        """A round wire, with an insulation ring around it when one is given."""
        if insulation:
            self.circle(cx, cy, insulation_r, insulation)
        self.circle(cx, cy, r, colour)

    def box(self, x0, y0, x1, y1, wall, colour):
        """A hollow rectangle: four walls of the given thickness."""
        self.rect(x0, y0, x1, y0 + wall, colour)
        self.rect(x0, y1 - wall, x1, y1, colour)
        self.rect(x0, y0, x0 + wall, y1, colour)
        self.rect(x1 - wall, y0, x1, y1, colour)

    def bmp_bytes(self):
        palette = []
        index = {}
        for row in self.pixels:
            for c in row:
                if c not in index:
                    index[c] = len(palette)
                    palette.append(c)
        if len(palette) > 256:
            raise ValueError("more than 256 colours")
        row_size = (self.width + 3) // 4 * 4
        data = bytearray()
        for y in range(self.height - 1, -1, -1):  # BMP rows run bottom-up
            row = bytes(index[c] for c in self.pixels[y])
            data += row + b"\0" * (row_size - len(row))
        colour_table = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
        offset = 14 + 40 + len(colour_table)
        file_header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
        info_header = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 8, 0,
                                  len(data), 3937, 3937, len(palette), 0)
        return file_header + info_header + colour_table + bytes(data)


# --- Striplines: a strip between two ground planes ----------------------------------------------

def stripline():
    """A stripline: a copper strip in duroid 5880 between two ground planes that run across the
    whole picture; the field leaks out at the open sides. Drawn for 0.1 mm pixels."""
    c = Canvas(300, 120)
    c.rect(0, 20, 300, 100, DUROID5880)
    c.rect(0, 14, 300, 20, GROUND)
    c.rect(0, 100, 300, 106, GROUND)
    c.rect(125, 57, 175, 63, PLUS)
    return c


def stripline2():
    """A thick strip in teflon inside a closed copper box: the field stays inside, so no open
    boundary is needed. Drawn for 0.1 mm pixels."""
    c = Canvas(240, 120)
    c.rect(0, 0, 240, 120, TEFLON)
    c.box(0, 0, 240, 120, 5, GROUND)
    c.rect(90, 48, 150, 72, PLUS)
    return c


def stripline3():
    """An offset stripline: the strip sits nearer the upper plane, in FR4, in a closed box.
    Drawn for 0.1 mm pixels."""
    c = Canvas(240, 120)
    c.rect(0, 0, 240, 120, FR4)
    c.box(0, 0, 240, 120, 5, GROUND)
    c.rect(95, 36, 145, 41, PLUS)
    return c


def stripline4():
    """A suspended stripline: the strip lies on a thin duroid 6010 sheet held in air in the
    middle of a closed box. Drawn for 0.1 mm pixels."""
    c = Canvas(260, 140)
    c.box(0, 0, 260, 140, 5, GROUND)
    c.rect(5, 66, 255, 74, DUROID6010)
    c.rect(105, 61, 155, 66, PLUS)
    return c


def stripline5():
    """An edge-coupled pair in FR4 between ground planes, driven as a balanced line: one strip
    at +1 volt, the other at -1 volt, with the planes and the box walls at ground. Drawn for
    0.1 mm pixels."""
    c = Canvas(280, 120)
    c.rect(0, 0, 280, 120, FR4)
    c.box(0, 0, 280, 120, 5, GROUND)
    c.rect(90, 57, 130, 63, PLUS)
    c.rect(150, 57, 190, 63, MINUS)
    return c


# --- Multi-dielectric lines --------------------------------------------------------------------

def multi_dielectric():
    """A microstrip on a board of two layers, FR4 on the ground plane and teflon above it, with
    a polystyrene coat over the strip. The field above the board is open. Drawn for 0.1 mm
    pixels."""
    c = Canvas(320, 200)
    c.rect(40, 150, 280, 156, GROUND)
    c.rect(40, 120, 280, 150, FR4)
    c.rect(40, 104, 280, 120, TEFLON)
    c.rect(130, 94, 190, 104, POLYSTYRENE)
    c.rect(140, 98, 180, 104, PLUS)
    return c


def multi_dielectric_b():
    """A broadside pair: a strip on each face of a board made of an FR4 core between two
    duroid 6010 layers, one strip at +1 volt and one at -1 volt, in free space. Drawn for
    0.1 mm pixels."""
    c = Canvas(320, 200)
    c.rect(60, 80, 260, 88, DUROID6010)
    c.rect(60, 88, 260, 112, FR4)
    c.rect(60, 112, 260, 120, DUROID6010)
    c.rect(130, 74, 190, 80, PLUS)
    c.rect(130, 120, 190, 126, MINUS)
    return c


def multi_dielectric_3wire():
    """A flat three-wire cable: three wires in polyethylene insulation inside a PVC jacket.
    The outer wires carry the line at +1 and -1 volt; the middle wire floats. Drawn for
    0.1 mm pixels."""
    c = Canvas(300, 160)
    c.ellipse(150, 80, 110, 40, PVC)
    for x in (90, 150, 210):
        c.circle(x, 80, 26, POLYETHYLENE)
    c.circle(90, 80, 12, PLUS)
    c.circle(150, 80, 12, FLOAT)
    c.circle(210, 80, 12, MINUS)
    return c


def multi_dielectric_3wire_b():
    """The same flat cable used the other way: the middle wire at +1 volt, both outer wires at
    -1 volt (one return split in two). Drawn for 0.1 mm pixels."""
    c = Canvas(300, 160)
    c.ellipse(150, 80, 110, 40, PVC)
    for x in (90, 150, 210):
        c.circle(x, 80, 26, POLYETHYLENE)
    c.circle(90, 80, 12, MINUS)
    c.circle(150, 80, 12, PLUS)
    c.circle(210, 80, 12, MINUS)
    return c


# --- Wires ------------------------------------------------------------------------------------

def wires_4_to_1_a():
    """Two bare wires whose diameters stand 4 to 1, in free space, at +1 and -1 volt. Drawn for
    0.1 mm pixels."""
    c = Canvas(300, 200)
    c.circle(120, 100, 32, PLUS)
    c.circle(200, 100, 8, MINUS)
    return c


def wires_4_to_1_b():
    """The same 4 to 1 pair moulded into one polyethylene web, as a ribbon line. Drawn for
    0.1 mm pixels."""
    c = Canvas(300, 200)
    c.rect(120, 86, 200, 114, POLYETHYLENE)
    c.circle(120, 100, 42, POLYETHYLENE)
    c.circle(200, 100, 18, POLYETHYLENE)
    c.circle(120, 100, 32, PLUS)
    c.circle(200, 100, 8, MINUS)
    return c


def five_wire():
    """A five-wire line: a centre wire at +1 volt inside a cage of four wires at -1 volt, in
    free space. Drawn for 0.1 mm pixels."""
    c = Canvas(240, 240)
    c.circle(120, 120, 12, PLUS)
    for dx, dy in ((-50, 0), (50, 0), (0, -50), (0, 50)):
        c.circle(120 + dx, 120 + dy, 10, MINUS)
    return c


# --- Plates and ellipses ----------------------------------------------------------------------

def two_plate():
    """Two parallel plates in free space, at +1 and -1 volt: a parallel-plate line whose field
    fringes round the edges. Drawn for 0.1 mm pixels."""
    c = Canvas(320, 200)
    c.rect(80, 76, 240, 82, PLUS)
    c.rect(80, 118, 240, 124, MINUS)
    return c


def small_two_plate():
    """A small pair of plates, only twice as wide as their gap, so that much of the field is
    fringe field. Drawn for 0.1 mm pixels."""
    c = Canvas(160, 120)
    c.rect(60, 46, 100, 50, PLUS)
    c.rect(60, 70, 100, 74, MINUS)
    return c


def two_ellipses():
    """Two ellipses standing side by side in free space, at +1 and -1 volt. Drawn for 0.1 mm
    pixels."""
    c = Canvas(300, 200)
    c.ellipse(115, 100, 20, 50, PLUS)
    c.ellipse(185, 100, 20, 50, MINUS)
    return c


# --- Wires over ground planes -----------------------------------------------------------------

def wire_over_plane(plane_width, width):
    c = Canvas(width, 160)
    left = (width - plane_width) // 2
    c.rect(left, 110, left + plane_width, 116, GROUND)
    c.circle(width / 2, 80, 10, PLUS)
    return c


def medium_plane():
    """A wire at +1 volt over a ground plane six wire diameters wide. A line against a ground
    plane is drawn +1 and 0: the plane and the far field are both at ground. Drawn for 0.1 mm
    pixels."""
    return wire_over_plane(120, 300)


def long_plane():
    """The wire over a ground plane eleven diameters wide: closer to the image-wire result.
    Drawn for 0.1 mm pixels."""
    return wire_over_plane(220, 300)


def very_long_plane():
    """The wire over a ground plane nineteen diameters wide, nearly the width of the picture.
    Drawn for 0.1 mm pixels."""
    return wire_over_plane(380, 400)


def long_double_plane():
    """A wire at +1 volt halfway between two long ground planes, open at the sides. Drawn for
    0.1 mm pixels."""
    c = Canvas(300, 160)
    c.rect(40, 44, 260, 50, GROUND)
    c.rect(40, 110, 260, 116, GROUND)
    c.circle(150, 80, 10, PLUS)
    return c


MAPS = {
    "Usermap multi-dielectric.bmp": multi_dielectric,
    "Usermap Stripline.bmp": stripline,
    "Usermap 4 to 1 wires B.bmp": wires_4_to_1_b,
    "Usermap Stripline2.bmp": stripline2,
    "Usermap Stripline3.bmp": stripline3,
    "Usermap Stripline4.bmp": stripline4,
    "Usermap Long double plane.bmp": long_double_plane,
    "Usermap Stripline5.bmp": stripline5,
    "Usermap multi-dielectric 3-wire B.bmp": multi_dielectric_3wire_b,
    "Usermap multi-dielectric B.bmp": multi_dielectric_b,
    "Usermap Two plate.bmp": two_plate,
    "Usermap Small two plate.bmp": small_two_plate,
    "Usermap Medium plane.bmp": medium_plane,
    "Usermap Two ellipses.bmp": two_ellipses,
    "Usermap multi-dielectric 3-wire.bmp": multi_dielectric_3wire,
    "Usermap 5 Wire.bmp": five_wire,
    "Usermap Very long plane.bmp": very_long_plane,
    "Usermap 4 to 1 wires A.bmp": wires_4_to_1_a,
    "Usermap Long plane.bmp": long_plane,
}


def main():
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    folder = os.path.join(top, "maps")
    os.makedirs(folder, exist_ok=True)
    for name, draw in MAPS.items():
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(draw().bmp_bytes())
        print("wrote", path)


if __name__ == "__main__":
    main()
