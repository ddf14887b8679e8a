"""A coax swept over the shield's inner diameter: zolva's Zo against the closed form 60 ln(D/d).

Run it with Debian's Python from the repository's top folder, after building (the module is in
build/python) or after `cmake --install build`:
    PYTHONPATH=build/python /usr/bin/python3 examples/python/coax_sweep.py [OUTPUT_FOLDER]
It writes "coax sweep.png" into OUTPUT_FOLDER (default: the working folder).
"""
import math
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import zolva  # noqa: E402


def main(folder):
    centre = 1e-3  # m
    inner = np.linspace(2.0e-3, 5.0e-3, 7)  # m
    line = zolva.coax(centre_diameter=centre, shield_inner_diameter=inner[0],
                      shield_outer_diameter=inner[-1] + 0.5e-3, air_dielectric=True,
                      total_pixels=1500)
    solved = []
    for d in inner:
        line.set(shield_inner_diameter=d)
        result = line.solve(frequency=100e6)
        solved.append(result)
        print(f"D = {d * 1e3:4.2f} mm: Zo = {result.Zo:6.2f} ohm, C = {result.C * 1e12:6.2f} pF/m, "
              f"L = {result.L * 1e9:6.1f} nH/m, Rs = {result.Rs:.3f} ohm/m")

    ratio = np.linspace(inner[0], inner[-1], 100) / centre
    figure, axes = plt.subplots(figsize=(6.4, 4.2))
    axes.plot(ratio, 60 * np.log(ratio), color="0.6", label="closed form 60 ln(D/d)")
    axes.plot(inner / centre, [r.Zo for r in solved], "o", color="C3",
              label="zolva, about 1500 conductor pixels")
    axes.set_xlabel("shield inner diameter / centre diameter, D/d")
    axes.set_ylabel("Zo (ohm)")
    axes.set_title("Air coax, centre conductor 1 mm, at 100 MHz")
    axes.grid(True, alpha=0.3)
    axes.legend()
    figure.tight_layout()
    path = os.path.join(folder, "coax sweep.png")
    figure.savefig(path, dpi=100)
    print(f"written: {path}")
    worst = max(abs(r.Zo / (60 * math.log(d / centre)) - 1) for r, d in zip(solved, inner))
    print(f"largest difference from the closed form: {worst * 100:.1f} %")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else ".")
