// Record pool: hands out records of one kind from chunks of 128 and keeps
// released records on a free list. Chunks are freed only with the pool, so a
// large tree costs one heap allocation per 128 records. A load that can tell
// how many records are coming asks for one chunk that holds them
// (SizeNextChunk); a chunk of a large page or more is a block of its own
// (storage/platform/large_block.h), filled with few page faults.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

#include "session/room_for_one_more.h"
#include "storage/platform/large_block.h"

namespace kestron4 {

template <class T>
class Pool {
 public:
  static constexpr std::size_t kChunkRecords = 128;

  Pool() = default;
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;
  // REQUIRES: every record handed out has been released.
  ~Pool() {
    for (const Chunk& chunk : chunks_) {
      if (chunk.records * sizeof(Slot) >= kLargePageBytes) {
        FreeLargeBlock(chunk.slots, chunk.records * sizeof(Slot));
      } else {
        std::free(chunk.slots);
      }
    }
  }

  template <class... Args>
  T* New(Args&&... args) {
    Slot* slot = free_;
    if (slot != nullptr) {
      free_ = slot->next;
    } else {
      if (unused_ == unusedEnd_) Grow();
      slot = unused_++;
    }
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

  // The next chunk holds at least records records (at most kMaxChunkRecords);
  // only those handed out are ever touched.
  void SizeNextChunk(std::size_t records) {
    nextChunk_ = records < kChunkRecords ? kChunkRecords
                 : records > kMaxChunkRecords ? kMaxChunkRecords
                                              : records;
  }

  std::size_t live() const { return live_; }
  std::size_t chunks() const { return chunks_.size(); }

 private:
  static constexpr std::size_t kMaxChunkRecords = (std::size_t{1} << 30) / sizeof(T);

  union Slot {
    Slot* next;
    alignas(T) unsigned char storage[sizeof(T)];
  };
  struct Chunk {
    Slot* slots;
    std::size_t records;
  };

  // Records of a new chunk are handed out in address order, as New asks. A
  // sized chunk the system refuses gives way to an ordinary one: the size
  // was only an estimate.
  void Grow() {
    std::size_t records = nextChunk_;
    RoomForOneMore(chunks_);
    const bool large = records * sizeof(Slot) >= kLargePageBytes;
    void* memory = large ? AllocateLargeBlock(records * sizeof(Slot)) : nullptr;
    if (memory == nullptr) {
      if (large) records = kChunkRecords;
      memory = std::malloc(records * sizeof(Slot));
    }
    if (memory == nullptr) throw std::bad_alloc();
    unused_ = static_cast<Slot*>(memory);
    unusedEnd_ = unused_ + records;
    chunks_.push_back({unused_, records});
    nextChunk_ = kChunkRecords;
  }

  std::vector<Chunk> chunks_;
  Slot* free_ = nullptr;
  Slot* unused_ = nullptr;     // the current chunk's records never handed out
  Slot* unusedEnd_ = nullptr;
  std::size_t nextChunk_ = kChunkRecords;
  std::size_t live_ = 0;
};

}  // namespace kestron4
