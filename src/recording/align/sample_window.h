// The samples of one channel between two indices, for a chunk of rows: the
// session's own bytes where it keeps them in memory or mapped, else a copy
// read for the chunk. Memory stays bounded by the chunk, not the channel.
#pragma once

#include <cstdint>
#include <vector>

#include "recording/recording.h"

namespace kstrn::recording {

class SampleWindow {
 public:
  SampleWindow(const Recording& recording, std::size_t channel);

  // Makes samples [first, last] (clamped to the channel) available; a window
  // wider than limit samples is not copied, and At() then reads each sample
  // from the file as asked (slow, but bounded).
  void Load(uint64_t first, uint64_t last, uint64_t limit);
  // REQUIRES: i among the loaded samples and below the channel's count.
  uint32_t At(uint64_t i) const;
  uint64_t Count() const { return count_; }

 private:
  const Recording& recording_;
  std::size_t channel_;
  uint64_t count_;
  uint32_t width_;
  std::optional<SampleSpan> mapped_;
  uint64_t first_ = 0;
  bool copied_ = false;
  std::vector<uint8_t> buffer_;
  mutable std::vector<uint32_t> one_;
};

}  // namespace kstrn::recording
