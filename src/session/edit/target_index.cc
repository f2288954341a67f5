#include "session/edit/target_index.h"

#include <algorithm>

#include "session/edit/block_walk.h"

namespace kestron4 {
namespace {

std::size_t SlotOf(const ItemBlock* block, std::size_t mask) {
  const uint64_t bits = reinterpret_cast<uintptr_t>(block);
  return static_cast<std::size_t>((bits >> 4) * 0x9E3779B97F4A7C15ull >> 20) & mask;
}

}  // namespace

TargetIndex::TargetIndex(SessionCore& session) {
  Number(session);
  if (!usable_) return;
  Collect(session);
  if (usable_) Sort();
}

void TargetIndex::NotePair(Tid tid, Tid vtid) {
  // A search without a value criterion takes the first block as it is; such
  // searches are left to the scan.
  if (vtid == 0) return;
  if (pairs_.insert(uint32_t{tid} << 16 | vtid).second) keyTidsOf_[tid].push_back(vtid);
}

// Numbers every block in pre-order, records each subtree's range, and notes
// which (item TID, key TID) pairs the reference entries search for.
void TargetIndex::Number(SessionCore& session) {
  std::vector<uint32_t> path;  // numbers of the blocks entered and not left
  auto enter = [&](ItemBlock* block) {
    const uint32_t number = static_cast<uint32_t>(nodes_.size());
    const uint32_t parent = path.empty() ? 0 : path.back();
    const uint32_t depth = path.empty() ? 0 : nodes_[parent].depth + 1;
    nodes_.push_back({block, parent, 0, depth});
    path.push_back(number);
    for (const Item* item = block->firstItem; item != nullptr; item = item->next)
      if (item->blockCount != item->blocks.size()) usable_ = false;
    if (block->parent == nullptr || block->parent->tid != kTidReferenceItem) return true;
    const Value* targetValue = session.FindValue(block, kTidRefTarget);
    const Value* keyValue = EntryKeyValue(session, block);
    uint16_t target = 0;
    if (targetValue != nullptr && keyValue != nullptr &&
        ReadU16Value(session, *targetValue, &target) && target != 0)
      NotePair(target, keyValue->tid);
    const Item* inner = block->firstItem;
    if (inner != nullptr && !inner->blocks.empty()) {
      const Value* innerTidValue = session.Values(inner->blocks.front());
      const Value* innerKey = innerTidValue != nullptr ? innerTidValue->next : nullptr;
      uint16_t innerTid = 0;
      if (innerKey != nullptr && ReadU16Value(session, *innerTidValue, &innerTid))
        NotePair(innerTid, innerKey->tid);
    }
    return true;
  };
  auto leave = [&](ItemBlock*) {
    nodes_[path.back()].end = static_cast<uint32_t>(nodes_.size());
    path.pop_back();
  };
  WalkBlocks(session.root(), enter, leave);
}

uint32_t TargetIndex::NumberOf(const ItemBlock* block) const {
  if (slots_.empty()) {
    std::size_t size = 16;
    while (size < 2 * nodes_.size()) size *= 2;
    slots_.assign(size, {nullptr, 0});
    for (uint32_t number = 0; number < nodes_.size(); ++number) {
      std::size_t slot = SlotOf(nodes_[number].block, size - 1);
      while (slots_[slot].first != nullptr) slot = (slot + 1) & (size - 1);
      slots_[slot] = {nodes_[number].block, number};
    }
  }
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = SlotOf(block, mask);; slot = (slot + 1) & mask) {
    if (slots_[slot].first == block) return slots_[slot].second;
    if (slots_[slot].first == nullptr) return kNone;
  }
}

// Lists every candidate of the noted pairs with its bucket key, in the order
// the lookup would meet it.
void TargetIndex::Collect(SessionCore& session) {
  if (pairs_.empty()) return;
  std::vector<uint8_t> payload;
  std::vector<uint32_t> numbers;  // of the blocks of one item
  std::string key;
  for (uint32_t order = 0; order < nodes_.size(); ++order) {
    const ItemBlock* lister = nodes_[order].block;
    // A block's children follow it in the numbering, each after the subtree
    // of the one before.
    uint32_t child = order + 1;
    for (const Item* item = lister->firstItem; item != nullptr; item = item->next) {
      numbers.clear();
      for (std::size_t i = 0; i < item->blocks.size(); ++i) {
        numbers.push_back(child);
        child = nodes_[child].end;
      }
      const auto wanted = keyTidsOf_.find(item->tid);
      // The lookup only ever examines the first item of a TID.
      if (wanted == keyTidsOf_.end() || session.FindItem(lister, item->tid) != item) continue;
      for (const Tid vtid : wanted->second) {
        const bool comparesBytes = IsStringKind(vtid) || ValSize(vtid, 0) != 0;
        for (std::size_t i = 0; i < item->blocks.size(); ++i) {
          ItemBlock* candidate = item->blocks[i];
          const Value* value = session.FindValue(candidate, vtid);
          if (value == nullptr) continue;
          BucketKey(item->tid, vtid, &key);
          if (comparesBytes) {
            if (!session.ReadPayload(candidate, *value, &payload)) continue;
            AppendCanonicalKey(vtid, payload.data(), payload.size(), &key);
          } else {
            uint32_t length = 0;
            if (!session.PayloadLength(candidate, *value, &length)) continue;
          }
          // Offsets are 32-bit; a session with more key bytes than that is
          // left to the scan.
          if (keys_.size() + key.size() > UINT32_MAX) {
            usable_ = false;
            return;
          }
          const bool shallow = nodes_[order].depth <= 1;
          candidates_.push_back({Hash(key), static_cast<uint32_t>(keys_.size()),
                                 static_cast<uint32_t>(key.size()), order, numbers[i],
                                 shallow ? 0u : kNone, candidate});
          keys_ += key;
        }
      }
    }
  }
}

// Groups the candidates by bucket key, keeping the search order inside each
// group, and notes each group's first shallow candidate at its front.
void TargetIndex::Sort() {
  std::stable_sort(candidates_.begin(), candidates_.end(),
                   [this](const Candidate& a, const Candidate& b) {
                     if (a.hash != b.hash) return a.hash < b.hash;
                     return KeyOf(a) < KeyOf(b);
                   });
  for (std::size_t begin = 0; begin < candidates_.size();) {
    std::size_t end = begin + 1;
    while (end < candidates_.size() && candidates_[end].hash == candidates_[begin].hash &&
           KeyOf(candidates_[end]) == KeyOf(candidates_[begin]))
      ++end;
    uint32_t firstShallow = kNone;
    for (std::size_t i = begin; i < end; ++i) {
      if (candidates_[i].firstShallow == 0 && firstShallow == kNone)
        firstShallow = static_cast<uint32_t>(i);
      candidates_[i].firstShallow = kNone;
    }
    candidates_[begin].firstShallow = firstShallow;
    begin = end;
  }
}

void TargetIndex::BucketKey(Tid tid, Tid vtid, std::string* key) {
  key->clear();
  key->push_back(static_cast<char>(tid & 0xFF));
  key->push_back(static_cast<char>(tid >> 8));
  key->push_back(static_cast<char>(vtid & 0xFF));
  key->push_back(static_cast<char>(vtid >> 8));
}

uint64_t TargetIndex::Hash(std::string_view bytes) {
  uint64_t hash = 0xCBF29CE484222325ull;  // FNV-1a
  for (const char c : bytes) {
    hash ^= static_cast<uint8_t>(c);
    hash *= 0x100000001B3ull;
  }
  return hash;
}

TargetIndex::Run TargetIndex::FindRun(const std::string& bucketKey) const {
  const uint64_t hash = Hash(bucketKey);
  auto it = std::lower_bound(candidates_.begin(), candidates_.end(), hash,
                             [](const Candidate& c, uint64_t h) { return c.hash < h; });
  // Keys that share a hash sit side by side, each a run of its own.
  while (it != candidates_.end() && it->hash == hash && KeyOf(*it) != bucketKey) ++it;
  if (it == candidates_.end() || it->hash != hash) return Run{0, 0};
  const uint32_t begin = static_cast<uint32_t>(it - candidates_.begin());
  uint32_t end = begin + 1;
  while (end < candidates_.size() && candidates_[end].hash == hash &&
         KeyOf(candidates_[end]) == bucketKey)
    ++end;
  return Run{begin, end};
}

uint32_t TargetIndex::FirstFrom(Run run, uint32_t order) const {
  const auto first = candidates_.begin() + run.begin;
  const auto last = candidates_.begin() + run.end;
  return static_cast<uint32_t>(
      std::lower_bound(first, last, order,
                       [](const Candidate& c, uint32_t o) { return c.lister < o; }) -
      candidates_.begin());
}

bool TargetIndex::Find(uint32_t s, Tid tid, const SearchKey& key, ItemBlock** result,
                       uint32_t* resultNumber) const {
  if (!usable_ || s >= nodes_.size() || key.vtid == 0 ||
      pairs_.count(uint32_t{tid} << 16 | key.vtid) == 0)
    return false;
  std::string bucketKey;
  BucketKey(tid, key.vtid, &bucketKey);
  AppendCanonicalKey(key.vtid, key.bytes.data(), key.bytes.size(), &bucketKey);
  const Run run = FindRun(bucketKey);
  *result = nullptr;
  *resultNumber = kNone;
  if (run.begin == run.end) return true;
  const std::vector<Candidate>& c = candidates_;
  uint32_t found = kNone;

  if (IsQuickFind(tid)) {
    if (c[run.begin].firstShallow != kNone) {
      found = c[run.begin].firstShallow;
    } else {
      const uint32_t first = FirstFrom(run, s);
      if (first < run.end && c[first].lister < nodes_[s].end) found = first;
    }
  } else {
    // Outward: the nearest ancestor a of s whose range [a, end) holds a
    // candidate. The candidates next to s in order (one on each side) are
    // the first any widening range reaches, so only they need testing.
    const uint32_t next = FirstFrom(run, s);
    for (uint32_t a = s;; a = nodes_[a].parent) {
      if ((next < run.end && c[next].lister < nodes_[a].end) ||
          (next > run.begin && c[next - 1].lister >= a)) {
        found = FirstFrom(run, a);
        break;
      }
      if (a == 0) break;
    }
  }
  if (found != kNone) {
    *result = c[found].block;
    *resultNumber = c[found].number;
  }
  return true;
}

}  // namespace kestron4
