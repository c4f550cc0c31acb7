// Inputhistoryunit: the input pane's documents that Generate and Open
// replaced, so that each replacement can be undone, newest first. A document
// keeps its own undo steps, so undoing goes on into the edits made before.
#pragma once

#include <QString>
#include <QTextDocument>
#include <deque>
#include <memory>
#include <optional>

#include "Labelsunit.h"

struct TInputState {
  std::unique_ptr<QTextDocument> Document;     // owned here, no parent
  QString FilePath;                            // the file it came from or went to; empty for none
  std::shared_ptr<const TVertexLabels> Labels; // the labels Open gave it; null for none
  QString ReplacedBy;                          // what replaced it: "Generate", "Open"
};

class TInputHistory {
public:
  // Keeps documents of up to `budget` characters in all, and always the
  // newest one whatever its size.
  explicit TInputHistory(qint64 budget) : Budget(budget) {}

  // Adds the newest state; drops the oldest ones beyond the budget.
  // Pre: state.Document has no parent.
  void Push(TInputState state);
  // Takes out the newest state; nothing when none is left.
  std::optional<TInputState> Pop();
  bool Empty() const { return States.empty(); }

private:
  qint64 Budget;
  qint64 Characters = 0;
  std::deque<TInputState> States; // oldest first
};
