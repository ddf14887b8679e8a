"""The drawn microstrip of examples/microstrip-solve.txt over frequency, as a scikit-rf network.

The Usermap is a copper strip 3.5 mm wide on 1.6 mm of FR4 over a ground plane. zolva solves its
R, L, G and C per metre from 1 MHz to 3 GHz; scikit-rf's distributed-circuit media turns them into
a 2-port network of 10 cm of line between 50 ohm ports.

Run it with Debian's Python from the repository's top folder, after building:
    PYTHONPATH=build/python /usr/bin/python3 examples/python/microstrip_network.py [OUTPUT_FOLDER]
It writes "microstrip network.png" and "microstrip.s2p" into OUTPUT_FOLDER (default: the working
folder).
"""
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import zolva  # noqa: E402

EXAMPLES = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def main(folder):
    strip = zolva.usermap(os.path.join(EXAMPLES, "Usermap microstrip (0.05mm).png"))
    frequencies = np.array([1e6, 1e7, 1e8, 3e8, 1e9, 3e9])  # Hz
    result = strip.solve(frequency=100e6)
    print(f"at 100 MHz: Zo = {result.Zo:.2f} ohm, vf = {result.vf:.3f}")
    network = result.network(frequencies, length=0.1, z0=50)
    network.write_touchstone(os.path.join(folder, "microstrip"))
    line = strip.rlgc(frequencies)
    w = 2 * np.pi * line.frequency
    zo = np.sqrt((line.R + 1j * w * line.L) / (line.G + 1j * w * line.C))
    for f, z, s21 in zip(network.f, zo, network.s_db[:, 1, 0]):
        print(f"{f / 1e6:7.0f} MHz: |Zo| = {abs(z):6.2f} ohm, S21 of 10 cm = {s21:7.4f} dB")

    figure, (top, bottom) = plt.subplots(2, 1, figsize=(6.4, 6.0), sharex=True)
    top.semilogx(line.frequency, np.abs(zo), "o-", color="C0")
    top.set_ylabel("|Zo| (ohm)")
    top.set_title("Microstrip 3.5 mm on 1.6 mm FR4, drawn as a Usermap")
    top.grid(True, which="both", alpha=0.3)
    bottom.semilogx(network.f, network.s_db[:, 1, 0], "o-", color="C3")
    bottom.set_xlabel("frequency (Hz)")
    bottom.set_ylabel("S21 (dB), 10 cm, 50 ohm ports", color="C3")
    bottom.grid(True, which="both", alpha=0.3)
    reflection = bottom.twinx()
    reflection.semilogx(network.f, network.s_db[:, 0, 0], "s--", color="C2")
    reflection.set_ylabel("S11 (dB)", color="C2")
    figure.tight_layout()
    path = os.path.join(folder, "microstrip network.png")
    figure.savefig(path, dpi=100)
    print(f"written: {path}")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else ".")
