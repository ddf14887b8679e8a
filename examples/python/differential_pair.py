"""An edge-coupled differential pair on FR4 over a ground plane: Zdiff against the spacing.

Each cross-section is drawn as a numpy array (a Usermap in memory): two copper strips 0.3 mm
wide, 0.05 mm thick, on 0.2 mm of FR4 over a copper ground plane, the gap between the strips
swept from 0.1 mm to 0.6 mm. The coupled solve (solve(coupled=True)) gives the C and L matrices
of the two strips over ground and the pair's modes; the differential impedance is twice the odd
mode's:
    Zdiff = 2 sqrt((L11 - L12) / (C11 - C12))    (C12 is negative: a Maxwell matrix)
which the example checks against result.modes.Zdiff.

Run it with Debian's Python from the repository's top folder, after building:
    PYTHONPATH=build/python /usr/bin/python3 examples/python/differential_pair.py [OUTPUT_FOLDER]
It writes "differential pair.png" into OUTPUT_FOLDER (default: the working folder).
"""
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import zolva  # noqa: E402

PIXEL = 0.025e-3  # m
COPPER_PLUS = (255, 0, 0)
COPPER_MINUS = (0, 0, 255)
GROUND = (0, 255, 0)
FR4 = (223, 247, 136)


def drawing(gap_pixels):
    """The cross-section in pixels of 0.025 mm: strips 12 wide and 2 thick, FR4 8 thick."""
    strip, thick, substrate, margin = 12, 2, 8, 60
    width = 2 * margin + 2 * strip + gap_pixels
    picture = np.full((margin + substrate + 1, width, 3), 255, dtype=np.uint8)
    top = margin - thick
    picture[margin:margin + substrate, :] = FR4
    picture[margin + substrate, :] = GROUND
    left = margin
    picture[top:margin, left:left + strip] = COPPER_PLUS
    right = margin + strip + gap_pixels
    picture[top:margin, right:right + strip] = COPPER_MINUS
    return picture


def main(folder):
    gaps = np.array([4, 8, 12, 16, 24])  # pixels
    zdiff = []
    for gap in gaps:
        pair = zolva.usermap(drawing(gap), pixel_width=PIXEL, name=f"pair gap {gap}")
        result = pair.solve(frequency=1e9, coupled=True)
        C, L = result.matrices.C, result.matrices.L
        z = result.modes.Zdiff
        assert abs(z / (2 * np.sqrt((L[0, 0] - L[0, 1]) / (C[0, 0] - C[0, 1]))) - 1) < 1e-6
        zdiff.append(z)
        print(f"gap {gap * PIXEL * 1e3:4.2f} mm: Zdiff = {z:6.1f} ohm, "
              f"Zcomm = {result.modes.Zcomm:5.1f} ohm, Kb = {result.modes.Kb[0, 1]:.3f}")

    figure, axes = plt.subplots(figsize=(6.4, 4.2))
    axes.plot(gaps * PIXEL * 1e3, zdiff, "o-", color="C4")
    axes.set_xlabel("gap between the strips (mm)")
    axes.set_ylabel("Zdiff (ohm)")
    axes.set_title("Edge-coupled pair, 0.3 mm strips on 0.2 mm FR4, at 1 GHz")
    axes.grid(True, alpha=0.3)
    figure.tight_layout()
    path = os.path.join(folder, "differential pair.png")
    figure.savefig(path, dpi=100)
    print(f"written: {path}")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else ".")
