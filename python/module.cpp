// bicliques._core: the Python face of the run path. Matrices come from the
// readers or from arrays; every run goes on a thread of its own while the
// Python thread waits in short slices with the GIL released, and between
// them checks for signals (KeyboardInterrupt stops the run) and passes
// progress reports on. The package bicliques (python/bicliques) wraps it.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "Arrayinputunit.h"
#include "Batchqueueunit.h"
#include "Enginetableunit.h"
#include "Parallelunit.h"
#include "Readerunit.h"
#include "Runthreadunit.h"
#include "Rununit.h"

namespace py = pybind11;

namespace {

// How long the Python thread waits before it looks at signals and progress
// again: well within the 100 ms in which a KeyboardInterrupt must stop a run.
constexpr std::chrono::milliseconds Slice{10};
// Progress reports reach the callback at most this often.
constexpr std::chrono::milliseconds ProgressInterval{100};
// Batches waiting for the Python thread; beyond that the run waits.
constexpr std::size_t QueuedBatches = 8;

// bicliques.InputError, made at import.
PyObject* InputErrorType = nullptr;

// A matrix as Python holds it; a run shares it, so it lives as long as both.
struct TPyMatrix {
  std::shared_ptr<const TMatrix> Matrix;
};

// What every run is told.
struct TSettings {
  TEngineKind Engine = TEngineKind::Automatic;
  TRunConfig Config;
  py::object Progress; // called with (phase, pass, sets), or None
};

TSettings SettingsOf(const std::string& engine, std::int32_t threads, const std::vector<std::int32_t>& bounds,
                     py::object progress) {
  TSettings settings;
  const auto kind = EngineNamed(engine);
  if (!kind) {
    std::string names = "'auto'";
    for (const TEngineEntry& entry : Engines())
      names += ", '" + std::string(entry.Name) + "'";
    throw py::value_error("unknown engine '" + engine + "': use " + names);
  }
  if (threads < 0) throw py::value_error("threads must be 0 (every core) or more");
  if (bounds.size() != 4) throw py::value_error("expected four bounds");
  settings.Engine = *kind;
  settings.Config.Threads = threads;
  settings.Config.Bounds = TBounds{bounds[0], bounds[1], bounds[2], bounds[3]};
  settings.Config.ProgressInterval = ProgressInterval;
  settings.Progress = std::move(progress);
  return settings;
}

const char* PhaseName(TPhase phase) {
  switch (phase) {
  case TPhase::Reading:
    return "reading";
  case TPhase::Formatting:
    return "formatting";
  case TPhase::Enumerating:
    break;
  }
  return "enumerating";
}

// Calls `slice` (which waits at most about one Slice) with the GIL released
// until it returns true; between calls, with the GIL, raises a pending
// signal's exception and passes the last progress report to `progress`.
// Whatever is raised stops the run and waits for its thread first.
template <typename TSlice> void WaitInSlices(TRunThread& run, const py::object& progress, TSlice&& slice) {
  try {
    for (;;) {
      bool done;
      {
        py::gil_scoped_release free;
        done = slice();
      }
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
      const std::optional<TProgress> report = run.TakeProgress();
      if (report && !progress.is_none()) progress(PhaseName(report->Phase), report->Pass, report->Sets);
      if (done) return;
    }
  } catch (...) {
    run.RequestStop();
    py::gil_scoped_release free;
    run.Join();
    throw;
  }
}

// Runs body on a thread of its own and waits for it as WaitInSlices does;
// rethrows what the body threw.
void RunAndWait(const TSettings& settings, TRunThread::TBody body) {
  TRunThread run(settings.Config, std::move(body));
  WaitInSlices(run, settings.Progress, [&run] { return run.WaitFor(Slice); });
  py::gil_scoped_release free;
  run.Finish();
}

std::int64_t CountOf(const TPyMatrix& matrix, const TSettings& settings) {
  std::int64_t count = 0;
  RunAndWait(settings, [&matrix, &settings, &count](const TRunConfig& config) {
    TRunOptions options;
    options.Engine = settings.Engine;
    options.Config = config;
    options.Output = TOutput::Count;
    count = RunMatrix(*matrix.Matrix, options).Count;
  });
  return count;
}

// A quarter of the machine's memory, as the command line sorts in memory.
std::int64_t SortBudget() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return std::int64_t{1} << 30;
  return static_cast<std::int64_t>(pages) * pageSize / 4;
}

std::string TempDir() {
  const char* temp = std::getenv("TMPDIR");
  return temp != nullptr && *temp != '\0' ? temp : "/tmp";
}

py::str TextOf(const TPyMatrix& matrix, const TSettings& settings, bool jsonl, bool sorted) {
  std::string text;
  RunAndWait(settings, [&](const TRunConfig& config) {
    TRunOptions options;
    options.Engine = settings.Engine;
    options.Config = config;
    options.Format = jsonl ? TLineFormat::Jsonl : TLineFormat::Text;
    options.Output = sorted ? TOutput::SortedText : TOutput::Unordered;
    options.Write = [&text](std::string_view lines) { text.append(lines); };
    options.MemoryBudget = SortBudget();
    options.TempDir = TempDir();
    RunMatrix(*matrix.Matrix, options);
  });
  return py::str(text);
}

// A NumPy array that owns `values` without copying them.
template <typename T> py::array_t<T> ArrayOf(std::vector<T>&& values) {
  auto* held = new std::vector<T>(std::move(values));
  py::capsule owner(held, [](void* pointer) { delete static_cast<std::vector<T>*>(pointer); });
  return py::array_t<T>(static_cast<py::ssize_t>(held->size()), held->data(), owner);
}

// One run whose results come to Python in batches, as they are found
// (unordered) or in the order of the result text (sorted).
class TBatchRun {
public:
  TBatchRun(const TPyMatrix& matrix, TSettings settings, bool sorted)
      : Matrix(matrix.Matrix), Settings(std::move(settings)), Queue(QueuedBatches) {
    Run = std::make_unique<TRunThread>(Settings.Config, [this, sorted](const TRunConfig& config) {
      // The reader learns of the end, however the run ends.
      struct TCloser {
        TBatchQueue& Queue;
        ~TCloser() { Queue.Close(); }
      } closer{Queue};
      if (sorted) {
        TLineBatcher lines(*Matrix, Queue, config.Stop);
        TRunOptions options;
        options.Engine = Settings.Engine;
        options.Config = config;
        options.Output = TOutput::SortedText;
        options.Write = [&lines](std::string_view text) { lines.Add(text); };
        options.MemoryBudget = SortBudget();
        options.TempDir = TempDir();
        RunMatrix(*Matrix, options);
        lines.Flush();
        return;
      }
      TViewBatcher views(*Matrix, ThreadCount(config.Threads), Queue, config.Stop);
      const std::unique_ptr<TEngine> engine = MakeEngine(Settings.Engine, *Matrix);
      TRunConfig streamed = config;
      streamed.Stream = [&views](std::int32_t worker, const TVertexSet& sources, const TVertexSet& targets) {
        views.Add(worker, sources, targets);
      };
      engine->Run(streamed);
      views.Flush();
    });
  }

  ~TBatchRun() { Close(); }

  // The next batch as (sources, source starts, targets, target starts), or
  // None after the last.
  py::object Next() {
    if (Finished) return py::none();
    TBatch batch;
    TBatchQueue::TTake taken = TBatchQueue::TTake::Timeout;
    try {
      WaitInSlices(*Run, Settings.Progress, [&] {
        taken = Queue.Take(batch, Slice);
        return taken != TBatchQueue::TTake::Timeout;
      });
    } catch (...) {
      Finished = true;
      throw;
    }
    if (taken == TBatchQueue::TTake::Closed) {
      Finished = true;
      py::gil_scoped_release free;
      Run->Finish();
      return py::none();
    }
    return py::make_tuple(ArrayOf(std::move(batch.Sources)), ArrayOf(std::move(batch.SourceStarts)),
                          ArrayOf(std::move(batch.Targets)), ArrayOf(std::move(batch.TargetStarts)));
  }

  // Stops the run if it still goes, and waits for its thread.
  void Close() {
    Finished = true;
    Run->RequestStop();
    py::gil_scoped_release free;
    Run->Join();
  }

private:
  std::shared_ptr<const TMatrix> Matrix;
  TSettings Settings;
  TBatchQueue Queue;
  std::unique_ptr<TRunThread> Run; // last: its thread ends before the rest goes
  bool Finished = false;
};

TElementKind KindOf(const py::dtype& dtype) {
  const char kind = dtype.kind();
  const auto size = dtype.itemsize();
  if (kind == 'b') return TElementKind::Bool;
  if (kind == 'i' && size == 1) return TElementKind::Int8;
  if (kind == 'i' && size == 2) return TElementKind::Int16;
  if (kind == 'i' && size == 4) return TElementKind::Int32;
  if (kind == 'i' && size == 8) return TElementKind::Int64;
  if (kind == 'u' && size == 1) return TElementKind::UInt8;
  if (kind == 'u' && size == 2) return TElementKind::UInt16;
  if (kind == 'u' && size == 4) return TElementKind::UInt32;
  if (kind == 'u' && size == 8) return TElementKind::UInt64;
  if (kind == 'f' && size == 4) return TElementKind::Float32;
  if (kind == 'f' && size == 8) return TElementKind::Float64;
  throw py::type_error("cannot read an array of " + dtype.attr("name").cast<std::string>() +
                       " as 0/1: use bool, integers or floating-point numbers");
}

void CheckNative(const py::array& array) {
  if (!array.dtype().attr("isnative").cast<bool>())
    throw py::type_error("the array's bytes are not in the machine's order");
}

TArrayView ViewOf(const py::array& array) {
  if (array.ndim() != 1) throw py::value_error("expected a 1-D array");
  CheckNative(array);
  return {static_cast<const char*>(array.data()), KindOf(array.dtype()), array.shape(0), array.strides(0)};
}

TArrayView ViewOf(const std::optional<py::array>& array) { return array ? ViewOf(*array) : TArrayView{}; }

std::vector<std::string> Names(const std::optional<std::vector<std::string>>& names, std::int32_t count,
                               const char* side) {
  if (!names) return {};
  if (static_cast<std::int64_t>(names->size()) != count)
    throw py::value_error(std::string("expected ") + std::to_string(count) + " " + side + " names, got " +
                          std::to_string(names->size()));
  return *names;
}

// Wraps `matrix` with the given names and shown target numbers.
TPyMatrix Wrapped(TMatrix matrix, const std::optional<std::vector<std::string>>& sourceNames,
                  const std::optional<std::vector<std::string>>& targetNames,
                  const std::optional<std::vector<std::int64_t>>& targetIds) {
  matrix.SourceNames = Names(sourceNames, matrix.Sources, "source");
  matrix.TargetNames = Names(targetNames, matrix.Targets, "target");
  if (targetIds) {
    if (static_cast<std::int64_t>(targetIds->size()) != matrix.Targets)
      throw py::value_error("expected one target id per target");
    for (std::size_t k = 1; k < targetIds->size(); ++k)
      if ((*targetIds)[k] <= (*targetIds)[k - 1]) throw py::value_error("target ids must ascend");
    matrix.TargetIds = *targetIds;
  }
  return {std::make_shared<const TMatrix>(std::move(matrix))};
}

py::object NamesOf(const std::vector<std::string>& names) {
  if (names.empty()) return py::none();
  return py::cast(names);
}

py::object IdsOf(const std::vector<std::int64_t>& ids) {
  if (ids.empty()) return py::none();
  return py::array_t<std::int64_t>(static_cast<py::ssize_t>(ids.size()), ids.data());
}

void RaiseInputError(const char* message, py::object line, py::object column, py::object position,
                     py::object entry) {
  py::object error = py::reinterpret_borrow<py::object>(InputErrorType)(message);
  error.attr("line") = std::move(line);
  error.attr("column") = std::move(column);
  error.attr("position") = std::move(position);
  error.attr("entry") = std::move(entry);
  PyErr_SetObject(InputErrorType, error.ptr());
}

py::object PlaceOrNone(std::int64_t place) { return place > 0 ? py::object(py::int_(place)) : py::none(); }

} // namespace

PYBIND11_MODULE(_core, module) {
  module.doc() = "The engines of bicliques; use the package bicliques, which wraps this module.";

  InputErrorType = PyErr_NewExceptionWithDoc(
      "bicliques.InputError",
      "Input that is refused. A ValueError; for files `line` and `column` (from 1; column None when the\n"
      "whole line is at fault) name the place, for arrays `position` (row, column) from 0, and `entry`\n"
      "the stored entry of a sparse array. Attributes that do not apply are None.",
      PyExc_ValueError, nullptr);
  if (InputErrorType == nullptr) throw py::error_already_set();
  for (const char* name : {"line", "column", "position", "entry"})
    py::setattr(InputErrorType, name, py::none());
  module.attr("InputError") = py::handle(InputErrorType);
  py::register_exception_translator([](std::exception_ptr failure) {
    try {
      if (failure) std::rethrow_exception(failure);
    } catch (const TInputError& error) {
      RaiseInputError(error.what(), PlaceOrNone(error.Line), PlaceOrNone(error.Column), py::none(),
                      py::none());
    } catch (const TArrayError& error) {
      const py::object position =
          error.Row >= 0 ? py::object(py::make_tuple(error.Row, error.Column)) : py::object(py::none());
      const py::object entry = error.Entry >= 0 ? py::object(py::int_(error.Entry)) : py::object(py::none());
      RaiseInputError(error.what(), py::none(), py::none(), position, entry);
    }
  });

  py::class_<TPyMatrix>(module, "Matrix", "A bipartite graph as the engines take it.")
      .def_property_readonly("sources", [](const TPyMatrix& m) { return m.Matrix->Sources; })
      .def_property_readonly("targets", [](const TPyMatrix& m) { return m.Matrix->Targets; })
      .def_property_readonly("ones", [](const TPyMatrix& m) { return m.Matrix->Ones(); })
      .def_property_readonly("source_names",
                             [](const TPyMatrix& m) { return NamesOf(m.Matrix->SourceNames); })
      .def_property_readonly("target_names",
                             [](const TPyMatrix& m) { return NamesOf(m.Matrix->TargetNames); })
      .def_property_readonly("source_ids", [](const TPyMatrix& m) { return IdsOf(m.Matrix->SourceIds); })
      .def_property_readonly("target_ids", [](const TPyMatrix& m) { return IdsOf(m.Matrix->TargetIds); })
      .def("row", [](const TPyMatrix& m, std::int32_t source) {
        if (source < 0 || source >= m.Matrix->Sources) throw py::index_error("no such source");
        const auto row = m.Matrix->Row(source);
        return py::array_t<std::int32_t>(static_cast<py::ssize_t>(row.size()), row.data());
      });

  module.def(
      "read_fd",
      [](int fd, const std::string& format, std::int64_t maxBytes) {
        const TFormat parsed = ParseFormat(format);
        py::gil_scoped_release free;
        return TPyMatrix{std::make_shared<const TMatrix>(ReadFd(fd, parsed, maxBytes))};
      },
      py::arg("fd"), py::arg("format"), py::arg("max_bytes"),
      "Reads the open file descriptor `fd` to its end in `format`.");
  module.def("format_for_path",
             [](const std::string& path) { return std::string(FormatName(FormatForPath(path))); });
  module.def("no_input_limit", [] { return NoInputLimit; });

  module.def(
      "from_dense",
      [](const py::array& array, const std::optional<std::vector<std::string>>& sourceNames,
         const std::optional<std::vector<std::string>>& targetNames) {
        if (array.ndim() != 2) throw py::value_error("expected a 2-D array");
        CheckNative(array);
        const TDenseView view{static_cast<const char*>(array.data()),
                              KindOf(array.dtype()),
                              array.shape(0),
                              array.shape(1),
                              array.strides(0),
                              array.strides(1)};
        TMatrix matrix;
        {
          py::gil_scoped_release free;
          matrix = MatrixOfDense(view);
        }
        return Wrapped(std::move(matrix), sourceNames, targetNames, std::nullopt);
      },
      py::arg("array"), py::arg("source_names"), py::arg("target_names"));
  module.def(
      "from_compressed",
      [](std::int64_t rows, std::int64_t columns, const py::array& starts, const py::array& indices,
         const std::optional<py::array>& values, bool byColumns,
         const std::optional<std::vector<std::string>>& sourceNames,
         const std::optional<std::vector<std::string>>& targetNames,
         const std::optional<std::vector<std::int64_t>>& targetIds) {
        const TArrayView startsView = ViewOf(starts), indicesView = ViewOf(indices),
                         valuesView = ViewOf(values);
        TMatrix matrix;
        {
          py::gil_scoped_release free;
          matrix = MatrixOfCompressed(rows, columns, startsView, indicesView, valuesView, byColumns);
        }
        return Wrapped(std::move(matrix), sourceNames, targetNames, targetIds);
      },
      py::arg("rows"), py::arg("columns"), py::arg("starts"), py::arg("indices"), py::arg("values"),
      py::arg("by_columns"), py::arg("source_names"), py::arg("target_names"), py::arg("target_ids"));
  module.def(
      "from_coordinates",
      [](std::int64_t rows, std::int64_t columns, const py::array& rowIndex, const py::array& columnIndex,
         const std::optional<py::array>& values, const std::optional<std::vector<std::string>>& sourceNames,
         const std::optional<std::vector<std::string>>& targetNames) {
        const TArrayView rowView = ViewOf(rowIndex), columnView = ViewOf(columnIndex),
                         valuesView = ViewOf(values);
        TMatrix matrix;
        {
          py::gil_scoped_release free;
          matrix = MatrixOfCoordinates(rows, columns, rowView, columnView, valuesView);
        }
        return Wrapped(std::move(matrix), sourceNames, targetNames, std::nullopt);
      },
      py::arg("rows"), py::arg("columns"), py::arg("row"), py::arg("column"), py::arg("values"),
      py::arg("source_names"), py::arg("target_names"));

  module.def("engines", [] {
    std::vector<std::pair<std::string, std::string>> engines;
    for (const TEngineEntry& entry : Engines())
      engines.emplace_back(entry.Name, entry.Summary);
    return engines;
  });

  module.def(
      "count",
      [](const TPyMatrix& matrix, const std::string& engine, std::int32_t threads,
         const std::vector<std::int32_t>& bounds, py::object progress) {
        return CountOf(matrix, SettingsOf(engine, threads, bounds, std::move(progress)));
      },
      py::arg("matrix"), py::arg("engine"), py::arg("threads"), py::arg("bounds"), py::arg("progress"));
  module.def(
      "text",
      [](const TPyMatrix& matrix, const std::string& engine, std::int32_t threads,
         const std::vector<std::int32_t>& bounds, py::object progress, bool jsonl, bool sorted) {
        return TextOf(matrix, SettingsOf(engine, threads, bounds, std::move(progress)), jsonl, sorted);
      },
      py::arg("matrix"), py::arg("engine"), py::arg("threads"), py::arg("bounds"), py::arg("progress"),
      py::arg("jsonl"), py::arg("sorted"));

  py::class_<TBatchRun>(module, "Run", "A run whose results come in batches.")
      .def(py::init([](const TPyMatrix& matrix, const std::string& engine, std::int32_t threads,
                       const std::vector<std::int32_t>& bounds, py::object progress, bool sorted) {
             return std::make_unique<TBatchRun>(
                 matrix, SettingsOf(engine, threads, bounds, std::move(progress)), sorted);
           }),
           py::arg("matrix"), py::arg("engine"), py::arg("threads"), py::arg("bounds"), py::arg("progress"),
           py::arg("sorted"))
      .def("next_batch", &TBatchRun::Next)
      .def("close", &TBatchRun::Close);
}
