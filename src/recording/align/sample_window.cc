#include "recording/align/sample_window.h"

#include <algorithm>

namespace kstrn::recording {

SampleWindow::SampleWindow(const Recording& recording, std::size_t channel)
    : recording_(recording),
      channel_(channel),
      count_(recording.Channels().at(channel).count),
      width_(recording.Channels()[channel].sampleBytes),
      mapped_(recording.Mapped(channel)) {}

void SampleWindow::Load(uint64_t first, uint64_t last, uint64_t limit) {
  if (mapped_ || count_ == 0) return;
  first = std::min(first, count_ - 1);
  last = std::min(last, count_ - 1);
  copied_ = last < first || last - first < limit;
  first_ = first;
  if (copied_) recording_.ReadRaw(channel_, first, last - first + 1, buffer_);
}

uint32_t SampleWindow::At(uint64_t i) const {
  if (mapped_) return mapped_->At(i);
  if (copied_) return SampleSpan{buffer_.data(), 0, width_}.At(i - first_);
  recording_.ReadNumbers(channel_, i, 1, one_);
  return one_.at(0);
}

}  // namespace kstrn::recording
