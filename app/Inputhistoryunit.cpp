#include "Inputhistoryunit.h"

void TInputHistory::Push(TInputState state) {
  Characters += state.Document->characterCount();
  States.push_back(std::move(state));
  while (States.size() > 1 && Characters > Budget) {
    Characters -= States.front().Document->characterCount();
    States.pop_front();
  }
}

std::optional<TInputState> TInputHistory::Pop() {
  if (States.empty()) return std::nullopt;
  TInputState state = std::move(States.back());
  States.pop_back();
  Characters -= state.Document->characterCount();
  return state;
}
