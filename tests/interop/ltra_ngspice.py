"""The LTRA model card of zolva-batch in ngspice.

zolva-batch writes the LTRA card of 1 m of a small coax at 100 MHz; ngspice runs a transient
analysis of a fast step into that line between matched resistors, and the step must arrive
length / (vf c) after it left, within 1 %, vf being the table's velocity factor at 100 MHz.

Run by ctest: usage  ltra_ngspice.py ZOLVA_BATCH NGSPICE WORK_DIR
Exit status 77 (skipped) only when ngspice is not installed.
"""
import csv
import os
import re
import shutil
import subprocess
import sys

COAX = "COA\nCEN 1mm\nINN 3.5mm\nOUT 4mm\nBOX 30 T\nTOT 300\n"
SPEED_OF_LIGHT = 299792458.0

NETLIST = """step into 1 m of the line
.include {card}
V1 in 0 PULSE(0 1 1n 20p 20p 100n 200n)
Rsource in a {zo}
O1 a 0 b 0 {model}
Rload b 0 {zo}
.tran 2p 12n
.meas tran tsent when v(a)={half} rise=1
.meas tran tarrived when v(b)={half} rise=1
.end
"""


def main(batch, ngspice, work):
    if not ngspice or not os.path.exists(ngspice):
        print("skipped: ngspice is not installed")
        return 77
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    with open(os.path.join(work, "coax.txt"), "w") as f:
        f.write(COAX)
    table = os.path.join(work, "coax.csv")
    subprocess.run([batch, "--no-startup", "--folder", work, os.path.join(work, "coax.txt"),
                    "--frequencies", "10,100", "--rlgc", table, "--length", "1m", "--spice",
                    "100"], check=True, stdout=subprocess.DEVNULL)
    with open(table, newline="") as f:
        rows = [[float(x) for x in row] for row in list(csv.reader(f))[1:]]
    row = next(r for r in rows if r[0] == 1e8)
    zo, vf = row[5], row[9]
    expected = 1.0 / (vf * SPEED_OF_LIGHT)

    # Half of the matched step at each end: 0.25 V of the 0.5 V that reaches the line.
    netlist = os.path.join(work, "step.cir")
    with open(netlist, "w") as f:
        f.write(NETLIST.format(card=os.path.join(work, "coax.lib"), zo=repr(zo), model="coax",
                               half=0.25))
    run = subprocess.run([ngspice, "-b", netlist], capture_output=True, text=True, timeout=120)
    output = run.stdout + run.stderr
    times = dict(re.findall(r"^\s*(tsent|tarrived)\s*=\s*([-+0-9.eE]+)", output, re.M))
    assert run.returncode == 0 and len(times) == 2, output
    delay = float(times["tarrived"]) - float(times["tsent"])
    print(f"delay {delay:.6g} s, length / (vf c) = {expected:.6g} s")
    assert abs(delay / expected - 1) < 0.01, (delay, expected)
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3]))
