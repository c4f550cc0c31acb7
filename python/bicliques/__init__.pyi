import os
from typing import Any, Callable, Hashable, Iterable, Iterator, Literal, NamedTuple, Optional, Sequence, Union

import numpy as np
import numpy.typing as npt

ENGINES: tuple[str, ...]
FORMATS: tuple[str, ...]

class InputError(ValueError):
    line: Optional[int]
    column: Optional[int]
    position: Optional[tuple[int, int]]
    entry: Optional[int]

class Progress(NamedTuple):
    phase: Literal["reading", "enumerating", "formatting"]
    consensus_pass: int
    sets: int

class Graph:
    source_names: Optional[list[Any]]
    target_names: Optional[list[Any]]
    @property
    def sources(self) -> int: ...
    @property
    def targets(self) -> int: ...
    @property
    def ones(self) -> int: ...
    @property
    def source_ids(self) -> Optional[npt.NDArray[np.int64]]: ...
    @property
    def target_ids(self) -> Optional[npt.NDArray[np.int64]]: ...
    def row(self, source: int) -> npt.NDArray[np.int32]: ...

class Biclique:
    sources: npt.NDArray[np.int32]
    targets: npt.NDArray[np.int32]
    def __init__(
        self,
        sources: npt.NDArray[np.int32],
        targets: npt.NDArray[np.int32],
        source_labels: Optional[Sequence[Any]] = ...,
        target_labels: Optional[Sequence[Any]] = ...,
    ) -> None: ...
    @property
    def source_names(self) -> Optional[list[Any]]: ...
    @property
    def target_names(self) -> Optional[list[Any]]: ...
    def __iter__(self) -> Iterator[npt.NDArray[np.int32]]: ...

# A 2-D array, a SciPy sparse matrix, a pandas DataFrame, transactions, a
# path or a Graph.
Data = Union[Graph, npt.ArrayLike, Iterable[Iterable[Hashable]], str, bytes, os.PathLike[str], Any]
Engine = Literal["auto", "consensus", "closure", "sparse"]
ProgressCallback = Callable[[Progress], object]

def read(
    path: Union[str, bytes, os.PathLike[str]],
    format: Optional[Literal["matrix", "fimi", "edges", "cxt", "csv"]] = ...,
    *,
    max_bytes: Optional[int] = ...,
) -> Graph: ...
def as_graph(
    data: Data, *, source_names: Optional[Sequence[Any]] = ..., target_names: Optional[Sequence[Any]] = ...
) -> Graph: ...
def enumerate(
    data: Data,
    *,
    engine: Engine = ...,
    threads: int = ...,
    min_sources: Optional[int] = ...,
    max_sources: Optional[int] = ...,
    min_targets: Optional[int] = ...,
    max_targets: Optional[int] = ...,
    order: Literal["none", "sorted"] = ...,
    progress: Optional[ProgressCallback] = ...,
) -> Iterator[Biclique]: ...
def count(
    data: Data,
    *,
    engine: Engine = ...,
    threads: int = ...,
    min_sources: Optional[int] = ...,
    max_sources: Optional[int] = ...,
    min_targets: Optional[int] = ...,
    max_targets: Optional[int] = ...,
    progress: Optional[ProgressCallback] = ...,
) -> int: ...
def text(
    data: Data,
    *,
    format: Literal["text", "jsonl"] = ...,
    order: Literal["none", "sorted"] = ...,
    engine: Engine = ...,
    threads: int = ...,
    min_sources: Optional[int] = ...,
    max_sources: Optional[int] = ...,
    min_targets: Optional[int] = ...,
    max_targets: Optional[int] = ...,
    progress: Optional[ProgressCallback] = ...,
) -> str: ...
def to_dataframe(
    data: Data,
    *,
    engine: Engine = ...,
    threads: int = ...,
    min_sources: Optional[int] = ...,
    max_sources: Optional[int] = ...,
    min_targets: Optional[int] = ...,
    max_targets: Optional[int] = ...,
    order: Literal["none", "sorted"] = ...,
    progress: Optional[ProgressCallback] = ...,
) -> Any: ...
