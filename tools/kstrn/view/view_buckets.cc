// Min/max buckets over a coarse summary.
#include "view_buckets.h"

#include <algorithm>
#include <utility>

#include "kstrn_budget.h"

namespace kstrn::tool {
namespace {

constexpr uint64_t kMinChunk = 256;
constexpr uint64_t kPiece = 1 << 20;  // samples read at once while summarising

}  // namespace

struct BucketIndex::Pass {
  const SampleReader& reader;
  std::vector<uint32_t> buffer;
};

BucketIndex::BucketIndex(uint64_t count) : count_(count), chunk_(kMinChunk) {
  while (count_ / chunk_ >= kMaxRuns) chunk_ *= 2;
}

std::size_t BucketIndex::Bytes() const {
  return sizeof *this + (runMin_.capacity() + runMax_.capacity()) * sizeof(uint32_t);
}

void BucketIndex::BuildSummary(Pass& pass) {
  const uint64_t runs = (count_ + chunk_ - 1) / chunk_;
  std::vector<uint32_t> runMin(runs, UINT32_MAX), runMax(runs, 0);
  const uint64_t piece = std::max(kPiece / chunk_, uint64_t{1}) * chunk_;
  for (uint64_t at = 0; at < count_; at += piece) {
    // A whole channel can take seconds: the answer's budget may end it, and
    // the next request starts over.
    WorkBudget::Check();
    const uint64_t n = std::min(piece, count_ - at);
    pass.reader(at, n, pass.buffer);
    read_ += n;
    for (uint64_t i = 0; i < n; ++i) {
      const uint64_t run = (at + i) / chunk_;
      runMin[run] = std::min(runMin[run], pass.buffer[i]);
      runMax[run] = std::max(runMax[run], pass.buffer[i]);
    }
  }
  runMin_ = std::move(runMin);
  runMax_ = std::move(runMax);
}

void BucketIndex::Scan(Pass& pass, uint64_t begin, uint64_t end, uint32_t& lo, uint32_t& hi) {
  pass.reader(begin, end - begin, pass.buffer);
  read_ += end - begin;
  for (uint64_t i = 0; i < end - begin; ++i) {
    lo = std::min(lo, pass.buffer[i]);
    hi = std::max(hi, pass.buffer[i]);
  }
}

void BucketIndex::Range(Pass& pass, uint64_t begin, uint64_t end, uint32_t& lo, uint32_t& hi) {
  lo = UINT32_MAX;
  hi = 0;
  const uint64_t firstRun = (begin + chunk_ - 1) / chunk_;
  const uint64_t endRun = end / chunk_;
  if (firstRun >= endRun) {  // no whole run inside
    Scan(pass, begin, end, lo, hi);
    return;
  }
  if (runMin_.empty()) BuildSummary(pass);
  if (begin < firstRun * chunk_) Scan(pass, begin, firstRun * chunk_, lo, hi);
  for (uint64_t run = firstRun; run < endRun; ++run) {
    lo = std::min(lo, runMin_[run]);
    hi = std::max(hi, runMax_[run]);
  }
  if (endRun * chunk_ < end) Scan(pass, endRun * chunk_, end, lo, hi);
}

Buckets BucketIndex::Query(uint64_t begin, uint64_t end, uint32_t n, const SampleReader& reader) {
  Buckets out;
  end = std::min(end, count_);
  if (begin >= end || n == 0) return out;
  const uint64_t span = end - begin;
  n = static_cast<uint32_t>(std::min<uint64_t>({n, kMaxBuckets, span}));
  Pass pass{reader, {}};
  for (uint32_t i = 0; i < n; ++i) {
    // span * i fits: span < 2^32 samples of a blob, i < 2^12.
    const uint64_t from = begin + span * i / n;
    const uint64_t to = begin + span * (i + 1) / n;
    uint32_t lo = 0, hi = 0;
    Range(pass, from, to, lo, hi);
    out.first.push_back(from);
    out.min.push_back(lo);
    out.max.push_back(hi);
  }
  out.first.push_back(end);
  return out;
}

}  // namespace kstrn::tool
