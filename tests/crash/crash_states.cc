#include "crash/crash_states.h"

#include <algorithm>
#include <set>

namespace kestron4::crash {
namespace {

constexpr std::size_t kSector = 512;
constexpr std::size_t kMaxPendingNames = 10;  // 2^10 subsets at most

void Apply(const Op& op, std::string* bytes) {
  if (op.kind == Op::kTruncate) {
    bytes->clear();
  } else if (op.kind == Op::kWrite) {
    if (bytes->size() < op.offset + op.bytes.size()) bytes->resize(op.offset + op.bytes.size(), '\0');
    std::copy(op.bytes.begin(), op.bytes.end(), bytes->begin() + static_cast<long>(op.offset));
  }
}

void Apply(const Op& op, std::map<std::string, uint64_t>* names) {
  if (op.kind == Op::kCreate) {
    (*names)[op.name] = op.ino;
  } else if (op.kind == Op::kRename) {
    const auto from = names->find(op.name);
    if (from == names->end()) return;  // its creation did not reach the disk
    const uint64_t ino = from->second;
    names->erase(from);
    (*names)[op.to] = ino;
  } else if (op.kind == Op::kUnlink) {
    names->erase(op.name);
  }
}

// The contents a file may have: durable bytes plus pending writes, in part.
std::vector<std::string> Contents(const std::string& durable, const std::vector<Op>& pending) {
  std::vector<std::string> out{durable};
  if (pending.empty()) return out;
  std::string fresh = durable;
  for (std::size_t m = 0; m < pending.size(); ++m) {
    Apply(pending[m], &fresh);
    out.push_back(fresh);  // the first m + 1 writes
  }
  // The new size without the new bytes: what lay there before, else zeros.
  std::string sized(fresh.size(), '\0');
  const bool truncated = std::any_of(pending.begin(), pending.end(),
                                     [](const Op& op) { return op.kind == Op::kTruncate; });
  if (!truncated) std::copy_n(durable.begin(), std::min(durable.size(), sized.size()), sized.begin());
  const std::size_t sectors = (fresh.size() + kSector - 1) / kSector;
  for (std::size_t s = 0; s < sectors; ++s) {
    std::string upTo = sized;  // sectors before s made it, none after
    std::copy_n(fresh.begin(), s * kSector, upTo.begin());
    out.push_back(upTo);
    std::string allBut = fresh;  // every sector but s made it
    const std::size_t end = std::min(fresh.size(), (s + 1) * kSector);
    std::copy(sized.begin() + static_cast<long>(s * kSector), sized.begin() + static_cast<long>(end),
              allBut.begin() + static_cast<long>(s * kSector));
    out.push_back(allBut);
  }
  return out;
}

}  // namespace

void ForEachCrashState(const std::vector<InitialFile>& initial, const std::vector<Op>& ops,
                       std::size_t prefix, const std::function<void(const Folder&)>& visit) {
  std::map<std::string, uint64_t> names;
  std::map<uint64_t, std::string> durable;
  for (const InitialFile& f : initial) names[f.name] = f.ino, durable[f.ino] = f.bytes;
  std::vector<Op> pendingNames;
  std::map<uint64_t, std::vector<Op>> pendingBytes;
  for (std::size_t i = 0; i < prefix && i < ops.size(); ++i) {
    const Op& op = ops[i];
    switch (op.kind) {
      case Op::kCreate: pendingNames.push_back(op); durable.emplace(op.ino, ""); break;
      case Op::kRename:
      case Op::kUnlink: pendingNames.push_back(op); break;
      case Op::kTruncate:
      case Op::kWrite: pendingBytes[op.ino].push_back(op); break;
      case Op::kSyncFile:
        for (const Op& w : pendingBytes[op.ino]) Apply(w, &durable[op.ino]);
        pendingBytes.erase(op.ino);
        break;
      case Op::kSyncFolder:
        for (const Op& n : pendingNames) Apply(n, &names);
        pendingNames.clear();
        break;
    }
  }
  const std::size_t kept = std::min(pendingNames.size(), kMaxPendingNames);
  std::map<uint64_t, std::vector<std::string>> contents;
  for (const auto& [ino, bytes] : durable) contents[ino] = Contents(bytes, pendingBytes[ino]);
  std::set<Folder> seen;
  for (uint32_t subset = 0; subset < (1u << kept); ++subset) {
    std::map<std::string, uint64_t> state = names;
    for (std::size_t n = 0; n < kept; ++n)
      if ((subset >> n & 1) != 0) Apply(pendingNames[n], &state);
    // Every combination of the contents of the files still named.
    std::vector<std::pair<std::string, const std::vector<std::string>*>> files;
    for (const auto& [name, ino] : state) files.emplace_back(name, &contents[ino]);
    std::vector<std::size_t> pick(files.size(), 0);
    for (;;) {
      Folder folder;
      for (std::size_t f = 0; f < files.size(); ++f) folder[files[f].first] = (*files[f].second)[pick[f]];
      if (seen.insert(folder).second) visit(folder);
      std::size_t f = 0;
      while (f < files.size() && ++pick[f] == files[f].second->size()) pick[f++] = 0;
      if (f == files.size()) break;
    }
  }
}

}  // namespace kestron4::crash
