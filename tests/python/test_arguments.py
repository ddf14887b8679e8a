"""Bad arguments raise TypeError or ValueError with messages that name the item and the value,
and leave the section as it was; failed solves raise zolva.SolveError."""
import numpy as np
import pytest

import zolva


@pytest.fixture
def line(folder):
    return zolva.coax(centre_diameter="1mm", shield_inner_diameter="3.5mm",
                      shield_outer_diameter="4mm", total_pixels=150)


def test_keywords_of_the_generators(folder):
    with pytest.raises(TypeError, match="unexpected keyword argument 'diameter'.*centre_diameter"):
        zolva.coax(diameter=1e-3)
    with pytest.raises(ValueError, match="wire_diameter: cannot read \"2 parsecs\" as a length"):
        zolva.twinlead(wire_diameter="2 parsecs")
    with pytest.raises(TypeError, match="separation must be a length.*list"):
        zolva.square_twinlead(separation=[1])
    with pytest.raises(ValueError, match="finite"):
        zolva.twinlead(separation=float("nan"))
    with pytest.raises(TypeError, match="air_dielectric must be True or False"):
        zolva.coax(air_dielectric=1)
    with pytest.raises(TypeError, match="total_pixels must be an int"):
        zolva.coax(total_pixels=100.5)
    with pytest.raises(ValueError, match="total_pixels must be a pixel count"):
        zolva.coax(total_pixels=0)
    with pytest.raises(ValueError, match="frequency must be above 0 Hz; got -1"):
        zolva.coax(frequency=-1)
    # AWG and inches as the panel reads them.
    assert zolva.length_in_metres("12 AWG") == pytest.approx(0.0808 * 0.0254, rel=1e-3)
    assert zolva.length_in_metres("2") == 2 * 0.0254


def test_a_refused_cross_section_leaves_the_section_as_it_was(line):
    before = line.solve(what="C", progress=None).C
    size = line.size
    with pytest.raises(ValueError) as refused:
        line.set(shield_inner_diameter="0.5mm")  # inside the centre conductor
    assert str(refused.value).startswith("coax: ")
    assert line.size == size
    assert line.solve(what="C", progress=None).C == before


def test_solve_arguments(line):
    with pytest.raises(ValueError, match='what must be "full", "C"'):
        line.solve(what="Z")
    with pytest.raises(ValueError, match="threads must be 1 to 64; got 0"):
        line.solve(threads=0)
    with pytest.raises(TypeError, match="estimate must be True or False"):
        line.solve(estimate="yes")
    with pytest.raises(TypeError, match="progress must be a callable"):
        line.solve(progress=42)
    with pytest.raises(ValueError, match="frequencies must be above 0 Hz; got 0"):
        line.rlgc([1e6, 0])
    with pytest.raises(TypeError, match="frequencies must be"):
        line.rlgc("100MHz")
    with pytest.raises(ValueError, match='coupled=True needs what="full"; got what="C"'):
        line.solve(what="C", coupled=True)
    with pytest.raises(TypeError, match="coupled must be True or False"):
        line.solve(coupled=1)
    assert issubclass(zolva.SolveError, RuntimeError)
    result = line.solve(what="C", progress=None)
    with pytest.raises(ValueError, match="mode must be 0 to 7"):
        result.picture(8)
    with pytest.raises(ValueError, match="length must be above 0 m"):
        result.network([1e6], 0)
    with pytest.raises(TypeError, match="z0 must be a number"):
        result.network([1e6], 1.0, z0="50")


def test_usermap_arguments(folder):
    # A red strip in a closed green box.
    red_on_green = np.zeros((20, 30, 3), dtype=np.uint8)
    red_on_green[:, :] = (0, 255, 0)
    red_on_green[1:-1, 1:-1] = (255, 255, 255)
    red_on_green[8:12, 10:20] = (255, 0, 0)
    with pytest.raises(TypeError, match="dtype uint8"):
        zolva.usermap(red_on_green.astype(float), pixel_width=1e-4)
    with pytest.raises(ValueError, match=r"shape \(height, width, 3\)"):
        zolva.usermap(red_on_green[:, :, :2], pixel_width=1e-4)
    with pytest.raises(ValueError, match="no pixel width"):
        zolva.usermap(red_on_green)
    with pytest.raises(ValueError, match="no picture file"):
        zolva.usermap(str(folder / "missing (0.1mm).png"))
    with pytest.raises(ValueError, match="a colour must be 0xRRGGBB"):
        zolva.usermap(red_on_green, pixel_width=1e-4, colours={"red": ("x", "+1", 1e-8)})
    with pytest.raises(ValueError, match='kind must be "\\+1"'):
        zolva.usermap(red_on_green, pixel_width=1e-4, colours={0x808080: ("x", "metal", 1e-8)})
    with pytest.raises(ValueError, match="permittivity must be a number of at least 1"):
        zolva.usermap(red_on_green, pixel_width=1e-4,
                      colours={(128, 128, 128): ("slab", "insulator", 0.5)})

    # A colour of one's own: a grey insulator of permittivity 4 raises C over vacuum's.
    strip = zolva.usermap(red_on_green, pixel_width=1e-4)
    filled = red_on_green.copy()
    filled[12:19, 1:-1] = (128, 128, 128)
    loaded = zolva.usermap(filled, pixel_width="0.1mm",
                           colours={"#808080": {"name": "slab", "kind": "insulator",
                                                "permittivity": 4.0}})
    assert loaded.solve(what="C", progress=None).C > 1.5 * strip.solve(what="C",
                                                                       progress=None).C
