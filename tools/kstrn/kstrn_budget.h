// A bound on the work a thread does for one answer: while a WorkBudget lives
// on a thread, the long loops of that thread (the block walk, a summary's
// pass over a blob) call WorkBudget::Check, which throws BudgetSpent once the
// deadline has passed or the stop flag is set. kstrn view bounds each of its
// answers so; the command line sets none and its walks run to the end.
#pragma once

#include <atomic>
#include <chrono>

#include "kstrn_failure.h"

namespace kstrn::tool {

class BudgetSpent : public Failure {
 public:
  using Failure::Failure;
};

class WorkBudget {
 public:
  // stop may be null; it must outlive the budget. Budgets nest: the innermost
  // one counts.
  WorkBudget(std::chrono::steady_clock::duration time, const std::atomic<bool>* stop);
  ~WorkBudget();
  WorkBudget(const WorkBudget&) = delete;
  WorkBudget& operator=(const WorkBudget&) = delete;

  // Throws BudgetSpent when this thread's budget is spent; cheap when the
  // thread has none.
  static void Check();

 private:
  std::chrono::steady_clock::time_point deadline_;
  const std::atomic<bool>* stop_;
  WorkBudget* outer_;
};

}  // namespace kstrn::tool
