// Record pool: hands out records of one kind from chunks of 128 and keeps
// released records on a free list. Chunks are freed only with the pool, so a
// large tree costs one heap allocation per 128 records.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace kestron4 {

template <class T>
class Pool {
 public:
  static constexpr std::size_t kChunkRecords = 128;

  Pool() = default;
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;
  // REQUIRES: every record handed out has been released.
  ~Pool() = default;

  template <class... Args>
  T* New(Args&&... args) {
    if (free_ == nullptr) Grow();
    Slot* slot = free_;
    free_ = slot->next;
    ++live_;
    return ::new (static_cast<void*>(slot->storage)) T(std::forward<Args>(args)...);
  }

  void Delete(T* record) {
    record->~T();
    Slot* slot = reinterpret_cast<Slot*>(record);
    slot->next = free_;
    free_ = slot;
    --live_;
  }

  std::size_t live() const { return live_; }
  std::size_t chunks() const { return chunks_.size(); }

 private:
  union Slot {
    Slot* next;
    alignas(T) unsigned char storage[sizeof(T)];
  };

  void Grow() {
    chunks_.push_back(std::make_unique<Slot[]>(kChunkRecords));
    Slot* chunk = chunks_.back().get();
    // Link the records in address order so that they are handed out in order.
    for (std::size_t i = 0; i + 1 < kChunkRecords; ++i) chunk[i].next = &chunk[i + 1];
    chunk[kChunkRecords - 1].next = nullptr;
    free_ = chunk;
  }

  std::vector<std::unique_ptr<Slot[]>> chunks_;
  Slot* free_ = nullptr;
  std::size_t live_ = 0;
};

}  // namespace kestron4
