"""The examples of examples/python run to their end and write their plots."""
import os
import subprocess
import sys

import pytest

import zolva


def run_example(examples, name, folder):
    env = dict(os.environ, MPLBACKEND="Agg")
    script = os.path.join(examples, "python", name)
    done = subprocess.run([sys.executable, script, str(folder)], capture_output=True, text=True,
                          env=env, cwd=folder)
    assert done.returncode == 0, done.stderr
    return done.stdout


def test_coax_sweep(examples, folder):
    out = run_example(examples, "coax_sweep.py", folder)
    assert (folder / "coax sweep.png").stat().st_size > 0
    assert "largest difference from the closed form" in out


def test_microstrip_network(examples, folder):
    run_example(examples, "microstrip_network.py", folder)
    assert (folder / "microstrip network.png").stat().st_size > 0
    assert (folder / "microstrip.s2p").stat().st_size > 0


def test_differential_pair(examples, folder):
    out = run_example(examples, "differential_pair.py", folder)
    assert (folder / "differential pair.png").stat().st_size > 0
    assert "Zdiff" in out
