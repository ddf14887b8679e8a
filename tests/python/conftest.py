"""Shared by the tests of the Python module: zolva-batch, the examples and a scratch folder.

CTest runs them with Debian's /usr/bin/python3, PYTHONPATH naming the module in the build tree,
ZOLVA_BATCH the zolva-batch of the same build and ZOLVA_EXAMPLES the examples folder.
"""
import json
import os
import subprocess

import pytest


@pytest.fixture(scope="session")
def batch():
    return os.environ["ZOLVA_BATCH"]


@pytest.fixture(scope="session")
def examples():
    return os.environ["ZOLVA_EXAMPLES"]


@pytest.fixture
def folder(tmp_path, monkeypatch):
    """A program folder of its own, also the working folder (the module's default)."""
    monkeypatch.chdir(tmp_path)
    return tmp_path


def run_batch(batch, folder, script, *options):
    """Runs the script text with zolva-batch --json: the figures of the last solve of each kind,
    and the extrapolated figures of its estimate as "estimate C" and so on."""
    path = os.path.join(folder, "script.txt")
    with open(path, "w") as f:
        f.write(script)
    done = subprocess.run([batch, "--no-startup", "--json", "--threads", "1", "--folder",
                           str(folder), path, *options], capture_output=True, text=True,
                          check=True)
    end = json.loads(done.stdout.strip().splitlines()[-1])
    figures = {}
    for kind in ("LandRs", "CandGp"):
        if end[kind]:
            for name, value in end[kind]["results"].items():
                if isinstance(value, dict) and "value" in value:
                    figures[name] = value["value"]
            for name, value in end[kind].get("estimate", {}).items():
                figures["estimate " + name] = value["extrapolated"]
    return figures
