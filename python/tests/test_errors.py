"""Bad input and bad options raise the exception a Python user expects, naming
the place."""

import resource

import numpy as np
import pytest
import scipy.sparse as sp

import bicliques


def _coo_out_of_range():
    coo = sp.coo_matrix((np.ones(2), ([0, 1], [0, 2])), shape=(2, 3))
    coo.col[1] = 7
    return coo


# (name, data, place): InputError with position (row, column) from 0, or the
# stored entry of a sparse matrix.
BAD_ARRAYS = [
    ("a 2", np.array([[0, 1], [1, 2]]), {"position": (1, 1)}, "row 1, column 1: expected 0 or 1, found 2"),
    ("a -1", np.array([[0, -1]], dtype=np.int8), {"position": (0, 1)}, "found -1"),
    ("a half", np.array([[1.0, 0.5]]), {"position": (0, 1)}, "found 0.5"),
    ("NaN", np.array([[np.nan]]), {"position": (0, 0)}, "found nan"),
    ("column-major 2", np.asfortranarray([[0, 0], [0, 0], [2, 0]]), {"position": (2, 0)}, "found 2"),
    ("CSR value 3", sp.csr_matrix(np.array([[0, 3], [1, 0]])), {"position": (0, 1), "entry": 0}, "found 3"),
    ("CSC value 2", sp.csc_matrix(np.array([[0, 1], [2, 0]])), {"position": (1, 0), "entry": 0}, "found 2"),
    ("COO index out of range", _coo_out_of_range(), {"entry": 1}, "column 7 is out of range"),
]


@pytest.mark.parametrize("name,data,place,message", BAD_ARRAYS, ids=[case[0] for case in BAD_ARRAYS])
def test_bad_arrays_name_the_place(name, data, place, message):
    with pytest.raises(bicliques.InputError) as caught:
        bicliques.count(data)
    assert isinstance(caught.value, ValueError)
    assert message in str(caught.value)
    for key in ("position", "entry"):
        assert getattr(caught.value, key) == place.get(key), key
    assert caught.value.line is None and caught.value.column is None


BAD_FILES = [
    ("t.csv", ",a,b\ns,1,0\nt,0,yes\n", 3, 5, "expected a cell 0, 1, X, true, false or empty, found 'y'"),
    ("t.csv", ",a,b\ns,1\n", 2, None, "line 2 has 2 fields, the header has 3"),
    ("m.txt", "0110\n012\n", 2, 3, "expected '0' or '1', found '2'"),
    ("t.dat", "1 2\n3 x\n", 2, 3, "expected a target number, found 'x'"),
    ("t.cxt", "B\n\n1\n1\n\no\na\no\n", 8, 1, "expected 'X' or '.', found 'o'"),
]


@pytest.mark.parametrize("name,content,line,column,message", BAD_FILES, ids=[case[1][:12] for case in BAD_FILES])
def test_bad_files_name_line_and_column(tmp_path, name, content, line, column, message):
    path = tmp_path / name
    path.write_text(content)
    with pytest.raises(bicliques.InputError) as caught:
        bicliques.count(path)
    assert str(caught.value).startswith(f"{path}: line {line}")
    assert message in str(caught.value)
    assert (caught.value.line, caught.value.column) == (line, column)


def test_file_limits_and_missing_files(tmp_path):
    path = tmp_path / "m.txt"
    path.write_text("0110\n" * 100)
    with pytest.raises(bicliques.InputError, match="larger than the limit of 100 bytes"):
        bicliques.read(path, max_bytes=100)
    assert bicliques.read(path, max_bytes=500).sources == 100
    with pytest.raises(FileNotFoundError):
        bicliques.read(tmp_path / "none.txt")
    with pytest.raises(ValueError, match="unknown input format 'xml'"):
        bicliques.read(path, format="xml")


M = np.eye(3, dtype=bool)

BAD_CALLS = [
    ("unknown engine", lambda: bicliques.count(M, engine="fast"), ValueError, "unknown engine 'fast'"),
    ("unknown order", lambda: bicliques.enumerate(M, order="random"), ValueError, "order must be"),
    ("unknown format", lambda: bicliques.text(M, format="xml"), ValueError, "format must be"),
    ("negative bound", lambda: bicliques.count(M, min_sources=-1), ValueError, "min_sources must not be negative"),
    ("float bound", lambda: bicliques.count(M, max_targets=2.5), TypeError, ""),
    ("negative threads", lambda: bicliques.count(M, threads=-2), ValueError, "threads"),
    ("progress not callable", lambda: bicliques.count(M, progress=3), TypeError, "progress must be callable"),
    ("3-D array", lambda: bicliques.count(np.zeros((2, 2, 2))), ValueError, "expected a 2-D array"),
    ("strings", lambda: bicliques.count(np.array([["a", "b"]])), TypeError, "cannot read an array"),
    ("complex", lambda: bicliques.count(np.zeros((2, 2), dtype=complex)), TypeError, "cannot read an array"),
    ("a number", lambda: bicliques.count(42), TypeError, "cannot read int as a graph"),
    ("a string transaction", lambda: bicliques.count(["ab", "c"]), TypeError, "a transaction is an iterable"),
    ("an unhashable item", lambda: bicliques.count([[[1]]]), TypeError, "unhashable"),
    ("wrong number of names", lambda: bicliques.as_graph(M, source_names=["a"]), ValueError, "expected 3 source"),
]


@pytest.mark.parametrize("name,call,error,message", BAD_CALLS, ids=[case[0] for case in BAD_CALLS])
def test_bad_calls(name, call, error, message):
    with pytest.raises(error, match=message):
        call()


def test_out_of_memory_raises_memory_error():
    # The bit-set engine would need 125 GB for a million by a million; an
    # address-space limit makes that fail at once whatever the kernel's
    # overcommit policy.
    huge = sp.csr_matrix((np.ones(3, dtype=bool), ([0, 1, 999_999], [5, 5, 999_999])), shape=(10**6, 10**6))
    soft, hard = resource.getrlimit(resource.RLIMIT_AS)
    limit = 64 << 30 if hard == resource.RLIM_INFINITY else min(hard, 64 << 30)
    resource.setrlimit(resource.RLIMIT_AS, (limit, hard))
    try:
        with pytest.raises(MemoryError):
            bicliques.count(huge, engine="closure")
    finally:
        resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
    # The adjacency lists take it in their stride.
    assert bicliques.count(huge, engine="sparse") == 3  # with all sources over no target
