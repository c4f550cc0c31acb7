"""Maximal bicliques of bipartite graphs, on the engines of the bicliques command.

A bipartite graph is a 0/1 matrix: its rows are the sources, its columns the
targets. A maximal biclique is a set of sources with every target they all
share, such that no further source shares them all: in other words every
distinct intersection of the target sets of one or more sources.

    >>> import bicliques, numpy
    >>> m = numpy.array([[1, 1, 1, 1, 0], [0, 0, 1, 1, 1]])
    >>> bicliques.count(m)
    3
    >>> for b in bicliques.enumerate(m, order="sorted"):
    ...     print(b.sources, b.targets)
    [0] [0 1 2 3]
    [0 1] [2 3]
    [1] [2 3 4]
    >>> print(bicliques.text(m), end="")
    1 : 1,2,3,4
    1,2 : 3,4
    2 : 3,4,5

Here vertices are numbered from 0, as NumPy indexes them; the text form
(text(), and the command line) numbers them from 1, or shows the numbers of
the input file.

`data` below may be:
  - a 2-D NumPy array of bool, integers or floating-point numbers, each 0 or 1;
  - a SciPy sparse matrix or array (CSR, CSC and COO are read in place; other
    formats are turned into CSR first), each stored value 0 or 1;
  - a pandas DataFrame of 0/1 values: its index names the sources, its
    columns the targets;
  - transactions: an iterable of iterables of hashable items (a list of
    lists, of sets...), one per source; the items are the targets, in
    ascending order when they are all non-negative integers (as a
    transaction file is read), else in order of first appearance, and name
    them. A nested list is read as transactions, never as a matrix: use
    numpy.array for a 0/1 matrix;
  - a path (str or os.PathLike): a file read as read(path) reads it;
  - a Graph (from read() or as_graph()), used as it is: convert once, run
    many times.

Every run goes on threads of its own with the GIL released; Ctrl+C
(KeyboardInterrupt) stops it within about 100 ms, and so does an exception
raised by the progress callback. Input that is refused raises InputError, a
ValueError naming the place; running out of memory raises MemoryError.
"""

import builtins as _builtins
import collections as _collections
import numbers as _numbers
import operator as _operator
import importlib as _importlib
import os as _os
import sys as _sys

from . import _core
from ._core import InputError

__all__ = [
    "ENGINES",
    "FORMATS",
    "Biclique",
    "Graph",
    "InputError",
    "Progress",
    "as_graph",
    "count",
    "enumerate",
    "read",
    "text",
    "to_dataframe",
]

#: Engine names: "auto" picks closure or sparse for the matrix at hand.
ENGINES = ("auto",) + tuple(name for name, _ in _core.engines())
#: Input formats that read() takes, as the command line's --from.
FORMATS = ("matrix", "fimi", "edges", "cxt", "csv")


class _LazyNumpy:
    """NumPy, imported at its first use: counting or printing a file needs none
    of it, and its import would be most of the module's start-up."""

    def __getattr__(self, name):
        numpy = _importlib.import_module("numpy")
        globals()["_np"] = numpy
        return getattr(numpy, name)


_np = _LazyNumpy()

Progress = _collections.namedtuple("Progress", "phase consensus_pass sets")
Progress.__doc__ = """A progress report: phase ("reading", "enumerating" or "formatting"),
consensus_pass (the consensus engine's pass, from 1; 0 for the other engines) and
sets (results found so far)."""

_INT32_MAX = 2**31 - 1


class Graph:
    """A bipartite graph as the engines take it, made by read() or as_graph().

    sources, targets: the numbers of vertices; ones: the number of edges.
    source_names, target_names: a list of the vertices' names (labels) where
    the input names them, else None.
    source_ids, target_ids: where a file shows a side by numbers of its own
    (the items of a transaction file, numeric edge-list ids), a NumPy array
    of them, indexed by vertex; else None.
    """

    __slots__ = ("_matrix", "source_names", "target_names")

    def __init__(self, matrix, source_names=None, target_names=None):
        self._matrix = matrix
        self.source_names = source_names
        self.target_names = target_names

    @property
    def sources(self):
        return self._matrix.sources

    @property
    def targets(self):
        return self._matrix.targets

    @property
    def ones(self):
        return self._matrix.ones

    @property
    def source_ids(self):
        return self._matrix.source_ids

    @property
    def target_ids(self):
        return self._matrix.target_ids

    def row(self, source):
        """The targets of `source` (from 0), ascending, as a NumPy array."""
        return self._matrix.row(source)

    def __repr__(self):
        return f"<bicliques.Graph: {self.sources} sources, {self.targets} targets, {self.ones} edges>"


class Biclique:
    """One maximal biclique.

    sources, targets: NumPy int32 arrays of vertex numbers from 0, ascending.
    source_names, target_names: lists of the vertices' names where the input
    names them, else None.
    A Biclique unpacks as (sources, targets).
    """

    __slots__ = ("sources", "targets", "_source_labels", "_target_labels")

    def __init__(self, sources, targets, source_labels=None, target_labels=None):
        self.sources = sources
        self.targets = targets
        self._source_labels = source_labels
        self._target_labels = target_labels

    @property
    def source_names(self):
        labels = self._source_labels
        return None if labels is None else [labels[v] for v in self.sources.tolist()]

    @property
    def target_names(self):
        labels = self._target_labels
        return None if labels is None else [labels[v] for v in self.targets.tolist()]

    def __iter__(self):
        return iter((self.sources, self.targets))

    def __eq__(self, other):
        if not isinstance(other, Biclique):
            return NotImplemented
        return _np.array_equal(self.sources, other.sources) and _np.array_equal(self.targets, other.targets)

    __hash__ = None

    def __repr__(self):
        return f"Biclique(sources={self.sources.tolist()}, targets={self.targets.tolist()})"


def read(path, format=None, *, max_bytes=None):
    """Reads a graph file with the command line's readers; returns a Graph.

    format: "matrix", "fimi", "edges", "cxt" or "csv"; None picks it by the
    file's extension as the command line does (.txt matrix, .dat fimi, .cxt
    cxt, .edges/.tsv edges, .csv csv, else matrix). max_bytes refuses larger
    files. A refused file raises InputError whose message starts with the
    path, with `line` and `column` set.
    """
    name = _os.fsdecode(_os.fspath(path))
    if format is None:
        format = _core.format_for_path(name)
    elif format not in FORMATS:
        raise ValueError(f"unknown input format {format!r}: use one of {', '.join(FORMATS)}")
    limit = _core.no_input_limit() if max_bytes is None else _operator.index(max_bytes)
    if limit < 0:
        raise ValueError("max_bytes must not be negative")
    with open(path, "rb") as file:
        try:
            matrix = _core.read_fd(file.fileno(), format, limit)
        except InputError as error:
            named = InputError(f"{name}: {error}")
            named.line, named.column = error.line, error.column
            raise named from None
    return Graph(matrix, matrix.source_names, matrix.target_names)


def _labels(given, default, count, side):
    labels = default if given is None else list(given)
    if labels is not None and len(labels) != count:
        raise ValueError(f"expected {count} {side} names, got {len(labels)}")
    return labels


def _texts(labels):
    return None if labels is None else [str(label) for label in labels]


def _dense(array, source_names, target_names):
    if array.ndim != 2:
        raise ValueError(f"expected a 2-D array, got {array.ndim} dimensions")
    if array.dtype.kind == "O":
        # Mixed columns of a data frame come as objects: numbers are read as
        # numbers, anything else is refused.
        if not all(isinstance(value, (_numbers.Real, _np.bool_)) for value in array.flat):
            raise TypeError("cannot read an array of objects other than numbers as 0/1")
        array = array.astype(_np.float64)
    elif array.dtype.kind not in "biuf":
        raise TypeError(f"cannot read an array of {array.dtype} as 0/1: use bool, integers or floats")
    elif not array.dtype.isnative:
        array = array.astype(array.dtype.newbyteorder("="))
    sources = _labels(source_names, None, array.shape[0], "source")
    targets = _labels(target_names, None, array.shape[1], "target")
    matrix = _core.from_dense(array, _texts(sources), _texts(targets))
    return Graph(matrix, sources, targets)


def _sparse(data, source_names, target_names):
    if data.format not in ("csr", "csc", "coo"):
        data = data.tocsr()
    rows, columns = data.shape
    sources = _labels(source_names, None, rows, "source")
    targets = _labels(target_names, None, columns, "target")
    if data.format == "coo":
        matrix = _core.from_coordinates(
            rows, columns, data.row, data.col, data.data, _texts(sources), _texts(targets)
        )
    else:
        matrix = _core.from_compressed(
            rows,
            columns,
            data.indptr,
            data.indices,
            data.data,
            data.format == "csc",
            _texts(sources),
            _texts(targets),
            None,
        )
    return Graph(matrix, sources, targets)


def _transactions(data, source_names, target_names):
    ids = {}
    flat = []
    starts = [0]
    for transaction in data:
        if isinstance(transaction, (str, bytes)):
            raise TypeError(
                f"a transaction is an iterable of items, not {type(transaction).__name__}: "
                f"put the item in a list"
            )
        for item in transaction:
            k = ids.get(item)
            if k is None:
                k = ids[item] = len(ids)
            flat.append(k)
        starts.append(len(flat))
    items = list(ids)
    indices = _np.array(flat, dtype=_np.int64)
    numbered = all(
        isinstance(item, _numbers.Integral) and not isinstance(item, bool) and item >= 0 for item in items
    )
    target_ids = None
    if numbered and items:
        # Non-negative integers are shown as written, ascending, as a
        # transaction file's items are.
        order = sorted(range(len(items)), key=items.__getitem__)
        rank = _np.empty(len(items), dtype=_np.int64)
        rank[order] = _np.arange(len(items))
        indices = rank[indices] if len(indices) else indices
        items = [items[k] for k in order]
        target_ids = [int(item) for item in items]
        if target_ids[-1] > 2**63 - 1:
            raise ValueError(f"item {target_ids[-1]} is too large: at most 2**63 - 1")
    sources = _labels(source_names, None, len(starts) - 1, "source")
    targets = _labels(target_names, items, len(items), "target")
    matrix = _core.from_compressed(
        len(starts) - 1,
        len(items),
        _np.array(starts, dtype=_np.int64),
        indices,
        None,
        False,
        _texts(sources),
        None if target_ids is not None and target_names is None else _texts(targets),
        target_ids,
    )
    return Graph(matrix, sources, targets)


def _module_of(data):
    return type(data).__module__ or ""


def as_graph(data, *, source_names=None, target_names=None):
    """The Graph of `data` (see the module's help for what it may be).

    source_names, target_names: names for the vertices (any objects), one per
    source or target, in place of the names the input brings. Convert once to
    run several times on the same input without converting it again.
    """
    if isinstance(data, Graph):
        if source_names is not None or target_names is not None:
            raise TypeError("a Graph keeps its names")
        return data
    if isinstance(data, (str, bytes, _os.PathLike)):
        graph = read(data)
        sources = _labels(source_names, graph.source_names, graph.sources, "source")
        targets = _labels(target_names, graph.target_names, graph.targets, "target")
        return Graph(graph._matrix, sources, targets)
    module = _module_of(data)
    if module.startswith("pandas") and hasattr(data, "columns") and hasattr(data, "to_numpy"):
        if source_names is None:
            source_names = list(data.index)
        if target_names is None:
            target_names = list(data.columns)
        return _dense(data.to_numpy(), source_names, target_names)
    if module.startswith("scipy.sparse"):
        return _sparse(data, source_names, target_names)
    if "numpy" in _sys.modules and isinstance(data, _sys.modules["numpy"].ndarray):
        return _dense(data, source_names, target_names)
    try:
        iter(data)
    except TypeError:
        raise TypeError(
            f"cannot read {type(data).__name__} as a graph: give a 2-D array, a sparse matrix, "
            f"a DataFrame, transactions, a path or a Graph"
        ) from None
    return _transactions(data, source_names, target_names)


def _bounds(min_sources, max_sources, min_targets, max_targets):
    def one(value, name, default):
        if value is None:
            return default
        value = _operator.index(value)
        if value < 0:
            raise ValueError(f"{name} must not be negative, got {value}")
        return min(value, _INT32_MAX)

    return [
        one(min_sources, "min_sources", 0),
        one(max_sources, "max_sources", _INT32_MAX),
        one(min_targets, "min_targets", 0),
        one(max_targets, "max_targets", _INT32_MAX),
    ]


def _sorted(order):
    if order not in ("none", "sorted"):
        raise ValueError(f"order must be 'none' or 'sorted', got {order!r}")
    return order == "sorted"


def _reporter(progress):
    if progress is None:
        return None
    if not callable(progress):
        raise TypeError("progress must be callable")
    return lambda phase, consensus_pass, sets: progress(Progress(phase, consensus_pass, sets))


def _check_engine(engine):
    if engine not in ENGINES:
        raise ValueError(f"unknown engine {engine!r}: use one of {', '.join(ENGINES)}")
    return engine


def _threads(threads):
    threads = _operator.index(threads)
    if threads < 0:
        raise ValueError("threads must be 0 (every core) or more")
    return min(threads, _INT32_MAX)


def _start(data, engine, threads, bounds, order, progress):
    graph = as_graph(data)
    run = _core.Run(graph._matrix, _check_engine(engine), _threads(threads), bounds, _reporter(progress),
                    _sorted(order))
    return graph, run


def _batches(run):
    try:
        while True:
            batch = run.next_batch()
            if batch is None:
                return
            yield batch
    finally:
        run.close()


def _results(run, graph):
    source_labels, target_labels = graph.source_names, graph.target_names
    for sources, source_starts, targets, target_starts in _batches(run):
        source_starts = source_starts.tolist()
        target_starts = target_starts.tolist()
        for k in range(len(source_starts) - 1):
            yield Biclique(
                sources[source_starts[k] : source_starts[k + 1]],
                targets[target_starts[k] : target_starts[k + 1]],
                source_labels,
                target_labels,
            )


def enumerate(
    data,
    *,
    engine="auto",
    threads=0,
    min_sources=None,
    max_sources=None,
    min_targets=None,
    max_targets=None,
    order="none",
    progress=None,
):
    """Yields every maximal biclique of `data` as a Biclique, as they are found.

    engine: one of ENGINES; all give the same bicliques. threads: threads to
    use, 0 for every core. min_sources ... max_targets: list only the
    bicliques whose sides have at least / at most that many vertices (the
    engines use them to cut the search). order: "none" yields each biclique
    as soon as it is found; "sorted" in the order of the text form (as the
    command line sorts its lines), after the run. progress: called with a
    Progress now and then on the calling thread; an exception it raises
    stops the run and comes out of the iteration.

    The run starts at once and waits while unread results pile up; leaving
    the loop early (or dropping the iterator) stops it.
    """
    bounds = _bounds(min_sources, max_sources, min_targets, max_targets)
    graph, run = _start(data, engine, threads, bounds, order, progress)
    return _results(run, graph)


def count(
    data,
    *,
    engine="auto",
    threads=0,
    min_sources=None,
    max_sources=None,
    min_targets=None,
    max_targets=None,
    progress=None,
):
    """The number of maximal bicliques of `data` (options as for enumerate()); stores none of them."""
    graph = as_graph(data)
    bounds = _bounds(min_sources, max_sources, min_targets, max_targets)
    return _core.count(graph._matrix, _check_engine(engine), _threads(threads), bounds, _reporter(progress))


def text(
    data,
    *,
    format="text",
    order="sorted",
    engine="auto",
    threads=0,
    min_sources=None,
    max_sources=None,
    min_targets=None,
    max_targets=None,
    progress=None,
):
    """The result text of `data`, the same as the command line writes for it.

    format: "text" ("1,2 : 3,4" lines, vertices from 1 or as the file shows
    them) or "jsonl" (one JSON object per line, with names where the input
    has them). order: "sorted" (the lines ascending by bytes) or "none".
    Other options as for enumerate().
    """
    if format not in ("text", "jsonl"):
        raise ValueError(f"format must be 'text' or 'jsonl', got {format!r}")
    graph = as_graph(data)
    bounds = _bounds(min_sources, max_sources, min_targets, max_targets)
    return _core.text(graph._matrix, _check_engine(engine), _threads(threads), bounds, _reporter(progress),
                      format == "jsonl", _sorted(order))


def _named(arrays, labels):
    return [[labels[v] for v in array.tolist()] for array in arrays]


def _objects(values):
    column = _np.empty(len(values), dtype=object)
    for k, value in _builtins.enumerate(values):
        column[k] = value
    return column



def to_dataframe(
    data,
    *,
    engine="auto",
    threads=0,
    min_sources=None,
    max_sources=None,
    min_targets=None,
    max_targets=None,
    order="none",
    progress=None,
):
    """A pandas DataFrame with one row per maximal biclique of `data`.

    Columns: sources, targets (NumPy arrays of vertex numbers from 0),
    n_sources, n_targets, and source_names, target_names (lists) where the
    input names its vertices. Options as for enumerate().
    """
    import pandas

    bounds = _bounds(min_sources, max_sources, min_targets, max_targets)
    graph, run = _start(data, engine, threads, bounds, order, progress)
    sources, targets = [], []
    for batch_sources, source_starts, batch_targets, target_starts in _batches(run):
        sources.extend(_np.split(batch_sources, source_starts[1:-1]))
        targets.extend(_np.split(batch_targets, target_starts[1:-1]))
    columns = {
        "sources": _objects(sources),
        "targets": _objects(targets),
        "n_sources": _np.array([len(a) for a in sources], dtype=_np.int64),
        "n_targets": _np.array([len(a) for a in targets], dtype=_np.int64),
    }
    if graph.source_names is not None:
        columns["source_names"] = _objects(_named(sources, graph.source_names))
    if graph.target_names is not None:
        columns["target_names"] = _objects(_named(targets, graph.target_names))
    return pandas.DataFrame(columns)
