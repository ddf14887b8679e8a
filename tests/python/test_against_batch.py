"""The module and zolva-batch on the same inputs: the same solves, the same figures to 1e-12, and
the scikit-rf network equal to the Touchstone file zolva-batch writes."""
import csv
import json
import os
import subprocess

import numpy as np
import pytest

import zolva
from conftest import run_batch

COAX_SCRIPT = "COA\nCEN 1mm\nINN 3.5mm\nOUT 4mm\nBOX 30 T\nTOT 300\nFRE 10\nSOL\n"


def coax():
    # Numbers (metres) and texts mixed: both must reach the panel as the script's texts do.
    return zolva.coax(centre_diameter=1e-3, shield_inner_diameter="3.5mm",
                      shield_outer_diameter=0.004, air_dielectric=True, total_pixels=300)


def assert_same(result, expected, names):
    for name in names:
        got = getattr(result, name)
        assert got == pytest.approx(expected[name], rel=1e-12, abs=0), name


def test_generated_coax_matches_batch(batch, folder):
    expected = run_batch(batch, folder, COAX_SCRIPT)
    result = coax().solve(frequency=10e6, threads=1, progress=None)
    assert_same(result, expected, ["L", "Rs", "C", "Gp", "VoC", "Qdif", "Zo", "vf"])
    assert result.frequency == 10e6
    assert result.what == "full"


@pytest.mark.parametrize("make, script, estimate", [
    (lambda: zolva.twinlead(wire_diameter="1mm", separation=3e-3, insulation_diameter="1.6mm",
                            top_plane=True, bottom_plane=True, side_planes=True,
                            top_distance="2mm", bottom_distance=2.5e-3, side_distance="3mm",
                            total_pixels=200),
     "TWI\nDIA 1mm\nSEP 3mm\nINS 1.6mm\nBOX 10 T\nBOX 11 T\nBOX 12 T\nTOP 2mm\nBOT 2.5mm\n"
     "SID 3mm\nTOT 200\n", False),
    (lambda: zolva.square_twinlead(wire_width="2mm", wire_height=0.5e-3, separation="4mm",
                                   top_plane=True, bottom_plane=True, side_planes=True,
                                   top_distance=1.5e-3, bottom_distance="1mm", side_distance="4mm",
                                   half_ground_plane=True, total_pixels=200),
     "SQU\nWID 2mm\nHEI 0.5mm\nSEP 4mm\nBOX 10 T\nBOX 11 T\nBOX 12 T\nTOP 1.5mm\nBOT 1mm\n"
     "SID 4mm\nBOX 23 T\nTOT 200\n", False),
    (lambda: zolva.coax(centre_diameter="0.5mm", shield_inner_diameter=3.5e-3,
                        shield_outer_diameter="4mm", two_wire=True, skew=1e-3, total_pixels=300),
     "COA\nCEN 0.5mm\nINN 3.5mm\nOUT 4mm\nBOX 15 T\nSKE 1mm\nTOT 300\n", True),
])
def test_keywords_reach_the_panels_fields(batch, folder, make, script, estimate):
    expected = run_batch(batch, folder, script + "CGP\n", *(["--estimate-error"] * estimate))
    result = make().solve(what="C", estimate=estimate, progress=None)
    assert_same(result, expected, ["C", "Gp", "VoC", "Qdif"])
    if estimate:
        assert result.estimate["C"].extrapolated == pytest.approx(expected["estimate C"],
                                                                  rel=1e-12, abs=0)


def test_usermap_from_file_and_from_array_match_batch(batch, folder, examples):
    path = os.path.join(examples, "Usermap stripline (0.1mm).bmp")
    expected = run_batch(batch, folder, f"OPEN {path}\nFRE 100\nSOL\n")
    from_file = zolva.usermap(path).solve(frequency=100e6, threads=1, progress=None)
    assert_same(from_file, expected, ["L", "Rs", "C", "Gp", "Zo", "vf"])

    # The same pixels from memory, the pixel width given in metres.
    from PIL import Image
    pixels = np.asarray(Image.open(path).convert("RGB"))
    from_array = zolva.usermap(pixels, pixel_width=0.1e-3).solve(frequency=100e6, threads=1,
                                                                  progress=None)
    assert_same(from_array, expected, ["L", "Rs", "C", "Gp", "Zo", "vf"])
    assert from_array.pixel_width == 0.1e-3


def test_rlgc_and_network_match_the_table_and_touchstone_file(batch, folder):
    import skrf

    frequencies = [1e6, 1e7, 1e8, 1e9]
    script = "COA\nCEN 1mm\nINN 3.5mm\nOUT 4mm\nBOX 30 T\nTOT 300\n"
    run_batch(batch, folder, script, "--frequencies", "1,10,100,1000", "--rlgc",
              str(folder / "coax.csv"), "--length", "1m", "--z0", "50")
    with open(folder / "coax.csv", newline="") as f:
        table = np.array([[float(x) for x in row[:5]] for row in list(csv.reader(f))[1:]])

    line = coax()
    rlgc = line.rlgc(frequencies, progress=None)
    for column, name in enumerate(["frequency", "R", "L", "G", "C"]):
        np.testing.assert_allclose(getattr(rlgc, name), table[:, column], rtol=1e-12, atol=0,
                                   err_msg=name)

    network = line.solve(what="C", progress=None).network(frequencies, "1m", z0=50,
                                                           progress=None)
    touchstone = skrf.Network(str(folder / "coax.s2p"))
    assert isinstance(network, skrf.Network)
    np.testing.assert_array_equal(network.f, touchstone.f)
    np.testing.assert_allclose(network.z0, 50.0, rtol=0, atol=0)
    worst = np.max(np.abs(network.s - touchstone.s))
    assert worst < 1e-12, worst


def test_fields_and_pictures_of_a_solve(folder):
    line = coax()
    result = line.solve(progress=None)
    potential = result.potential
    values = np.asarray(potential)
    assert values.shape == (len(potential.y), len(potential.x))
    assert not values.flags.writeable
    # The centre conductor at +1 V inside a shield at 0 V.
    assert values.max() == pytest.approx(1.0, abs=1e-9)
    assert values.min() == pytest.approx(0.0, abs=1e-9)
    assert np.allclose(np.diff(potential.x), result.pixel_width)
    assert potential.dx == result.pixel_width
    density = result.current_density.values
    assert density.max() > 0 and density.min() >= 0

    width, height = line.size
    picture = result.picture("V")
    assert picture.dtype == np.uint8 and picture.shape[2] == 3
    assert picture is result.picture(1)  # kept: one picture per mode
    # A later change of the section: the fields stay, its pictures are no longer this result's.
    line.set(total_pixels=200)
    assert np.array_equal(np.asarray(result.potential), values)
    with pytest.raises(zolva.SolveError, match="changed since this result"):
        result.picture("E")


def test_import_leaves_scikit_rf_out():
    # scikit-rf (and numpy) only when a network or an array is asked for.
    code = ("import sys, zolva; print(zolva.coax(total_pixels=100).solve(what='C', progress=None)"
            ".Zo > 0, 'skrf' in sys.modules)")
    out = subprocess.run(["/usr/bin/python3", "-c", code], capture_output=True, text=True,
                         check=True).stdout.split()
    assert out == ["True", "False"]


def coupled_batch_object(batch, folder, script, *options):
    """The JSON object of zolva-batch's last coupled solve."""
    path = os.path.join(folder, "script.txt")
    with open(path, "w") as f:
        f.write(script)
    done = subprocess.run([batch, "--no-startup", "--json", "--threads", "1", "--folder",
                           str(folder), path, *options], capture_output=True, text=True,
                          check=True)
    objects = [json.loads(line) for line in done.stdout.splitlines()]
    return [o for o in objects if o.get("kind") == "coupled"][-1]


def test_coupled_pair_matches_batch_and_its_touchstone_file(batch, folder, examples):
    import skrf
    from skrf.network import s2a

    path = os.path.join(examples, "Usermap differential pair (0.05mm).png")
    expected = coupled_batch_object(batch, folder, f"OPEN {path}\nFRE 100\nBOX 7 T\nSOL\n")
    pair = zolva.usermap(path)
    result = pair.solve(frequency=100e6, threads=1, coupled=True, progress=None)
    assert result.coupled and result.matrices.names == ["1", "2"]
    assert result.Zo is None and "Zdiff=" in repr(result)
    for name in "CGLR":
        np.testing.assert_allclose(getattr(result.matrices, name),
                                   expected["matrices"][name], rtol=1e-12, atol=0, err_msg=name)
    modes = expected["modes"]
    for name in ("Zodd", "Zeven", "Zdiff", "Zcomm"):
        assert getattr(result.modes, name) == pytest.approx(modes[name], rel=1e-12, abs=0), name
    assert result.modes.Kb[0, 1] == pytest.approx(modes["Kb_1_2"], rel=1e-12, abs=0)
    assert result.modes.Kf[1, 0] == pytest.approx(modes["Kf_1_2"], rel=1e-12, abs=0)
    np.testing.assert_allclose(result.modes.vf, [modes["vf_mode_1"], modes["vf_mode_2"]],
                               rtol=1e-12, atol=0)

    # The 4-port network against the Touchstone file of zolva-batch --coupled --rlgc.
    table = str(folder / "pair.csv")
    coupled_batch_object(batch, folder, f"OPEN {path}\n", "--coupled", "--frequencies",
                         "10,100,1000", "--rlgc", table, "--length", "10cm", "--z0", "50")
    touchstone = skrf.Network(str(folder / "pair.s4p"))
    network = result.network([1e7, 1e8, 1e9], "10cm", z0=50, progress=None)
    assert network.nports == 4
    np.testing.assert_array_equal(network.f, touchstone.f)
    worst = np.max(np.abs(network.s - touchstone.s))
    assert worst < 1e-12, worst

    # Ports 1, 2 the near ends, 3, 4 the far ends: scikit-rf's mixed modes of the symmetric pair
    # see a differential line of zolva's Zdiff, up to the copper's loss at 1 GHz.
    if "bool" not in np.__dict__:
        np.bool = bool  # scikit-rf 0.15 still names it; numpy 1.24 no longer has it
    mixed = touchstone.copy()
    mixed.se2gmm(p=2, z0_mm=np.tile([100.0, 100.0, 25.0, 25.0], (len(mixed.f), 1)))
    abcd = s2a(mixed.s[:, 0:2, 0:2], 100.0)
    zdiff = np.sqrt(abcd[:, 0, 1] / abcd[:, 1, 0])
    assert abs(zdiff[-1] / result.modes.Zdiff - 1) < 0.01, (zdiff, result.modes.Zdiff)
    assert np.max(np.abs(mixed.s[:, 0:2, 2:4])) < 1e-6  # no mode conversion
