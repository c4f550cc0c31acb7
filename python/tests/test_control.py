"""Runs stop when Python asks: KeyboardInterrupt, an exception from the progress
callback, leaving a loop early; and other Python threads run meanwhile."""

import _thread
import os
import pathlib
import signal
import threading

import numpy as np
import pytest

import bicliques
from conftest import random_matrix

# A run of many minutes on every engine: only a stop ends it within a test.
LONG = bicliques.as_graph(random_matrix(100, 100, 0.7, seed=1))
WORKED = np.array([[1, 1, 1, 1, 0], [0, 0, 1, 1, 1]])


def _threads():
    """The run threads of this process: the run's thread names itself, and the
    threads it starts inherit the name."""
    names = []
    for task in os.listdir("/proc/self/task"):
        try:
            names.append(pathlib.Path(f"/proc/self/task/{task}/comm").read_text().strip())
        except FileNotFoundError:  # a thread that just ended
            pass
    return names.count("bicliques run")


def _consume(results):
    for _ in results:
        pass


CALLS = {
    "count": lambda engine: bicliques.count(LONG, engine=engine),
    "text": lambda engine: bicliques.text(LONG, engine=engine),
    "enumerate": lambda engine: _consume(bicliques.enumerate(LONG, engine=engine)),
    "enumerate sorted": lambda engine: _consume(bicliques.enumerate(LONG, engine=engine, order="sorted")),
    "to_dataframe": lambda engine: bicliques.to_dataframe(LONG, engine=engine),
}


# Every call, every engine; the consensus engine hands out its results only at
# the end, so its enumerate() waits for the first batch when the interrupt comes.
CASES = [("count", engine) for engine in ("consensus", "closure", "sparse")] + [
    ("text", "closure"),
    ("enumerate", "consensus"),
    ("enumerate", "closure"),
    ("enumerate sorted", "sparse"),
    ("to_dataframe", "closure"),
]


@pytest.fixture(autouse=True)
def _interruptible():
    """Python's own SIGINT handler, which interrupt_main needs: a shell starts
    a job in the background with SIGINT ignored, and then interrupt_main does
    nothing."""
    before = signal.signal(signal.SIGINT, signal.default_int_handler)
    yield
    signal.signal(signal.SIGINT, before)


@pytest.mark.parametrize("call,engine", CASES, ids=[f"{call}-{engine}" for call, engine in CASES])
def test_keyboard_interrupt_stops_the_run(call, engine):
    timer = threading.Timer(0.2, _thread.interrupt_main)
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        CALLS[call](engine)
    timer.join()
    # The run's threads are gone, and the next call works.
    assert _threads() == 0
    assert bicliques.count(WORKED, engine=engine) == 3


class Enough(Exception):
    pass


def test_progress_reports_and_an_exception_from_the_callback_stops_the_run():
    reports = []

    def progress(report):
        reports.append(report)
        if len(reports) == 3:
            raise Enough

    with pytest.raises(Enough):
        bicliques.count(LONG, engine="closure", progress=progress)
    assert _threads() == 0
    assert all(isinstance(report, bicliques.Progress) for report in reports)
    assert [report.phase for report in reports] == ["enumerating"] * 3
    sets = [report.sets for report in reports]
    assert sets == sorted(sets) and sets[-1] > 0
    # The consensus engine reports its passes.
    reports.clear()
    with pytest.raises(Enough):
        _consume(bicliques.enumerate(LONG, engine="consensus", progress=progress))
    assert reports[0].consensus_pass >= 1


def test_other_python_threads_run_while_a_run_goes():
    stop = threading.Event()
    outcome = []

    def progress(report):
        if stop.is_set() or report.sets > 10**9:
            raise Enough

    def run():
        try:
            bicliques.count(LONG, engine="closure", threads=1, progress=progress)
        except Enough:
            outcome.append("stopped")

    worker = threading.Thread(target=run)
    worker.start()
    steps = 0
    while steps < 300_000:  # pure Python: it needs the GIL
        steps += 1
    alive = worker.is_alive()
    stop.set()
    worker.join()
    assert alive and outcome == ["stopped"]


def test_leaving_a_loop_early_stops_the_run():
    for engine in ("closure", "sparse"):
        got = []
        for biclique in bicliques.enumerate(LONG, engine=engine):
            got.append(biclique)
            if len(got) == 10000:
                break
        assert _threads() == 0, engine
        assert all(len(b.sources) >= 1 for b in got)
    # An iterator never started, then dropped.
    results = bicliques.enumerate(LONG)
    assert _threads() > 0
    del results
    assert _threads() == 0
