// Min/max buckets over a coarse summary.
#include "view_buckets.h"

#include <algorithm>
#include <utility>

namespace kstrn::tool {
namespace {

constexpr uint64_t kMinChunk = 256;
constexpr uint64_t kPiece = 1 << 20;  // samples read at once while summarising

}  // namespace

BucketIndex::BucketIndex(uint64_t count, SampleReader reader)
    : count_(count), reader_(std::move(reader)), chunk_(kMinChunk) {
  while (count_ / chunk_ >= kMaxRuns) chunk_ *= 2;
}

void BucketIndex::BuildSummary() {
  const uint64_t runs = (count_ + chunk_ - 1) / chunk_;
  runMin_.assign(runs, UINT32_MAX);
  runMax_.assign(runs, 0);
  const uint64_t piece = std::max(kPiece / chunk_, uint64_t{1}) * chunk_;
  for (uint64_t at = 0; at < count_; at += piece) {
    const uint64_t n = std::min(piece, count_ - at);
    reader_(at, n, buffer_);
    read_ += n;
    for (uint64_t i = 0; i < n; ++i) {
      const uint64_t run = (at + i) / chunk_;
      runMin_[run] = std::min(runMin_[run], buffer_[i]);
      runMax_[run] = std::max(runMax_[run], buffer_[i]);
    }
  }
}

void BucketIndex::Scan(uint64_t begin, uint64_t end, uint32_t& lo, uint32_t& hi) {
  reader_(begin, end - begin, buffer_);
  read_ += end - begin;
  for (uint64_t i = 0; i < end - begin; ++i) {
    lo = std::min(lo, buffer_[i]);
    hi = std::max(hi, buffer_[i]);
  }
}

void BucketIndex::Range(uint64_t begin, uint64_t end, uint32_t& lo, uint32_t& hi) {
  lo = UINT32_MAX;
  hi = 0;
  const uint64_t firstRun = (begin + chunk_ - 1) / chunk_;
  const uint64_t endRun = end / chunk_;
  if (firstRun >= endRun) {  // no whole run inside
    Scan(begin, end, lo, hi);
    return;
  }
  if (runMin_.empty()) BuildSummary();
  if (begin < firstRun * chunk_) Scan(begin, firstRun * chunk_, lo, hi);
  for (uint64_t run = firstRun; run < endRun; ++run) {
    lo = std::min(lo, runMin_[run]);
    hi = std::max(hi, runMax_[run]);
  }
  if (endRun * chunk_ < end) Scan(endRun * chunk_, end, lo, hi);
}

Buckets BucketIndex::Query(uint64_t begin, uint64_t end, uint32_t n) {
  Buckets out;
  end = std::min(end, count_);
  if (begin >= end || n == 0) return out;
  const uint64_t span = end - begin;
  n = static_cast<uint32_t>(std::min<uint64_t>({n, kMaxBuckets, span}));
  for (uint32_t i = 0; i < n; ++i) {
    // span * i fits: span < 2^32 samples of a blob, i < 2^12.
    const uint64_t from = begin + span * i / n;
    const uint64_t to = begin + span * (i + 1) / n;
    uint32_t lo = 0, hi = 0;
    Range(from, to, lo, hi);
    out.first.push_back(from);
    out.min.push_back(lo);
    out.max.push_back(hi);
  }
  out.first.push_back(end);
  return out;
}

}  // namespace kstrn::tool
