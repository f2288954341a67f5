// The session's arena: where a load puts the bytes it keeps, in a few large
// chunks instead of one allocation per value. Nothing in it is freed before
// the whole arena goes (a new load or the end of the session).
//
// Bytes are added as runs: a run grows at the end of the current chunk and
// stays contiguous; when a chunk is full, the run so far moves to a new chunk
// at least twice its size.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <memory>
#include <vector>

#include "session/room_for_one_more.h"
#include "storage/platform/large_block.h"

namespace kestron4 {

class Arena {
 public:
  // The next chunk is at least this large: a load that knows how many bytes
  // it will keep asks for all of them at once.
  void SizeNextChunk(std::size_t bytes) { nextChunk_ = bytes > kMinChunk ? bytes : kMinChunk; }
  // Takes a first chunk of that many bytes (at least kMinFirstChunk) now,
  // when the arena has none. Throws std::bad_alloc.
  void Reserve(std::size_t bytes) {
    if (chunk_ != nullptr) return;
    nextChunk_ = bytes > kMinFirstChunk ? bytes : kMinFirstChunk;
    Grow(0);
  }
  static constexpr std::size_t kMinFirstChunk = std::size_t{4} << 10;

  // Room for n more bytes at the end of the open run; the pointer stays
  // valid until the next Extend. Commit(n) then adds them to the run.
  uint8_t* Extend(std::size_t n) {
    if (n > room_ - used_) Grow(n);
    return chunk_ + used_;
  }
  void Commit(std::size_t n) { used_ += n; }

  std::size_t RunLength() const { return used_ - runStart_; }

  // n bytes of their own, outside every run: for large values, which would
  // make runs costly to move. With zeroed they hold zeros, had from calloc
  // without touching their pages. Throws std::bad_alloc.
  uint8_t* Separate(std::size_t n, bool zeroed) {
    RoomForOneMore(separate_);
    void* bytes = zeroed ? std::calloc(n, 1) : std::malloc(n);
    if (bytes == nullptr && n != 0) throw std::bad_alloc();
    separate_.emplace_back(static_cast<uint8_t*>(bytes));
    return separate_.back().get();
  }

  // Ends the open run: its first byte and length (null, 0 for an empty run).
  const uint8_t* CloseRun(std::size_t* length) {
    *length = used_ - runStart_;
    const uint8_t* start = *length != 0 ? chunk_ + runStart_ : nullptr;
    runStart_ = used_;
    return start;
  }

  // Drops every chunk.
  void Clear() {
    chunks_.clear();
    separate_.clear();
    chunk_ = nullptr;
    room_ = used_ = runStart_ = 0;
    nextChunk_ = kMinChunk;
  }

  std::size_t chunks() const { return chunks_.size(); }

 private:
  static constexpr std::size_t kMinChunk = std::size_t{1} << 20;

  void Grow(std::size_t n) {
    const std::size_t run = used_ - runStart_;
    std::size_t size = nextChunk_;
    if (size < 2 * (run + n)) size = 2 * (run + n);
    RoomForOneMore(chunks_);
    // A chunk larger than the run needs was sized by an estimate: if the
    // system refuses it, one of twice the run will do.
    const std::size_t least = std::max(2 * (run + n), kMinFirstChunk);
    Chunk fresh = size > least ? Chunk::OrSmaller(size, least) : Chunk(size);
    if (run != 0) std::memcpy(fresh.bytes(), chunk_ + runStart_, run);
    // A chunk that only held the start of the run is left for the arena's end.
    chunk_ = fresh.bytes();
    chunks_.push_back(std::move(fresh));
    room_ = size;
    used_ = run;
    runStart_ = 0;
    nextChunk_ = kMinChunk;
  }

  // A chunk of at least a large page is a block of its own (large pages
  // where the system gives them: a load fills the chunk with few page
  // faults); a smaller one comes from the C library. Not zeroed: every byte
  // handed out is written before it is read. Throws std::bad_alloc.
  class Chunk {
   public:
    explicit Chunk(std::size_t size) : size_(size), bytes_(Allocate(size)) {
      if (bytes_ == nullptr) throw std::bad_alloc();
    }
    static Chunk OrSmaller(std::size_t size, std::size_t smaller) {
      if (uint8_t* bytes = Allocate(size)) return Chunk(size, bytes);
      return Chunk(smaller);
    }
    Chunk(Chunk&& other) noexcept : size_(other.size_), bytes_(other.bytes_) {
      other.bytes_ = nullptr;
    }
    Chunk& operator=(Chunk&&) = delete;
    ~Chunk() {
      if (bytes_ == nullptr) return;
      if (Large()) {
        FreeLargeBlock(bytes_, size_);
      } else {
        std::free(bytes_);
      }
    }
    uint8_t* bytes() const { return bytes_; }

   private:
    Chunk(std::size_t size, uint8_t* bytes) : size_(size), bytes_(bytes) {}
    static uint8_t* Allocate(std::size_t size) {
      return static_cast<uint8_t*>(size >= kLargePageBytes ? AllocateLargeBlock(size)
                                                           : std::malloc(size));
    }
    bool Large() const { return size_ >= kLargePageBytes; }
    std::size_t size_;
    uint8_t* bytes_;
  };

  std::vector<Chunk> chunks_;
  struct Free {
    void operator()(uint8_t* bytes) const { std::free(bytes); }
  };
  std::vector<std::unique_ptr<uint8_t, Free>> separate_;
  uint8_t* chunk_ = nullptr;
  std::size_t room_ = 0;
  std::size_t used_ = 0;
  std::size_t runStart_ = 0;
  std::size_t nextChunk_ = kMinChunk;
};

}  // namespace kestron4
