"""Every kind of input gives the same bicliques; names travel from data frames
and named files to the results."""

import json

import numpy as np
import pandas as pd
import pytest
import scipy.sparse as sp

import bicliques
from conftest import as_sets, matrix_text, random_matrix, reference, run_command

MATRIX = random_matrix(17, 11, 0.4, seed=11)


def _transactions(matrix):
    return [[f"item{t}" for t in np.flatnonzero(row)] for row in matrix]


def _coo_unsorted_with_repeats(matrix):
    rows, columns = np.nonzero(matrix)
    order = np.random.default_rng(5).permutation(len(rows))
    rows, columns = rows[order], columns[order]
    # Every entry twice, and explicit zeros where there is no edge.
    zero_rows, zero_columns = np.nonzero(~matrix)
    return sp.coo_matrix(
        (
            np.concatenate([np.ones(2 * len(rows)), np.zeros(len(zero_rows))]),
            (np.concatenate([rows, rows, zero_rows]), np.concatenate([columns, columns, zero_columns])),
        ),
        shape=matrix.shape,
    )


def _csr_unsorted(matrix):
    csr = sp.csr_matrix(matrix.astype(np.int8))
    for r in range(csr.shape[0]):
        segment = slice(csr.indptr[r], csr.indptr[r + 1])
        csr.indices[segment] = csr.indices[segment][::-1].copy()
    csr.has_sorted_indices = False
    return csr


def _wide_indices(compressed):
    compressed.indices = compressed.indices.astype(np.int64)
    compressed.indptr = compressed.indptr.astype(np.int64)
    return compressed


def _file(tmp_path, name, content):
    path = tmp_path / name
    path.write_text(content)
    return path


INPUTS = {
    "bool array": lambda m, tmp: m,
    "int64 array": lambda m, tmp: m.astype(np.int64),
    "uint8 array": lambda m, tmp: m.astype(np.uint8),
    "float32 array": lambda m, tmp: m.astype(np.float32),
    "big-endian int32 array": lambda m, tmp: m.astype(">i4"),
    "Fortran-order array": lambda m, tmp: np.asfortranarray(m.astype(np.int16)),
    "strided view": lambda m, tmp: np.repeat(np.repeat(m, 2, axis=0), 3, axis=1)[::2, ::3],
    "reversed view": lambda m, tmp: m[::-1, ::-1].copy()[::-1, ::-1],
    "object array": lambda m, tmp: m.astype(object),
    "CSR": lambda m, tmp: sp.csr_matrix(m),
    "CSR, unsorted": lambda m, tmp: _csr_unsorted(m),
    "CSC": lambda m, tmp: sp.csc_matrix(m.astype(np.float64)),
    "CSC array, int64 indices": lambda m, tmp: _wide_indices(sp.csc_array(m.astype(np.uint8))),
    "COO, unsorted, repeats, zeros": lambda m, tmp: _coo_unsorted_with_repeats(m),
    "LIL": lambda m, tmp: sp.lil_matrix(m),
    "DataFrame": lambda m, tmp: pd.DataFrame(m.astype(int), index=[f"s{k}" for k in range(m.shape[0])]),
    "transactions": lambda m, tmp: _transactions(m),
    "transactions of sets, as a generator": lambda m, tmp: (set(t) for t in _transactions(m)),
    "path": lambda m, tmp: _file(tmp, "m.txt", matrix_text(m).decode()),
    "path as str": lambda m, tmp: str(_file(tmp, "m.txt", matrix_text(m).decode())),
    "Graph": lambda m, tmp: bicliques.as_graph(m),
}


@pytest.mark.parametrize("kind", list(INPUTS))
def test_every_input_kind_gives_the_same_bicliques(kind, tmp_path):
    data = INPUTS[kind](MATRIX, tmp_path)
    expected = reference(MATRIX)
    if kind.startswith("transactions"):
        # Targets are the items in order of first appearance: map them back.
        data = list(data)
        graph = bicliques.as_graph(data)
        column = {name: int(name[4:]) for name in graph.target_names}
        got = {
            (tuple(b.sources.tolist()), tuple(sorted(column[n] for n in b.target_names)))
            for b in bicliques.enumerate(graph)
        }
        # Columns without ones are no items.
        used = set(np.flatnonzero(MATRIX.any(axis=0)).tolist())
        expected = {(s, tuple(t for t in targets if t in used)) for s, targets in expected}
        assert got == expected
        return
    assert as_sets(bicliques.enumerate(data)) == expected
    graph = bicliques.as_graph(INPUTS[kind](MATRIX, tmp_path))
    assert (graph.sources, graph.targets, graph.ones) == (*MATRIX.shape, int(MATRIX.sum()))


def test_data_frame_names(command):
    frame = pd.DataFrame(
        [[1, 0, 1], [1, 1, 0], [0, 1, 1]],
        index=["ann", "bo, jr.", 'c"y'],
        columns=pd.Index([10, "b", ("t", 3)], dtype=object),
    )
    results = {(tuple(b.source_names), tuple(b.target_names)) for b in bicliques.enumerate(frame)}
    assert results == {
        (("ann",), (10, ("t", 3))),
        (("bo, jr.",), (10, "b")),
        (('c"y',), ("b", ("t", 3))),
        (("ann", "bo, jr."), (10,)),
        (("bo, jr.", 'c"y'), ("b",)),
        (("ann", 'c"y'), (("t", 3),)),
        (("ann", "bo, jr.", 'c"y'), ()),
    }
    table = bicliques.to_dataframe(frame, order="sorted")
    assert list(table.columns) == ["sources", "targets", "n_sources", "n_targets", "source_names", "target_names"]
    assert len(table) == len(results)
    for row in table.itertuples():
        assert row.n_sources == len(row.sources) == len(row.source_names)
        assert row.source_names == [frame.index[s] for s in row.sources]
        assert row.target_names == [frame.columns[t] for t in row.targets]
    # The text form carries the names as text, as the command does for a named file.
    for line in bicliques.text(frame, format="jsonl").splitlines():
        result = json.loads(line)
        assert result["source_names"] == [str(frame.index[s - 1]) for s in result["sources"]]
        assert result["target_names"] == [str(frame.columns[t - 1]) for t in result["targets"]]
    # Names given to as_graph win over the frame's.
    graph = bicliques.as_graph(frame, source_names=["x", "y", "z"])
    assert graph.source_names == ["x", "y", "z"] and graph.target_names == [10, "b", ("t", 3)]


CXT = "B\n\n3\n4\n\nAnn Lee\nBo, Jr.\n\"Cy\"\nred\nblue, dark\n\"green\"\nnone\nXX..\n.XX.\nX.X.\n"
CSV = (
    'name,red,"blue, dark","""green""",none\r\n'
    'Ann Lee,1,X,0,\r\n"Bo, Jr.",false,true,1,0\r\n"""Cy""",x,,TRUE,0\r\n'
)


def test_named_files_cross_table_and_context(tmp_path, command):
    cxt = _file(tmp_path, "t.cxt", CXT)
    csv = _file(tmp_path, "t.csv", CSV)
    from_cxt, from_csv = bicliques.read(cxt), bicliques.read(csv)
    assert from_csv.source_names == from_cxt.source_names == ["Ann Lee", "Bo, Jr.", '"Cy"']
    assert from_csv.target_names == from_cxt.target_names == ["red", "blue, dark", '"green"', "none"]
    named = {(tuple(b.source_names), tuple(b.target_names)) for b in bicliques.enumerate(csv)}
    assert named == {(tuple(b.source_names), tuple(b.target_names)) for b in bicliques.enumerate(cxt)}
    assert (("Ann Lee", "Bo, Jr."), ("blue, dark",)) in named
    for form in ("text", "jsonl"):
        expected = run_command("--format", form, cxt)
        assert bicliques.text(csv, format=form).encode() == expected
        assert run_command("--format", form, csv) == expected
    # The format by name, whatever the extension.
    assert bicliques.text(bicliques.read(_file(tmp_path, "t.table", CSV), format="csv")) == bicliques.text(cxt)


def test_named_edges_and_transaction_numbers(tmp_path, command):
    edges = _file(tmp_path, "g.edges", "alice x\nalice y\nbob y\n")
    graph = bicliques.read(edges)
    assert graph.source_names == ["alice", "bob"] and graph.target_names == ["x", "y"]
    assert bicliques.text(edges, format="jsonl").encode() == run_command("--format", "jsonl", edges)
    # Transactions of numbers are shown as written, as a transaction file's.
    transactions = [[40, 7, 3], [7, 3, 12], [3], [], [12, 40]]
    fimi = _file(tmp_path, "t.dat", "".join(" ".join(map(str, t)) + "\n" for t in transactions))
    graph = bicliques.as_graph(transactions)
    assert graph.target_ids.tolist() == graph.target_names == [3, 7, 12, 40]
    assert bicliques.read(fimi).target_ids.tolist() == [3, 7, 12, 40]
    for form in ("text", "jsonl"):
        assert bicliques.text(transactions, format=form).encode() == run_command("--format", form, fimi)
