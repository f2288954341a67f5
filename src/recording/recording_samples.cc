// The raw samples of a channel: straight from the session's memory or
// mapping where it keeps them there, else read from its file in pieces.
#include <algorithm>

#include "recording/recording.h"

namespace kstrn::recording {

const Recording::BlobAccess& Recording::Blob(std::size_t channel) const {
  std::optional<BlobAccess>& access = blobs_.at(channel);
  if (!access) {
    Session& session = *session_;
    session.GotoRoot();
    session.OpenItem(2, 0);
    session.OpenItem(135, channels_[channel].module);
    BlobAccess blob;
    blob.value = session.FindValue(1063);
    if (blob.value != nullptr) blob.mapped = session.StoredPointer(1063);
    access = blob;
  }
  return *access;
}

std::optional<SampleSpan> Recording::Mapped(std::size_t channel) const {
  const Channel& c = channels_.at(channel);
  if (c.count == 0) return SampleSpan{nullptr, 0, c.sampleBytes};
  const BlobAccess& blob = Blob(channel);
  if (blob.mapped == nullptr) return std::nullopt;
  return SampleSpan{blob.mapped, c.count, c.sampleBytes};
}

uint64_t Recording::ReadRaw(std::size_t channel, uint64_t first, uint64_t count,
                            std::vector<uint8_t>& out) const {
  const Channel& c = channels_.at(channel);
  first = std::min(first, c.count);
  count = std::min(count, c.count - first);
  out.resize(count * c.sampleBytes);
  if (count == 0) return 0;
  const BlobAccess& blob = Blob(channel);
  if (blob.mapped != nullptr) {
    std::copy_n(blob.mapped + first * c.sampleBytes, out.size(), out.data());
  } else {
    // Blob lengths are 32-bit, so the offsets are too.
    session_->ReadStored(blob.value, static_cast<uint32_t>(first * c.sampleBytes), out.data(),
                         static_cast<uint32_t>(out.size()));
  }
  return count;
}

uint64_t Recording::ReadNumbers(std::size_t channel, uint64_t first, uint64_t count,
                                std::vector<uint32_t>& out) const {
  std::vector<uint8_t> bytes;
  const uint64_t n = ReadRaw(channel, first, count, bytes);
  const SampleSpan span{bytes.data(), n, channels_[channel].sampleBytes};
  out.resize(n);
  for (uint64_t i = 0; i < n; ++i) out[i] = span.At(i);
  return n;
}

}  // namespace kstrn::recording
