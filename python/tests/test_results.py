"""The module lists what the command lists: the same text, byte for byte, and
the same bicliques as a plain reference enumeration."""

import numpy as np
import pytest

import bicliques
from conftest import DATA, ENGINES, as_sets, matrix_text, random_matrix, reference, run_command

WORKED = np.array([[1, 1, 1, 1, 0], [0, 0, 1, 1, 1]])


def test_worked_example():
    assert bicliques.count(WORKED) == 3
    assert [(b.sources.tolist(), b.targets.tolist()) for b in bicliques.enumerate(WORKED, order="sorted")] == [
        ([0], [0, 1, 2, 3]),
        ([0, 1], [2, 3]),
        ([1], [2, 3, 4]),
    ]
    assert bicliques.text(WORKED) == "1 : 1,2,3,4\n1,2 : 3,4\n2 : 3,4,5\n"


# (name, rows, columns, density): every shape class, with sides beyond one
# and two 64-bit words.
SHAPES = [
    ("empty", 0, 0, 0.5),
    ("no sources", 0, 6, 0.5),
    ("no targets", 5, 0, 0.5),
    ("one cell", 1, 1, 1.0),
    ("all zeros", 7, 9, 0.0),
    ("all ones", 7, 9, 1.0),
    ("one row", 1, 30, 0.5),
    ("one column", 30, 1, 0.5),
    ("square, sparse", 14, 14, 0.15),
    ("square, dense", 14, 14, 0.8),
    ("tall", 40, 6, 0.5),
    ("wide", 6, 70, 0.5),
    ("wider than two words", 9, 150, 0.3),
    ("taller than two words", 150, 9, 0.3),
]


@pytest.mark.parametrize("name,rows,columns,density", SHAPES, ids=[shape[0] for shape in SHAPES])
def test_random_matrices(command, name, rows, columns, density):
    matrix = random_matrix(rows, columns, density, seed=rows * 1000 + columns)
    expected_text = run_command(input=matrix_text(matrix)).decode()
    expected = reference(matrix)
    for engine in ENGINES:
        assert bicliques.text(matrix, engine=engine) == expected_text, engine
        assert as_sets(bicliques.enumerate(matrix, engine=engine)) == expected, engine
        assert bicliques.count(matrix, engine=engine) == len(expected), engine
    # One thread or several: the same.
    assert bicliques.text(matrix, threads=1, order="none").count("\n") == len(expected)


def _data_files():
    if not DATA.is_dir():
        return []
    files = sorted(DATA.glob("*.txt"))
    # Small files of the big folder; the larger ones are for bench/python_vs_cli.py.
    files += sorted(path for path in (DATA / "big").glob("*.[dt][ax]t") if path.stat().st_size < 500_000)
    # Too many results to list whole: its first rows are compared below.
    return [path for path in files if path.name not in ("vegan_bci.txt", "fimi_chess.dat", "fimi_chess.txt")]


# Result texts of 18 to 118 MB: compared whole by bench/python_vs_cli.py, here
# by count and by the text of the bicliques of few sources.
LARGE_TEXT = {"mushroom_fimi.txt": 4, "house_votes84.txt": 4, "konect_marvel.dat": 2}


@pytest.mark.parametrize("path", _data_files(), ids=lambda path: path.name)
def test_real_files(command, path):
    if path.name in LARGE_TEXT:
        bound = LARGE_TEXT[path.name]
        assert bicliques.count(path) == int(run_command("--count", path))
        assert bicliques.text(path, max_sources=bound).encode() == run_command(f"--max-sources={bound}", path)
        return
    assert bicliques.text(path).encode() == run_command(path)


def test_real_file_prefix(command):
    path = DATA / "vegan_bci.txt"
    if not path.exists():
        pytest.skip(f"no {path}")
    head = b"".join(path.read_bytes().splitlines(keepends=True)[:15])
    graph = bicliques.as_graph(np.array([[c == ord("1") for c in line.strip()] for line in head.splitlines()]))
    assert bicliques.text(graph, order="none").count("\n") == bicliques.count(graph) == 10088
    assert bicliques.text(graph).encode() == run_command(input=head)


def test_sorted_order_is_the_text_order():
    """order="sorted" yields in the order of the text lines, also where a file
    shows its own numbers."""
    fimi = "5 17 3\n3 17 100\n9 100 5\n17\n"
    graph = bicliques.as_graph([[int(item) for item in line.split()] for line in fimi.splitlines()])
    ids = graph.target_ids
    lines = [
        ",".join(str(s + 1) for s in b.sources) + " : " + ",".join(str(ids[t]) for t in b.targets)
        for b in bicliques.enumerate(graph, order="sorted")
    ]
    assert "".join(line + "\n" for line in lines) == bicliques.text(graph)
    matrix = random_matrix(30, 12, 0.4, seed=7)
    lines = [
        ",".join(str(s + 1) for s in b.sources) + " : " + ",".join(str(t + 1) for t in b.targets)
        for b in bicliques.enumerate(matrix, order="sorted")
    ]
    assert lines == sorted(lines, key=str.encode)
    assert "".join(line + "\n" for line in lines) == bicliques.text(matrix)


BOUNDS = [
    {"min_sources": 3},
    {"max_sources": 2},
    {"min_targets": 2, "max_targets": 5},
    {"min_sources": 2, "max_sources": 4, "min_targets": 1, "max_targets": 3},
    {"max_targets": 0},
    {"min_sources": 1000},
]


@pytest.mark.parametrize("bounds", BOUNDS, ids=lambda bounds: ",".join(f"{k}={v}" for k, v in bounds.items()))
def test_bounds(bounds, command):
    matrix = random_matrix(25, 16, 0.45, seed=3)
    low_s, high_s = bounds.get("min_sources", 0), bounds.get("max_sources", 10**9)
    low_t, high_t = bounds.get("min_targets", 0), bounds.get("max_targets", 10**9)
    expected = {
        (s, t) for s, t in reference(matrix) if low_s <= len(s) <= high_s and low_t <= len(t) <= high_t
    }
    options = [f"--{key.replace('_', '-')}={value}" for key, value in bounds.items()]
    for engine in ENGINES:
        assert as_sets(bicliques.enumerate(matrix, engine=engine, **bounds)) == expected, engine
        assert bicliques.count(matrix, engine=engine, **bounds) == len(expected), engine
    assert bicliques.text(matrix, **bounds).encode() == run_command(*options, input=matrix_text(matrix))
