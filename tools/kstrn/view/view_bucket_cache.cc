#include "view_bucket_cache.h"

namespace kstrn::tool {

void BucketCache::With(std::size_t key, const std::function<std::unique_ptr<BucketIndex>()>& make,
                       const std::function<void(BucketIndex&)>& use) {
  std::shared_ptr<Slot> slot;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<Slot>& found = slots_[key];
    if (!found) {
      found = std::make_shared<Slot>();
      recent_.push_front(key);
    } else {
      recent_.splice(recent_.begin(), recent_, found->recent);
    }
    found->recent = recent_.begin();
    slot = found;
  }
  std::size_t bytes = 0;
  {
    const std::lock_guard<std::mutex> lock(slot->use);
    if (!slot->index) slot->index = make();
    use(*slot->index);  // an index that throws keeps what it held before
    bytes = slot->index->Bytes();
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto it = slots_.find(key);
  if (it == slots_.end() || it->second != slot) return;  // dropped meanwhile
  bytes_ = bytes_ - slot->bytes + bytes;
  slot->bytes = bytes;
  while (bytes_ > budget_ && recent_.size() > 1 && recent_.back() != key) {
    const auto last = slots_.find(recent_.back());
    bytes_ -= last->second->bytes;
    recent_.pop_back();
    slots_.erase(last);  // a caller still using it keeps it alive until done
  }
}

std::size_t BucketCache::Bytes() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return bytes_;
}

std::size_t BucketCache::Size() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return slots_.size();
}

}  // namespace kstrn::tool
