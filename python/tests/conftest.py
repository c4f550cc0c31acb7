"""Shared helpers: the command beside the module, the shared data folder, random
matrices and a plain reference enumeration."""

import os
import pathlib
import subprocess

import numpy as np
import pytest

import bicliques

ROOT = pathlib.Path(__file__).resolve().parents[2]
# The module lives in build/<preset>/python/bicliques; the command in build/<preset>/cli.
COMMAND = pathlib.Path(
    os.environ.get("BICLIQUES_EXE", pathlib.Path(bicliques.__file__).resolve().parents[2] / "cli" / "bicliques")
)
DATA = pathlib.Path(os.environ.get("BICLIQUES_DATA_DIR", ROOT.parent / "shared" / "data"))
ENGINES = [name for name in bicliques.ENGINES]


def run_command(*arguments, input=b""):
    """The command's standard output (bytes); fails the test on a non-zero status."""
    done = subprocess.run([str(COMMAND), *map(str, arguments)], input=input, capture_output=True, check=False)
    assert done.returncode == 0, done.stderr.decode()
    return done.stdout


def matrix_text(matrix):
    """The 0/1 text of a NumPy matrix, as the command reads it."""
    return "".join("".join("1" if cell else "0" for cell in row) + "\n" for row in matrix).encode()


def random_matrix(rows, columns, density, seed):
    return np.random.default_rng(seed).random((rows, columns)) < density


def reference(matrix):
    """Every maximal biclique as {(sources, targets)} of tuples, counting from 0:
    every distinct intersection of the target sets of one or more rows, with
    the rows that hold all of it. Plain set arithmetic, for small matrices."""
    rows = [frozenset(np.flatnonzero(row).tolist()) for row in np.asarray(matrix)]
    closed = set()
    for row in rows:
        closed |= {row & other for other in closed}
        closed.add(row)
    return {
        (tuple(s for s, row in enumerate(rows) if target_set <= row), tuple(sorted(target_set)))
        for target_set in closed
    }


def as_sets(results):
    return {(tuple(b.sources.tolist()), tuple(b.targets.tolist())) for b in results}


@pytest.fixture(scope="session")
def command():
    if not COMMAND.exists():
        pytest.skip(f"no command at {COMMAND}")
    return COMMAND
