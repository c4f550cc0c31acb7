#include "Extensionunit.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cassert>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "Poslistunit.h"

// The search is close-by-one: a node is a closed pair (extent, intent), the
// intent on the extension side. Its children add one extension vertex j past
// the node's start, close the pair, and are kept only when the closure added
// no vertex below j that the node lacked (the canonicity test), so every
// closed pair is reached exactly once. A failed test leaves a witness, a
// vertex below j in the closure but not in the intent; since descendants only
// shrink the extent, the witness stays in their closure too, and j is skipped
// there as long as the witness stays outside their intent. A witness below
// the node's start can never enter a descendant's intent, so j is then dead
// for the whole subtree, as it is when j meets no object of the extent.
//
// A result is kept as its intent only, plus a step: its depth below the last
// result whose extent must be found from the matrix, and the attribute whose
// column cut its extent from its parent's. Results are kept in search order,
// so a result's parent is the last earlier result one level up, and reading
// them in order costs one column per result.

namespace {

constexpr std::uint64_t AllBits = ~std::uint64_t{0};

bool Has(const std::uint64_t* set, std::int32_t i) { return (set[i / 64] & WordBit(i)) != 0; }

// The bits of the last word of a `size`-bit set that belong to an index.
std::uint64_t LastWordMask(std::int32_t size) { return size % 64 == 0 ? AllBits : ~(AllBits >> (size % 64)); }

void FillAll(std::uint64_t* set, std::int32_t size) {
  const std::int32_t words = WordCount(size);
  std::fill(set, set + words, AllBits);
  if (words > 0) set[words - 1] &= LastWordMask(size);
}

std::int32_t CountBits(const std::uint64_t* set, std::int32_t words) {
  std::int32_t count = 0;
  for (std::int32_t w = 0; w < words; ++w)
    count += std::popcount(set[w]);
  return count;
}

// Calls visit(i) for every set bit i of words [from, to), ascending.
template <typename TVisit>
void ForEachBit(const std::uint64_t* set, std::int32_t from, std::int32_t to, const TVisit& visit) {
  for (std::int32_t w = from; w < to; ++w) {
    std::uint64_t word = set[w];
    while (word != 0) {
      const int zeros = std::countl_zero(word);
      word &= ~(std::uint64_t{1} << (63 - zeros));
      visit(w * 64 + zeros);
    }
  }
}

// The matrix as the search sees it: objects and attributes, the attributes
// being the extension side.
struct TContext {
  std::int32_t Objects;
  std::int32_t Attributes;
  std::int32_t ObjectWords;
  std::int32_t AttributeWords;
  const std::uint64_t* ObjectSets;    // object o: its attributes
  const std::uint64_t* AttributeSets; // attribute j: its objects
  // On the transpose a child without objects is still a result: the set of
  // all sources with the empty target set.
  bool KeepEmptyExtent;
};

// A subtree handed from one thread to another, with what its parent knew.
struct TTask {
  std::vector<std::uint64_t> Extent;
  std::vector<std::uint64_t> Intent;
  std::vector<std::uint64_t> Dead;
  std::vector<std::int32_t> Witness;
  std::int32_t Start = 0;
  bool Emit = true;
};

struct TSharedWork {
  std::mutex Mutex;
  std::condition_variable Wake;
  std::deque<TTask> Tasks;
  std::int32_t Threads = 1;
  std::int32_t Idle = 0;
  bool Done = false;
  std::atomic<std::int32_t> Waiting{0}; // threads waiting for a task
};

// Scratch of one search depth.
struct TLevel {
  std::vector<std::int32_t> Witness;   // per attribute, -1 for none
  std::vector<std::uint64_t> Dead;     // attributes skipped below this node
  std::vector<std::uint64_t> Children; // per kept child: extent, then intent
  std::vector<std::int32_t> ChildAttribute;
  std::vector<std::uint64_t> Reach; // attributes of some object of a small extent
};

class TWorker {
public:
  std::vector<std::uint64_t> Sets; // emitted intents
  std::vector<std::int32_t> Steps; // per emitted intent: depth, attribute
  std::int64_t Count = 0;

  TWorker(const TContext& context, TSharedWork& shared) : Context(context), Shared(shared) {}

  void Work() {
    std::unique_lock lock(Shared.Mutex);
    for (;;) {
      if (!Shared.Tasks.empty()) {
        const TTask task = std::move(Shared.Tasks.front());
        Shared.Tasks.pop_front();
        lock.unlock();
        // A task's root starts a new chain of steps; children of a root
        // that is no result start it themselves.
        ChainBase = task.Emit ? 0 : 1;
        Expand(0, task.Extent.data(), task.Intent.data(), task.Start, -1, task.Witness.data(),
               task.Dead.data(), task.Emit);
        lock.lock();
        continue;
      }
      if (++Shared.Idle == Shared.Threads) {
        Shared.Done = true;
        Shared.Wake.notify_all();
        return;
      }
      Shared.Waiting.fetch_add(1, std::memory_order_relaxed);
      Shared.Wake.wait(lock, [this] { return Shared.Done || !Shared.Tasks.empty(); });
      Shared.Waiting.fetch_sub(1, std::memory_order_relaxed);
      if (Shared.Done) return;
      --Shared.Idle;
    }
  }

private:
  const TContext& Context;
  TSharedWork& Shared;
  std::vector<std::unique_ptr<TLevel>> Levels; // by depth below a task's node
  std::size_t ChainBase = 0;                   // depth of the task's first result

  TLevel& Level(std::size_t depth) {
    while (Levels.size() <= depth) {
      auto level = std::make_unique<TLevel>();
      level->Witness.assign(static_cast<std::size_t>(Context.Attributes), -1);
      level->Dead.assign(static_cast<std::size_t>(Context.AttributeWords), 0);
      level->Reach.assign(static_cast<std::size_t>(Context.AttributeWords), 0);
      Levels.push_back(std::move(level));
    }
    return *Levels[depth];
  }

  static bool IsSubset(const std::uint64_t* set, const std::uint64_t* of, std::int32_t from,
                       std::int32_t to) {
    for (std::int32_t w = from; w < to; ++w) {
      if ((set[w] & ~of[w]) != 0) return false;
    }
    return true;
  }

  // Closes `extent` (objects in words [from, to), `count` of them) into
  // `closure`, the node's `intent` plus attribute j and what the extent
  // forces. Returns -1 when the closure adds nothing below j to the intent,
  // else the lowest attribute it adds there (closure then unfinished).
  std::int32_t Close(const std::uint64_t* extent, std::int32_t count, std::int32_t from, std::int32_t to,
                     const std::uint64_t* intent, std::int32_t freeAttributes, std::int32_t j,
                     std::uint64_t* closure) const {
    const std::int32_t aw = Context.AttributeWords;
    // Intersecting the objects' rows costs a row per object; testing the
    // attributes' columns costs a few words per attribute outside the intent.
    if (static_cast<std::int64_t>(count) * aw <= static_cast<std::int64_t>(freeAttributes) * 2) {
      FillAll(closure, Context.Attributes);
      for (std::int32_t w = from; w < to; ++w) {
        std::uint64_t word = extent[w];
        while (word != 0) {
          const int zeros = std::countl_zero(word);
          word &= ~(std::uint64_t{1} << (63 - zeros));
          const std::uint64_t* row = Context.ObjectSets + static_cast<std::size_t>(w * 64 + zeros) * aw;
          for (std::int32_t a = 0; a < aw; ++a)
            closure[a] &= row[a];
        }
      }
      const std::int32_t last = j / 64;
      for (std::int32_t w = 0; w <= last; ++w) {
        std::uint64_t added = closure[w] & ~intent[w];
        if (w == last) added &= ~(AllBits >> (j % 64));
        if (added != 0) return w * 64 + std::countl_zero(added);
      }
      return -1;
    }
    const std::int32_t ow = Context.ObjectWords;
    for (std::int32_t k = 0; k < j; ++k) {
      if (!Has(intent, k) &&
          IsSubset(extent, Context.AttributeSets + static_cast<std::size_t>(k) * ow, from, to))
        return k;
    }
    std::copy(intent, intent + aw, closure);
    closure[j / 64] |= WordBit(j);
    for (std::int32_t k = j + 1; k < Context.Attributes; ++k) {
      if (!Has(intent, k) &&
          IsSubset(extent, Context.AttributeSets + static_cast<std::size_t>(k) * ow, from, to))
        closure[k / 64] |= WordBit(k);
    }
    return -1;
  }

  void HandOff(const std::uint64_t* extent, const std::uint64_t* intent, std::int32_t start,
               const TLevel& level) {
    TTask task;
    task.Extent.assign(extent, extent + Context.ObjectWords);
    task.Intent.assign(intent, intent + Context.AttributeWords);
    task.Dead = level.Dead;
    task.Witness = level.Witness;
    task.Start = start;
    {
      const std::lock_guard lock(Shared.Mutex);
      Shared.Tasks.push_back(std::move(task));
    }
    Shared.Wake.notify_one();
  }

  // Emits the node (extent, intent) when asked, then searches its children
  // from attribute `start` on; `witness` and `dead` are what its parent
  // learnt. The node's extent is its parent's cut by attribute `added`.
  void Expand(std::size_t depth, const std::uint64_t* extent, const std::uint64_t* intent, std::int32_t start,
              std::int32_t added, const std::int32_t* witness, const std::uint64_t* dead, bool emit) {
    const std::int32_t ow = Context.ObjectWords;
    const std::int32_t aw = Context.AttributeWords;
    if (emit) {
      Sets.insert(Sets.end(), intent, intent + aw);
      Steps.push_back(static_cast<std::int32_t>(depth - ChainBase));
      Steps.push_back(added);
      ++Count;
    }
    if (start >= Context.Attributes) return;

    TLevel& level = Level(depth);
    std::copy(dead, dead + aw, level.Dead.begin());
    level.Children.clear();
    level.ChildAttribute.clear();
    std::int32_t from = 0;
    std::int32_t to = ow;
    while (from < to && extent[from] == 0)
      ++from;
    while (to > from && extent[to - 1] == 0)
      --to;
    const std::int32_t freeAttributes = Context.Attributes - CountBits(intent, aw);
    const std::size_t stride = static_cast<std::size_t>(ow + aw);

    // A small extent reaches few attributes: those it misses meet none of its
    // objects and need no intersection. Without objects the closure is every
    // attribute, which adds the lowest one outside the intent.
    const bool reachKnown =
        static_cast<std::int64_t>(CountBits(extent + from, to - from)) * aw < Context.Attributes - start;
    std::int32_t firstFree = 0;
    if (reachKnown) {
      std::fill(level.Reach.begin(), level.Reach.end(), 0);
      ForEachBit(extent, from, to, [&](std::int32_t o) {
        const std::uint64_t* row = Context.ObjectSets + static_cast<std::size_t>(o) * aw;
        for (std::int32_t a = 0; a < aw; ++a)
          level.Reach[static_cast<std::size_t>(a)] |= row[a];
      });
      while (firstFree < Context.Attributes && Has(intent, firstFree))
        ++firstFree;
    }

    for (std::int32_t w = start / 64; w < aw; ++w) {
      std::uint64_t candidates = ~(intent[w] | dead[w]);
      if (w == start / 64) candidates &= AllBits >> (start % 64);
      if (w == aw - 1) candidates &= LastWordMask(Context.Attributes);
      if (reachKnown) {
        std::uint64_t missed = candidates & ~level.Reach[static_cast<std::size_t>(w)];
        if (Context.KeepEmptyExtent && firstFree / 64 == w) missed &= ~WordBit(firstFree);
        candidates &= ~missed;
        if (!Context.KeepEmptyExtent || firstFree < start) {
          level.Dead[static_cast<std::size_t>(w)] |= missed;
        } else {
          ForEachBit(&missed, 0, 1, [&](std::int32_t j) {
            level.Witness[static_cast<std::size_t>(w * 64 + j)] = firstFree;
          });
        }
      }
      while (candidates != 0) {
        const int zeros = std::countl_zero(candidates);
        const std::uint64_t bit = std::uint64_t{1} << (63 - zeros);
        candidates &= ~bit;
        const std::int32_t j = w * 64 + zeros;
        const std::int32_t known = witness[j];
        if (known >= 0 && !Has(intent, known)) {
          if (known < start) {
            level.Dead[static_cast<std::size_t>(w)] |= bit;
          } else {
            level.Witness[static_cast<std::size_t>(j)] = known;
          }
          continue;
        }
        const std::size_t slot = level.Children.size();
        level.Children.resize(slot + stride);
        std::uint64_t* child = level.Children.data() + slot;
        const std::uint64_t* column = Context.AttributeSets + static_cast<std::size_t>(j) * ow;
        std::int32_t count = 0;
        std::int32_t childFrom = to;
        std::int32_t childTo = from;
        for (std::int32_t o = from; o < to; ++o) {
          child[o] = extent[o] & column[o];
          if (child[o] != 0) {
            count += std::popcount(child[o]);
            childFrom = std::min(childFrom, o);
            childTo = o + 1;
          }
        }
        if (count == 0 && !Context.KeepEmptyExtent) {
          level.Children.resize(slot);
          level.Dead[static_cast<std::size_t>(w)] |= bit;
          continue;
        }
        const std::int32_t added = Close(child, count, childFrom, std::max(childFrom, childTo), intent,
                                         freeAttributes, j, child + ow);
        if (added >= 0) {
          level.Children.resize(slot);
          if (added < start) {
            level.Dead[static_cast<std::size_t>(w)] |= bit;
          } else {
            level.Witness[static_cast<std::size_t>(j)] = added;
          }
          continue;
        }
        level.Witness[static_cast<std::size_t>(j)] = -1;
        level.ChildAttribute.push_back(j);
      }
    }

    const std::size_t children = level.ChildAttribute.size();
    for (std::size_t c = 0; c < children; ++c) {
      const std::uint64_t* child = level.Children.data() + c * stride;
      const std::int32_t childStart = level.ChildAttribute[c] + 1;
      if (childStart < Context.Attributes && Shared.Waiting.load(std::memory_order_relaxed) > 0) {
        HandOff(child, child + ow, childStart, level);
      } else {
        Expand(depth + 1, child, child + ow, childStart, childStart - 1, level.Witness.data(),
               level.Dead.data(), true);
      }
    }
  }
};

} // namespace

TExtensionBicliques::TExtensionBicliques(std::int32_t rowCount, std::int32_t columnCount)
    : RowCount(rowCount), ColumnCount(columnCount),
      ThreadCount(std::max<std::int32_t>(1, static_cast<std::int32_t>(std::thread::hardware_concurrency()))),
      TargetWords(WordCount(columnCount)), SourceWords(WordCount(rowCount)),
      Rows(static_cast<std::size_t>(rowCount) * static_cast<std::size_t>(TargetWords), 0) {
  assert(rowCount >= 0 && columnCount >= 0);
}

void TExtensionBicliques::SetRow(std::int32_t source, std::string_view bits) {
  assert(source >= 0 && source < RowCount && bits.size() == static_cast<std::size_t>(ColumnCount));
  std::uint64_t* row = Rows.data() + static_cast<std::size_t>(source) * static_cast<std::size_t>(TargetWords);
  std::fill(row, row + TargetWords, 0);
  for (std::int32_t t = 0; t < ColumnCount; ++t) {
    if (bits[static_cast<std::size_t>(t)] == '1') row[t / 64] |= WordBit(t);
  }
}

void TExtensionBicliques::BuildColumns() {
  Columns.assign(static_cast<std::size_t>(ColumnCount) * static_cast<std::size_t>(SourceWords), 0);
  for (std::int32_t s = 0; s < RowCount; ++s) {
    const std::uint64_t* row =
        Rows.data() + static_cast<std::size_t>(s) * static_cast<std::size_t>(TargetWords);
    for (std::int32_t w = 0; w < TargetWords; ++w) {
      std::uint64_t word = row[w];
      while (word != 0) {
        const int zeros = std::countl_zero(word);
        word &= ~(std::uint64_t{1} << (63 - zeros));
        const std::size_t t = static_cast<std::size_t>(w) * 64 + static_cast<std::size_t>(zeros);
        Columns[t * static_cast<std::size_t>(SourceWords) + static_cast<std::size_t>(s / 64)] |= WordBit(s);
      }
    }
  }
}

TExtensionSide TExtensionBicliques::ChooseSide() const {
  if (Side != TExtensionSide::Automatic) return Side;
  // A node tries every extension vertex outside its intent, each try
  // intersecting an extent of the other side's words; a try costs a few words
  // more for its bookkeeping.
  const auto cost = [](std::int64_t extension, std::int64_t otherWords) {
    return extension * (otherWords + 8);
  };
  return cost(RowCount, TargetWords) < cost(ColumnCount, SourceWords) ? TExtensionSide::Sources
                                                                      : TExtensionSide::Targets;
}

std::int32_t TExtensionBicliques::ExtensionWords() const { return Transposed ? SourceWords : TargetWords; }

std::int64_t TExtensionBicliques::Run() {
  BuildColumns();
  Sets.clear();
  ResultCount = 0;
  if (RowCount == 0) return 0;
  // Without targets there is one result, all sources, on either side; the
  // target side keeps it free of empty sets.
  Transposed = ColumnCount > 0 && ChooseSide() == TExtensionSide::Sources;

  TContext context{};
  if (Transposed) {
    context = {ColumnCount, RowCount, TargetWords, SourceWords, Columns.data(), Rows.data(), true};
  } else {
    context = {RowCount, ColumnCount, SourceWords, TargetWords, Rows.data(), Columns.data(), false};
  }
  Support.resize(static_cast<std::size_t>(context.Attributes));
  for (std::int32_t j = 0; j < context.Attributes; ++j) {
    Support[static_cast<std::size_t>(j)] = CountBits(
        context.AttributeSets + static_cast<std::size_t>(j) * static_cast<std::size_t>(context.ObjectWords),
        context.ObjectWords);
  }

  // The root: every object, and the attributes they all share. On the
  // transpose it has no source when no source has every target.
  TTask root;
  root.Extent.resize(static_cast<std::size_t>(context.ObjectWords));
  FillAll(root.Extent.data(), context.Objects);
  root.Intent.resize(static_cast<std::size_t>(context.AttributeWords));
  FillAll(root.Intent.data(), context.Attributes);
  for (std::int32_t o = 0; o < context.Objects; ++o) {
    const std::uint64_t* row =
        context.ObjectSets + static_cast<std::size_t>(o) * static_cast<std::size_t>(context.AttributeWords);
    for (std::int32_t a = 0; a < context.AttributeWords; ++a)
      root.Intent[static_cast<std::size_t>(a)] &= row[a];
  }
  root.Dead.assign(static_cast<std::size_t>(context.AttributeWords), 0);
  root.Witness.assign(static_cast<std::size_t>(context.Attributes), -1);
  root.Emit = !Transposed || CountBits(root.Intent.data(), context.AttributeWords) > 0;

  TSharedWork shared;
  shared.Threads = std::max<std::int32_t>(1, ThreadCount);
  shared.Tasks.push_back(std::move(root));
  std::vector<std::unique_ptr<TWorker>> workers;
  for (std::int32_t t = 0; t < shared.Threads; ++t)
    workers.push_back(std::make_unique<TWorker>(context, shared));
  std::vector<std::thread> threads;
  for (std::size_t t = 1; t < workers.size(); ++t)
    threads.emplace_back([&worker = *workers[t]] { worker.Work(); });
  workers.front()->Work();
  for (auto& thread : threads)
    thread.join();

  std::size_t total = 0;
  for (const auto& worker : workers)
    total += worker->Sets.size();
  Sets.reserve(total);
  Steps.reserve(static_cast<std::size_t>(2 * ResultCount));
  for (auto& worker : workers) {
    Sets.insert(Sets.end(), worker->Sets.begin(), worker->Sets.end());
    Steps.insert(Steps.end(), worker->Steps.begin(), worker->Steps.end());
    ResultCount += worker->Count;
    worker.reset();
  }
  return ResultCount;
}

std::int64_t TExtensionBicliques::Count() const { return ResultCount; }

TExtensionSide TExtensionBicliques::UsedSide() const {
  return Transposed ? TExtensionSide::Sources : TExtensionSide::Targets;
}

void TExtensionBicliques::CommonNeighbours(const std::uint64_t* set, std::uint64_t* out) const {
  const std::int32_t setWords = ExtensionWords();
  const std::int32_t otherCount = Transposed ? ColumnCount : RowCount;
  const std::int32_t otherWords = WordCount(otherCount);
  const std::uint64_t* sets = Transposed ? Rows.data() : Columns.data();   // per set vertex: its neighbours
  const std::uint64_t* others = Transposed ? Columns.data() : Rows.data(); // per other vertex: its neighbours
  FillAll(out, otherCount);
  // Either intersect the neighbours of every member, or keep those neighbours
  // of the rarest member that are adjacent to every member.
  std::int32_t members = 0;
  std::int32_t rarest = -1;
  for (std::int32_t w = 0; w < setWords; ++w) {
    std::uint64_t word = set[w];
    while (word != 0) {
      const int zeros = std::countl_zero(word);
      word &= ~(std::uint64_t{1} << (63 - zeros));
      const std::int32_t v = w * 64 + zeros;
      ++members;
      if (rarest < 0 || Support[static_cast<std::size_t>(v)] < Support[static_cast<std::size_t>(rarest)])
        rarest = v;
    }
  }
  if (members == 0) return;
  const std::uint64_t* rarestNeighbours =
      sets + static_cast<std::size_t>(rarest) * static_cast<std::size_t>(otherWords);
  if (static_cast<std::int64_t>(members) * otherWords <=
      static_cast<std::int64_t>(Support[static_cast<std::size_t>(rarest)]) * setWords + otherWords) {
    for (std::int32_t w = 0; w < setWords; ++w) {
      std::uint64_t word = set[w];
      while (word != 0) {
        const int zeros = std::countl_zero(word);
        word &= ~(std::uint64_t{1} << (63 - zeros));
        const std::uint64_t* neighbours = sets + static_cast<std::size_t>(w * 64 + zeros) * otherWords;
        for (std::int32_t o = 0; o < otherWords; ++o)
          out[o] &= neighbours[o];
      }
    }
    return;
  }
  std::fill(out, out + otherWords, 0);
  for (std::int32_t o = 0; o < otherWords; ++o) {
    std::uint64_t word = rarestNeighbours[o];
    while (word != 0) {
      const int zeros = std::countl_zero(word);
      const std::uint64_t bit = std::uint64_t{1} << (63 - zeros);
      word &= ~bit;
      const std::uint64_t* row = others + static_cast<std::size_t>(o * 64 + zeros) * setWords;
      bool all = true;
      for (std::int32_t w = 0; w < setWords && all; ++w)
        all = (set[w] & ~row[w]) == 0;
      if (all) out[o] |= bit;
    }
  }
}

void TExtensionBicliques::ForEachResult(std::int64_t first, std::int64_t last,
                                        const TResultVisitor& visit) const {
  assert(0 <= first && first <= last && last <= ResultCount);
  const std::int32_t words = ExtensionWords();
  const std::int32_t otherWords = Transposed ? TargetWords : SourceWords;
  const std::uint64_t* cuts =
      Transposed ? Rows.data() : Columns.data(); // per extension vertex: its neighbours
  // Extents of the last result at each depth; those from `valid` up to the
  // last result's depth belong to its ancestors read in this call.
  std::vector<std::uint64_t> extents;
  std::size_t valid = 0;
  std::size_t top = 0;
  for (std::int64_t i = first; i < last; ++i) {
    const std::uint64_t* set = Sets.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(words);
    const auto depth = static_cast<std::size_t>(Steps[static_cast<std::size_t>(2 * i)]);
    const std::int32_t added = Steps[static_cast<std::size_t>(2 * i + 1)];
    if (extents.size() < (depth + 1) * static_cast<std::size_t>(otherWords))
      extents.resize((depth + 1) * static_cast<std::size_t>(otherWords));
    std::uint64_t* extent = extents.data() + depth * static_cast<std::size_t>(otherWords);
    if (i > first && depth > valid && depth <= top + 1) {
      const std::uint64_t* parent = extent - otherWords;
      const std::uint64_t* cut =
          cuts + static_cast<std::size_t>(added) * static_cast<std::size_t>(otherWords);
      for (std::int32_t w = 0; w < otherWords; ++w)
        extent[w] = parent[w] & cut[w];
    } else {
      CommonNeighbours(set, extent);
      valid = depth;
    }
    top = depth;
    if (Transposed) {
      visit(set, extent);
    } else {
      visit(extent, set);
    }
  }
}
