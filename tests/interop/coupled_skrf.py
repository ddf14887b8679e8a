"""The 4-port Touchstone file of a coupled pair, read by scikit-rf.

The tool writes the files of a symmetric lossless pair (wires over a ground plane, known in
closed form) and prints its result lines. scikit-rf reads the .s4p (ports 1, 2 the near ends of
conductors 1, 2; ports 3, 4 their far ends), converts it to mixed-mode S-parameters, and the
differential and common-mode lines it finds must have the characteristic impedances Zdiff and
Zcomm that the result lines report: from the differential-mode two-port's ABCD matrix,
Z = sqrt(B / C), at every frequency. A symmetric pair converts no mode into the other.

Run by ctest with Debian's /usr/bin/python3: usage  coupled_skrf.py TOOL WORK_DIR
Exit status 77 (skipped) only when scikit-rf is not installed.
"""
import os
import re
import shutil
import subprocess
import sys

try:
    import numpy as np
    import skrf
    from skrf.network import s2a
except ModuleNotFoundError as missing:
    print(f"skipped: {missing}")
    sys.exit(77)

# Debian 12's scikit-rf 0.15 builds its mixed-mode port maps with numpy.bool, an alias of bool
# that its numpy 1.24 no longer has.
if "bool" not in np.__dict__:
    np.bool = bool


def figure(lines, name):
    found = re.search(rf"\b{name} = ([-+0-9.eE]+)", lines)
    assert found, (name, lines)
    return float(found.group(1))


def line_impedance(s, z0):
    abcd = s2a(s, z0)
    return np.sqrt(abcd[:, 0, 1] / abcd[:, 1, 0])


def main(tool, work):
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    z0 = 50.0
    run = subprocess.run([tool, os.path.join(work, "pair.csv"), "0.05", str(z0), "pair"],
                         check=True, capture_output=True, text=True)
    zdiff, zcomm = figure(run.stdout, "Zdiff"), figure(run.stdout, "Zcomm")

    network = skrf.Network(os.path.join(work, "pair.s4p"))
    assert network.nports == 4 and len(network.f) == 5, network
    assert np.allclose(network.z0, z0, rtol=0, atol=0)
    # scikit-rf 0.15 pairs consecutive ports, as the file orders them: the near ends (ports 1, 2)
    # become the first mixed-mode port, the far ends (3, 4) the second. Differential reference
    # 2 z0, common-mode reference z0 / 2.
    mixed = network.copy()
    mixed.se2gmm(p=2, z0_mm=np.tile([2 * z0, 2 * z0, z0 / 2, z0 / 2], (len(network.f), 1)))
    dd, cc, dc = mixed.s[:, 0:2, 0:2], mixed.s[:, 2:4, 2:4], mixed.s[:, 0:2, 2:4]
    conversion = np.max(np.abs(dc))
    found_diff = line_impedance(dd, 2 * z0)
    found_comm = line_impedance(cc, z0 / 2)
    worst_diff = np.max(np.abs(found_diff / zdiff - 1))
    worst_comm = np.max(np.abs(found_comm / zcomm - 1))
    print(f"Zdiff {zdiff} ohms reported, scikit-rf's mixed mode {found_diff.real.round(4)}: "
          f"largest relative difference {worst_diff:.2g}")
    print(f"Zcomm {zcomm} ohms reported, scikit-rf's mixed mode {found_comm.real.round(4)}: "
          f"largest relative difference {worst_comm:.2g}; mode conversion {conversion:.2g}")
    assert worst_diff < 1e-5 and worst_comm < 1e-5, (worst_diff, worst_comm)
    assert conversion < 1e-9, conversion
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
