"""The Touchstone file of zolva-batch, read back by scikit-rf.

zolva-batch writes the RLGC table and the .s2p file of 1 m of a small coax; scikit-rf reads the
.s2p, and its frequencies, reference impedance and S-parameters must be those that scikit-rf's
own ABCD-to-S conversion (skrf.network.a2s) gives for the line that the table describes.

Run by ctest with Debian's /usr/bin/python3: usage  touchstone_skrf.py ZOLVA_BATCH WORK_DIR
Exit status 77 (skipped) only when scikit-rf is not installed.
"""
import csv
import os
import shutil
import subprocess
import sys

try:
    import numpy as np
    import skrf
    from skrf.network import a2s
except ModuleNotFoundError as missing:
    print(f"skipped: {missing}")
    sys.exit(77)

COAX = "COA\nCEN 1mm\nINN 3.5mm\nOUT 4mm\nBOX 30 T\nTOT 300\n"


def main(batch, work):
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    with open(os.path.join(work, "coax.txt"), "w") as f:
        f.write(COAX)
    table = os.path.join(work, "coax.csv")
    subprocess.run([batch, "--no-startup", "--folder", work, os.path.join(work, "coax.txt"),
                    "--frequencies", "1,10,100,1000", "--rlgc", table, "--length", "1m",
                    "--z0", "50"], check=True, stdout=subprocess.DEVNULL)
    with open(table, newline="") as f:
        rows = [[float(x) for x in row] for row in list(csv.reader(f))[1:]]
    f, R, L, G, C = (np.array([row[i] for row in rows]) for i in range(5))

    network = skrf.Network(os.path.join(work, "coax.s2p"))
    assert np.array_equal(network.f, f), (network.f, f)
    assert np.allclose(network.z0, 50.0, rtol=0, atol=0), network.z0

    w = 2 * np.pi * f
    z = R + 1j * w * L
    y = G + 1j * w * C
    gamma = np.sqrt(z * y)
    zo = z / gamma
    length = 1.0
    abcd = np.empty((len(f), 2, 2), dtype=complex)
    abcd[:, 0, 0] = np.cosh(gamma * length)
    abcd[:, 0, 1] = zo * np.sinh(gamma * length)
    abcd[:, 1, 0] = np.sinh(gamma * length) / zo
    abcd[:, 1, 1] = np.cosh(gamma * length)
    expected = a2s(abcd, 50.0)
    worst = np.max(np.abs(network.s - expected))
    print(f"{len(f)} frequencies, largest difference of S from scikit-rf's: {worst:.3g}")
    assert worst < 1e-9, worst
    # A passive line: no S-parameter above 1, and the two ports alike.
    assert np.all(np.abs(network.s) <= 1 + 1e-12)
    assert np.allclose(network.s[:, 0, 1], network.s[:, 1, 0], rtol=0, atol=1e-15)
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
