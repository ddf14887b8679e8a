"""What the Python module costs beside the solves: its import, its overhead per call, and a sweep
of 20 generated coax solves from Python against the same sweep as a zolva-batch script.

Run it with Debian's Python from the repository's top folder, after building:
    PYTHONPATH=build/python /usr/bin/python3 bench/python_sweep.py build/app/zolva-batch
Prints the figures and their ratios; times are the least of a few runs.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

import zolva

INNER = [f"{2.0 + 0.15 * i:.2f}mm" for i in range(20)]
SETUP = dict(centre_diameter="1mm", shield_outer_diameter="6mm", air_dielectric=True,
             total_pixels=400)


def import_seconds():
    def run(code):
        start = time.perf_counter()
        subprocess.run([sys.executable, "-c", code], check=True)
        return time.perf_counter() - start
    bare = min(run("pass") for _ in range(5))
    return min(run("import zolva") for _ in range(5)) - bare


def overhead_per_call():
    line = zolva.coax(total_pixels=100)
    extra = []
    for _ in range(50):
        start = time.perf_counter()
        result = line.solve(what="C", threads=1, progress=None)
        extra.append(time.perf_counter() - start - result.seconds)
    return statistics.median(extra)


def python_sweep():
    start = time.perf_counter()
    for inner in INNER:
        zolva.coax(shield_inner_diameter=inner, **SETUP).solve(frequency=10e6, threads=1,
                                                               progress=None)
    return time.perf_counter() - start


def batch_sweep(batch, folder, steps=INNER):
    script = os.path.join(folder, "sweep.txt")
    with open(script, "w") as f:
        f.write("COA\nCEN 1mm\nOUT 6mm\nBOX 30 T\nTOT 400\nFRE 10\n")
        for inner in steps:
            f.write(f"INN {inner}\nSOL\n")
    start = time.perf_counter()
    subprocess.run([batch, "--no-startup", "--threads", "1", "--folder", folder, script],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def main(batch):
    with tempfile.TemporaryDirectory() as folder:
        os.chdir(folder)
        imported = import_seconds()
        overhead = overhead_per_call()
        py, bt, start = [], [], []
        for _ in range(3):
            py.append(python_sweep())
            bt.append(batch_sweep(batch, folder))
            start.append(batch_sweep(batch, folder, []))
    print(f"import zolva: {imported * 1e3:.1f} ms (target 200 ms: {imported / 0.2:.2f} of it)")
    print(f"overhead per solve call beside the solve: {overhead * 1e6:.0f} us "
          f"(target 1 ms: {overhead / 1e-3:.3f} of it)")
    print(f"20 coax solves: Python {min(py):.2f} s, zolva-batch script {min(bt):.2f} s, "
          f"ratio {min(py) / min(bt):.3f}; without zolva-batch's start ({min(start):.3f} s) "
          f"{min(py) / (min(bt) - min(start)):.3f}")


if __name__ == "__main__":
    main(sys.argv[1])
