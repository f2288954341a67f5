// The bucket indexes of the channels a page has plotted, within a byte budget:
// when their summaries together pass it, the least recently used are dropped
// (and rebuilt by one pass over their blob if plotted again), so that plotting
// every channel of a large recording cannot grow the server without bound.
#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>

#include "view_buckets.h"

namespace kstrn::tool {

class BucketCache {
 public:
  static constexpr std::size_t kDefaultBudget = 64u << 20;

  explicit BucketCache(std::size_t budget = kDefaultBudget) : budget_(budget) {}

  // Calls use with the index of key (made by make when absent), one caller
  // per index at a time, others in parallel; then drops the least recently
  // used other indexes while the total is over the budget. Thread-safe.
  void With(std::size_t key, const std::function<std::unique_ptr<BucketIndex>()>& make,
            const std::function<void(BucketIndex&)>& use);

  std::size_t Bytes() const;
  std::size_t Size() const;

 private:
  struct Slot {
    std::mutex use;
    std::unique_ptr<BucketIndex> index;
    std::size_t bytes = 0;  // as last accounted, under the cache's mutex
    std::list<std::size_t>::iterator recent;
  };

  std::size_t budget_;
  mutable std::mutex mutex_;
  std::map<std::size_t, std::shared_ptr<Slot>> slots_;
  std::list<std::size_t> recent_;  // most recently used first
  std::size_t bytes_ = 0;
};

}  // namespace kstrn::tool
