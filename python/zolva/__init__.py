"""zolva: the constants of a transmission line from its cross-section.

Make a cross-section, solve it, read the figures per metre of line in SI units:

    >>> import zolva
    >>> line = zolva.coax(centre_diameter="1mm", shield_inner_diameter=3.5e-3,
    ...                   shield_outer_diameter=4e-3, air_dielectric=True)
    >>> result = line.solve(frequency=100e6)
    >>> result.Zo, result.C, result.L, result.Rs

Lengths are metres, or texts with a unit as the control panel takes them ("0.2mm", "12 AWG");
frequencies are hertz. A solve that fails raises zolva.SolveError (a RuntimeError) with the text
the desktop program would show; bad arguments raise ValueError or TypeError. Ctrl-C stops a
solve and raises KeyboardInterrupt. scikit-rf is imported only when a network is asked for.
"""
import collections
import numbers
import sys

from ._zolva import (Estimate, Field, Matrices, Modes, PeakField, Result, Section, SolveError,
                     length_in_metres, usermap)
from . import _zolva

__all__ = ["coax", "twinlead", "square_twinlead", "usermap", "Section", "Result", "Matrices",
           "Modes", "Field", "Estimate", "PeakField", "RLGC", "SolveError", "length_in_metres"]

RLGC = collections.namedtuple("RLGC", "frequency R L G C")
RLGC.__doc__ = ("The line's constants per metre at each frequency, as numpy arrays: frequency "
                "(Hz), R (ohm/m), L (H/m), G (S/m), C (F/m).")
RLGC.frequency.__doc__ = "The frequencies, Hz."
RLGC.R.__doc__ = "Series resistance of the skin effect, ohm/m."
RLGC.L.__doc__ = "Inductance, H/m."
RLGC.G.__doc__ = "Conductance of the dielectric loss, S/m (in proportion to the frequency)."
RLGC.C.__doc__ = "Capacitance, F/m."


def _generated(kind, function, summary):
    def make(**keywords):
        return _zolva._generated(kind, **keywords)

    make.__name__ = make.__qualname__ = function
    make.__doc__ = (summary + "\n\nKeyword arguments (any not given keep the control panel's "
                    "defaults; a length is metres or a text such as \"0.2mm\" or \"12 AWG\"):\n"
                    + _zolva._keyword_help(kind) +
                    "    folder: the program folder (MoreColors.txt is read there); default: the "
                    "working folder\n\nReturns a zolva.Section. Raises TypeError for an unknown "
                    "keyword or a value of the wrong type, ValueError for a value the generator "
                    "refuses.")
    return make


coax = _generated(_zolva.GEOM_COAX, "coax", "A generated coaxial line.")
twinlead = _generated(_zolva.GEOM_TWINLEAD, "twinlead",
                      "A generated round twinlead: two round wires.")
square_twinlead = _generated(_zolva.GEOM_SQUARE_TWINLEAD, "square_twinlead",
                             "A generated square twinlead: two rectangular conductors.")


class _Bar:
    """A tqdm bar that shows the solve's progress texts."""

    def __init__(self, tqdm):
        self._bar = tqdm(total=None, bar_format="zolva: {desc} [{elapsed}]", leave=False)

    def __call__(self, text):
        self._bar.set_description_str(text.strip(), refresh=True)

    def close(self):
        self._bar.close()


def _progress(progress):
    """The callable a solve reports to, and what ends it: a tqdm bar for "auto" when tqdm is
    installed and standard error is a terminal, else nothing."""
    if isinstance(progress, str):
        if progress != "auto":
            raise ValueError(f'progress must be a callable, None or "auto"; got "{progress}"')
        isatty = getattr(sys.stderr, "isatty", None)
        if not (isatty and isatty()):
            return None, None
        try:
            from tqdm import tqdm
        except ImportError:
            return None, None
        bar = _Bar(tqdm)
        return bar, bar.close
    return progress, None


def _solve(self, what="full", frequency=None, threads=None, estimate=False, coupled=False,
           progress="auto"):
    callback, close = _progress(progress)
    try:
        return self._solve(what, frequency, threads, estimate, coupled, callback)
    finally:
        if close:
            close()


_solve.__doc__ = """Solves the cross-section and returns a zolva.Result.

what: "full" (L and Rs, then C and Gp), "C" (C and Gp) or "L" (L and Rs).
frequency: the frequency of the L and Rs solve (and of Gp), Hz; default: as the section holds it.
threads: solver threads, 1 to 64; default: the processors' count.
estimate: also solve at finer pixel sizes and estimate each figure's discretisation error
    (Result.estimate).
coupled: coupled lines (the panel's "Coupled lines"): every separate conductor its own port, the
    reference ground (or the last conductor of a map without ground). The Result then carries
    `matrices` (zolva.Matrices: C, G, L, R per metre) and `modes` (zolva.Modes: Zodd, Zeven,
    Zdiff, Zcomm, the crosstalk coefficients Kb and Kf, the modal velocity factors, Zc); the
    two-conductor figures are not solved. Needs what="full".
progress: a callable that receives the progress texts, None for none, or "auto": a tqdm bar when
    tqdm is installed and standard error is a terminal.

The GIL is released while the solvers run. Ctrl-C stops the solve and raises KeyboardInterrupt;
an exception raised by the progress callable stops it and is raised again. A failure raises
zolva.SolveError with the desktop program's message."""


def _rlgc(self, frequencies, progress="auto"):
    callback, close = _progress(progress)
    try:
        return RLGC(*self._rlgc(frequencies, callback))
    finally:
        if close:
            close()


_rlgc.__doc__ = """R, L, G and C per metre at each frequency (Hz, a number or a sequence), as
a zolva.RLGC of numpy arrays. One C and Gp solve at the first frequency (G grows in proportion to
the frequency) and one L and Rs solve at each; a generated cross-section is drawn at one pixel
width for all of them. The same solves as zolva-batch's --frequencies and --rlgc."""


def _network(self, frequencies, length, z0=50.0, progress="auto"):
    if isinstance(length, str):
        metres = length_in_metres(length)
    elif isinstance(length, numbers.Real) and not isinstance(length, bool):
        metres = float(length)
    else:
        raise TypeError(f"network: length must be metres or a text such as \"30cm\"; got "
                        f"{length!r}")
    if not metres > 0 or metres == float("inf"):
        raise ValueError(f"network: length must be above 0 m; got {length!r}")
    if isinstance(z0, bool) or not isinstance(z0, numbers.Real):
        raise TypeError(f"network: z0 must be a number of ohms; got {z0!r}")
    if not 0 < z0 < float("inf"):
        raise ValueError(f"network: z0 must be above 0 ohms; got {z0!r}")
    import skrf

    if self.coupled:
        # scikit-rf's media model one conductor pair; coupled lines are zolva's modal solution,
        # the same S matrices as its Touchstone file.
        callback, close = _progress(progress)
        try:
            f, s = self.section._coupled_network(frequencies, metres, float(z0), callback)
        finally:
            if close:
                close()
        network = skrf.Network(frequency=skrf.Frequency.from_f(f, unit="hz"), s=s,
                               z0=float(z0))
        network.name = f"zolva coupled {self.section.kind} {metres:g} m"
        return network
    from skrf.media import DistributedCircuit

    line = self.section.rlgc(frequencies, progress=progress)
    media = DistributedCircuit(frequency=skrf.Frequency.from_f(line.frequency, unit="hz"),
                               z0=float(z0), C=line.C, L=line.L, R=line.R, G=line.G)
    # The line in its own characteristic impedance, between ports of z0.
    network = media.line(metres, "m", z0=media.Z0, embed=True)
    network.name = f"zolva {self.section.kind} {metres:g} m"
    return network


_network.__doc__ = """A length of the line as a 2-port skrf.Network between ports of z0 ohms.

frequencies: Hz, a number or a sequence; the section's RLGC is solved at each (see
    Section.rlgc).
length: metres, or a text such as "30cm".
z0: the reference impedance of both ports, ohms.
For a two-conductor line the network is scikit-rf's own model of it: its distributed-circuit
media (skrf.media.DistributedCircuit) with the solved R, L, G and C. For coupled lines
(solve(coupled=True)) of N conductors it is a 2N-port network from zolva's modal solution of the
lossy line, the matrices solved at each frequency as zolva-batch --coupled --frequencies solves
them: ports 1..N are the near ends of the conductors, N+1..2N their far ends, as in zolva's
Touchstone file."""

# The public names are zolva's, wherever they were made.
for _name in ("Section", "Result", "Field", "Estimate", "PeakField", "Matrices", "Modes",
              "SolveError"):
    globals()[_name].__module__ = __name__
del _name

Section.solve = _solve
Section.rlgc = _rlgc
Result.network = _network
