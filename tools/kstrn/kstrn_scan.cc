#include "kstrn_scan.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "kestron4/kestron4.h"
#include "kstrn_failure.h"
#include "storage/platform/full_io.h"
#include "storage/platform/program_process.h"

namespace kstrn::tool {
namespace {

constexpr char kHeader[] = "KESTRON V1.00 FILE\x1a";
constexpr uint64_t kHeaderBytes = 19;
constexpr uint16_t kTidData = 1063;
constexpr uint16_t kTidDataSize = 1066;

class Scanner {
 public:
  Scanner(kestron4::NativeFile file, uint64_t size, bool bounded)
      : file_(file), size_(size), bounded_(bounded) {}

  void Run(ScanResult& result) {
    result_ = &result;
    ReadBlock(result.root, kHeaderBytes, size_, 0);
  }

 private:
  // Reads n bytes at offset; false past the end of the file.
  bool Read(uint64_t offset, void* out, std::size_t n) {
    if (offset > size_ || size_ - offset < n) return false;
    if (!kestron4::ReadFullAt(kestron4::CurrentPlatform(), file_, out, n, offset))
      throw Failure("cannot read: " + kestron4::LastSystemError());
    return true;
  }
  bool U16(uint64_t offset, uint16_t& v) {
    uint8_t b[2];
    if (!Read(offset, b, 2)) return false;
    v = static_cast<uint16_t>(b[0] | b[1] << 8);
    return true;
  }
  bool U32(uint64_t offset, uint32_t& v) {
    uint8_t b[4];
    if (!Read(offset, b, 4)) return false;
    v = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
    return true;
  }

  // The TIDs met in the block whose entries are read.
  bool NewTid(uint16_t tid) {
    if (seen_.empty()) seen_.assign(1u << 16, false);
    if (seen_[tid]) return false;
    seen_[tid] = true;
    seenList_.push_back(tid);
    return true;
  }
  void ForgetTids() {
    for (const uint16_t tid : seenList_) seen_[tid] = false;
    seenList_.clear();
  }

  // Notes the first damage; returns false so callers can stop.
  bool Damage(uint64_t at, uint64_t needed, const std::string& what) {
    if (!result_->damaged) {
      result_->damaged = true;
      result_->damageAt = at;
      result_->needed = needed;
      result_->damage = what;
      result_->damagePath = PathText();
    }
    return false;
  }

  // A deep path is named by its ends, so that a message stays one line.
  std::string PathText() const {
    constexpr std::size_t kEnds = 4;
    if (path_.empty()) return "/";
    std::string out;
    for (std::size_t i = 0; i < path_.size(); ++i) {
      if (path_.size() > 2 * kEnds + 1 && i == kEnds) {
        out += "/... " + std::to_string(path_.size() - 2 * kEnds) + " levels ...";
        i = path_.size() - kEnds - 1;
        continue;
      }
      out += '/' + std::to_string(path_[i].first) + ':' + std::to_string(path_[i].second);
    }
    return out;
  }

  // Reads the block record at pos; limit bounds it (the file or, when
  // bounded, the enclosing block). Sets pos_ after what was read. Returns
  // whether the block was read whole.
  bool ReadBlock(ScanBlock& block, uint64_t pos, uint64_t limit, std::size_t depth) {
    uint32_t declared = 0;
    if (!U32(pos, declared)) return Damage(pos, pos + 4, "block size field cut off");
    const uint64_t declaredEnd = pos + 4 + declared;
    uint64_t end = limit;
    if (bounded_ && declaredEnd <= limit) end = declaredEnd;
    if (depth > kScanMaxDepth) return Damage(pos, pos, "blocks nested deeper than a file may be");
    uint64_t p = pos + 4;
    const bool whole = ReadEntries(block, p, end) && ReadChildren(block, p, end, depth);
    if (bounded_ && declaredEnd <= limit) {
      if (whole && p != declaredEnd) {
        Damage(p, declaredEnd, "block size field disagrees with its entries");
      }
      // The next block starts there whatever was inside: the reading goes on.
      pos_ = declaredEnd;
      return true;
    }
    pos_ = p;
    return whole;
  }

  bool ReadEntries(ScanBlock& block, uint64_t& p, uint64_t end) {
    int64_t dataLength = 0;
    ForgetTids();
    for (;;) {
      uint16_t tid = 0;
      if (p + 2 > end || !U16(p, tid)) return Damage(p, p + 2, "entry list cut off");
      p += 2;
      if (tid == 0) return true;
      // The library refuses such a block: its counts could not report it.
      if (!NewTid(tid)) {
        p -= 2;
        return Damage(p, p, "TID " + std::to_string(tid) + " appears twice in the block");
      }
      if (!KSTRN_IsValueID(tid)) {
        uint16_t count = 0;
        if (p + 2 > end || !U16(p, count)) return Damage(p, p + 2, "item entry cut off");
        p += 2;
        block.items.push_back({tid, count, {}});
        continue;
      }
      uint64_t size = 0;
      if (KSTRN_IsVariableSize(tid)) {
        uint8_t n = 0;
        if (p + 1 > end || !Read(p, &n, 1)) return Damage(p, p + 1, "string length cut off");
        size = KSTRN_ValSize(tid, n);
      } else if (KSTRN_IsLongVariableSize(tid)) {
        uint16_t n = 0;
        if (p + 2 > end || !U16(p, n)) return Damage(p, p + 2, "string length cut off");
        size = KSTRN_ValSize(tid, n);
      } else if (tid == kTidData) {
        size = static_cast<uint64_t>(dataLength);
      } else {
        size = KSTRN_ValSize(tid, 0);
      }
      if (p + size > end || p + size > size_) {
        const std::string what =
            "value " + std::to_string(tid) + " of " + std::to_string(size) + " bytes cut off";
        // A recording cut short keeps the samples it has.
        const uint64_t there = std::min(end, size_) - p;
        if (tid == kTidData && p + size > size_ && there != 0) {
          block.values.push_back({tid, p, static_cast<uint32_t>(there), {}});
          ++result_->values;
          result_->cutBlobKept = there;
          result_->cutBlobSize = size;
        }
        return Damage(p, p + size, what);
      }
      ScanValue v{tid, p, static_cast<uint32_t>(size), {}};
      if (size <= kKeepBytes) {
        v.bytes.resize(size);
        if (size != 0) Read(p, v.bytes.data(), size);
      }
      if (tid == kTidDataSize && size == 4) {
        uint32_t n = 0;
        U32(p, n);
        dataLength = n;
      }
      p += size;
      block.values.push_back(std::move(v));
      ++result_->values;
    }
  }

  bool ReadChildren(ScanBlock& block, uint64_t& p, uint64_t end, std::size_t depth) {
    for (ScanItem& item : block.items) {
      for (uint16_t k = 0; k < item.announced; ++k) {
        auto child = std::make_unique<ScanBlock>();
        path_.emplace_back(item.tid, k);
        const bool whole = ReadBlock(*child, p, end, depth + 1);
        path_.pop_back();
        const bool keep = whole || !child->values.empty() || !child->items.empty();
        if (keep) {
          item.blocks.push_back(std::move(child));
          ++result_->blocks;
        }
        p = pos_;
        if (!whole) return false;
      }
    }
    return true;
  }

  kestron4::NativeFile file_;
  uint64_t size_;
  bool bounded_;
  uint64_t pos_ = 0;
  ScanResult* result_ = nullptr;
  std::vector<bool> seen_;          // by TID
  std::vector<uint16_t> seenList_;  // the TIDs set in seen_
  std::vector<std::pair<uint16_t, uint16_t>> path_;
};

uint64_t Announced(const ScanBlock& block) {
  uint64_t n = 0;
  for (const ScanItem& item : block.items) {
    n += item.announced;
    for (const auto& child : item.blocks) n += Announced(*child);
  }
  return n;
}

ScanResult Reading(kestron4::NativeFile file, uint64_t size, bool bounded) {
  ScanResult result;
  result.container = true;
  result.fileSize = size;
  result.bounded = bounded;
  Scanner(file, size, bounded).Run(result);
  const uint64_t announced = Announced(result.root);
  result.lostBlocks = announced > result.blocks ? announced - result.blocks : 0;
  return result;
}

}  // namespace

ScanResult ScanContainer(kestron4::NativeFile file) {
  kestron4::Platform& platform = kestron4::CurrentPlatform();
  uint64_t size = 0;
  if (!platform.Size(file, &size)) throw Failure("cannot read: " + kestron4::LastSystemError());
  char header[kHeaderBytes] = {};
  ScanResult bad;
  bad.fileSize = size;
  if (size < kHeaderBytes || !kestron4::ReadFullAt(platform, file, header, kHeaderBytes, 0))
    return bad;
  for (std::size_t i = 0; i < kHeaderBytes; ++i) {
    if (std::toupper(static_cast<unsigned char>(header[i])) !=
        static_cast<unsigned char>(kHeader[i]))
      return bad;
  }
  ScanResult plain = Reading(file, size, false);
  if (!plain.damaged) return plain;
  ScanResult bounded = Reading(file, size, true);
  return bounded.blocks + bounded.values > plain.blocks + plain.values ? std::move(bounded)
                                                                       : std::move(plain);
}

}  // namespace kstrn::tool
