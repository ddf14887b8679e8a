"""The CPL model of a coupled pair in ngspice: near- and far-end crosstalk.

The tool writes the files of a symmetric lossless pair over a ground plane (known in closed
form, the even mode slower than the odd) 0.3 m long and prints its result lines. ngspice drives
conductor 1 with a ramp, every end terminated in sqrt(Zodd Zeven), which absorbs the even and
the odd mode alike to first order. Read at the near end of the quiet conductor 2 halfway through
its plateau (2 delays long), the near-end crosstalk over the driven conductor's step must be Kb
within 2 % (the coupling's first order), and the odd and even modes' exact amplitude
(sqrt Zeven - sqrt Zodd) / (sqrt Zeven + sqrt Zodd) within 0.2 %. The far-end pulse of the quiet
conductor must be Kf length / rise time of the step within 10 %.

Run by ctest: usage  coupled_ngspice.py TOOL NGSPICE WORK_DIR
Exit status 77 (skipped) only when ngspice is not installed.
"""
import math
import os
import re
import shutil
import subprocess
import sys

LENGTH = 0.3
RISE = 0.4e-9

NETLIST = """crosstalk of a coupled pair
.include {card}
V1 in 0 PWL(0 0 0.1n 0 {end} 1)
Rsource in n1 {r}
Rnear n2 0 {r}
Rfar1 f1 0 {r}
Rfar2 f2 0 {r}
P1 n1 n2 0 f1 f2 0 pair
.tran 2p 5n
.meas tran vdriven find v(n1) at={probe}
.meas tran vnear find v(n2) at={probe}
.meas tran vfar min v(f2)
.end
"""


def figure(lines, name):
    found = re.search(rf"\b{name} = ([-+0-9.eE]+)", lines)
    assert found, (name, lines)
    return float(found.group(1))


def main(tool, ngspice, work):
    if not ngspice or not os.path.exists(ngspice):
        print("skipped: ngspice is not installed")
        return 77
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    run = subprocess.run([tool, os.path.join(work, "pair.csv"), str(LENGTH), "50", "pair"],
                         check=True, capture_output=True, text=True)
    lines = run.stdout
    zodd, zeven = figure(lines, "Zodd"), figure(lines, "Zeven")
    kb, kf = figure(lines, "Kb 1-2"), figure(lines, "Kf 1-2")
    vf_odd, vf_even = figure(lines, "vf odd"), figure(lines, "vf even")
    delay = LENGTH / (min(vf_odd, vf_even) * 299792458.0)

    netlist = os.path.join(work, "crosstalk.cir")
    with open(netlist, "w") as f:
        f.write(NETLIST.format(card=os.path.join(work, "pair.lib"), r=repr(math.sqrt(zodd * zeven)),
                               end=repr(0.1e-9 + RISE), probe=repr(0.1e-9 + RISE + delay / 2)))
    run = subprocess.run([ngspice, "-b", netlist], capture_output=True, text=True, timeout=120)
    output = run.stdout + run.stderr
    values = dict(re.findall(r"^\s*(vdriven|vnear|vfar)\s*=\s*([-+0-9.eE]+)", output, re.M))
    assert run.returncode == 0 and len(values) == 3, output
    driven, near, far = (float(values[k]) for k in ("vdriven", "vnear", "vfar"))
    next_ratio = near / driven
    exact = (math.sqrt(zeven) - math.sqrt(zodd)) / (math.sqrt(zeven) + math.sqrt(zodd))
    fext_ratio = far / driven
    fext_expected = kf * LENGTH / RISE
    print(f"near-end crosstalk {next_ratio:.6g}, Kb {kb:.6g} "
          f"({100 * (next_ratio / kb - 1):+.3f} %), odd and even modes {exact:.6g} "
          f"({100 * (next_ratio / exact - 1):+.3f} %)")
    print(f"far-end crosstalk {fext_ratio:.6g}, Kf length / rise time {fext_expected:.6g} "
          f"({100 * (fext_ratio / fext_expected - 1):+.3f} %)")
    assert abs(next_ratio / kb - 1) < 0.02, (next_ratio, kb)
    assert abs(next_ratio / exact - 1) < 0.002, (next_ratio, exact)
    assert abs(fext_ratio / fext_expected - 1) < 0.10, (fext_ratio, fext_expected)
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3]))
