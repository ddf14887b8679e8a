"""Ctrl-C during a solve raises KeyboardInterrupt and leaves a section that solves again as a new
one would; an exception of the progress callback stops the solve and comes out of solve(). The
signal is sent from the progress callback itself, so the tests do not depend on timing."""
import os
import signal

import pytest

import zolva


def make():
    return zolva.coax(centre_diameter="1mm", shield_inner_diameter="3.5mm",
                      shield_outer_diameter="4mm", total_pixels=400)


def test_ctrl_c_during_a_solve(folder):
    line = make()
    texts = []

    def interrupt(text):
        texts.append(text)
        if len(texts) == 1:
            os.kill(os.getpid(), signal.SIGINT)

    with pytest.raises(KeyboardInterrupt):
        line.solve(progress=interrupt)
    assert texts
    # Python's own handler is back: the next solve runs to its end, with the figures of a fresh
    # section.
    assert signal.getsignal(signal.SIGINT) is signal.default_int_handler
    again = line.solve(progress=None)
    fresh = make().solve(progress=None)
    assert (again.L, again.C, again.Zo) == (fresh.L, fresh.C, fresh.Zo)


def test_ctrl_c_ends_an_rlgc_series(folder):
    line = make()
    seen = []

    def interrupt(text):
        seen.append(text)
        if len(seen) == 1:
            os.kill(os.getpid(), signal.SIGINT)

    with pytest.raises(KeyboardInterrupt):
        line.rlgc([1e6, 1e7, 1e8], progress=interrupt)


def test_an_exception_of_the_progress_callback_stops_the_solve(folder):
    class Enough(Exception):
        pass

    def refuse(text):
        raise Enough(text)

    line = make()
    with pytest.raises(Enough):
        line.solve(progress=refuse)
    assert line.solve(what="C", progress=None).C > 0
