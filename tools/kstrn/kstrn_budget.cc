#include "kstrn_budget.h"

#include <string>

namespace kstrn::tool {
namespace {

thread_local WorkBudget* current = nullptr;

}  // namespace

WorkBudget::WorkBudget(std::chrono::steady_clock::duration time, const std::atomic<bool>* stop)
    : deadline_(std::chrono::steady_clock::now() + time), stop_(stop), outer_(current) {
  current = this;
}

WorkBudget::~WorkBudget() { current = outer_; }

void WorkBudget::Check() {
  const WorkBudget* budget = current;
  if (budget == nullptr) return;
  if (budget->stop_ != nullptr && budget->stop_->load(std::memory_order_relaxed))
    throw BudgetSpent("stopped: the server is ending");
  if (std::chrono::steady_clock::now() >= budget->deadline_)
    throw BudgetSpent("stopped: the answer took longer than its time limit");
}

}  // namespace kstrn::tool
