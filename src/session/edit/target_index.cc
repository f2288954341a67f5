#include "session/edit/target_index.h"

#include <algorithm>

#include "session/edit/block_walk.h"

namespace kestron4 {

TargetIndex::TargetIndex(SessionCore& session) {
  Number(session);
  if (usable_) Collect(session);
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
  auto enter = [&](ItemBlock* block) {
    const uint32_t number = static_cast<uint32_t>(end_.size());
    order_.emplace(block, number);
    const uint32_t parent = block->parent != nullptr ? order_.at(block->parent->parent) : 0;
    parent_.push_back(parent);
    depth_.push_back(block->parent != nullptr ? depth_[parent] + 1 : 0);
    end_.push_back(0);
    for (const Item* item = block->firstItem; item != nullptr; item = item->next)
      if (item->blockCount != item->blocks.size()) usable_ = false;
    if (block->parent == nullptr || block->parent->tid != kTidReferenceItem) return true;
    const Value* targetValue = SessionCore::FindValue(block, kTidRefTarget);
    const Value* keyValue = EntryKeyValue(block);
    uint16_t target = 0;
    if (targetValue != nullptr && keyValue != nullptr &&
        ReadU16Value(session, *targetValue, &target) && target != 0)
      NotePair(target, keyValue->tid);
    const Item* inner = block->firstItem;
    if (inner != nullptr && !inner->blocks.empty()) {
      const Value* innerTidValue = inner->blocks.front()->firstValue;
      const Value* innerKey = innerTidValue != nullptr ? innerTidValue->next : nullptr;
      uint16_t innerTid = 0;
      if (innerKey != nullptr && ReadU16Value(session, *innerTidValue, &innerTid))
        NotePair(innerTid, innerKey->tid);
    }
    return true;
  };
  auto leave = [&](ItemBlock* block) {
    end_[order_.at(block)] = static_cast<uint32_t>(end_.size());
  };
  WalkBlocks(session.root(), enter, leave);
}

// Files every candidate of the noted pairs under its canonical key, in the
// order the lookup would meet it.
void TargetIndex::Collect(SessionCore& session) {
  if (pairs_.empty()) return;
  std::vector<uint8_t> payload;
  std::string key;
  uint32_t number = 0;
  WalkBlocks(session.root(), [&](ItemBlock* lister) {
    const uint32_t order = number++;
    for (const Item* item = lister->firstItem; item != nullptr; item = item->next) {
      const auto wanted = keyTidsOf_.find(item->tid);
      // The lookup only ever examines the first item of a TID.
      if (wanted == keyTidsOf_.end() || SessionCore::FindItem(lister, item->tid) != item)
        continue;
      for (const Tid vtid : wanted->second) {
        const bool comparesBytes = IsStringKind(vtid) || ValSize(vtid, 0) != 0;
        for (ItemBlock* candidate : item->blocks) {
          const Value* value = SessionCore::FindValue(candidate, vtid);
          if (value == nullptr) continue;
          BucketKey(item->tid, vtid, &key);
          if (comparesBytes) {
            if (!session.ReadPayload(candidate, *value, &payload)) continue;
            AppendCanonicalKey(vtid, payload.data(), payload.size(), &key);
          } else {
            uint32_t length = 0;
            if (!session.PayloadLength(candidate, *value, &length)) continue;
          }
          Bucket& bucket = buckets_[key];
          if (depth_[order] <= 1 && bucket.firstShallow == kNone)
            bucket.firstShallow = bucket.candidates.size();
          bucket.candidates.push_back({order, candidate});
        }
      }
    }
    return true;
  });
}

void TargetIndex::BucketKey(Tid tid, Tid vtid, std::string* key) {
  key->clear();
  key->push_back(static_cast<char>(tid & 0xFF));
  key->push_back(static_cast<char>(tid >> 8));
  key->push_back(static_cast<char>(vtid & 0xFF));
  key->push_back(static_cast<char>(vtid >> 8));
}

std::size_t TargetIndex::FirstFrom(const Bucket& bucket, uint32_t order) {
  const auto& c = bucket.candidates;
  return static_cast<std::size_t>(
      std::lower_bound(c.begin(), c.end(), order,
                       [](const Candidate& a, uint32_t o) { return a.lister < o; }) -
      c.begin());
}

bool TargetIndex::Find(const ItemBlock* start, Tid tid, const SearchKey& key,
                       ItemBlock** result) const {
  if (!usable_ || key.vtid == 0 || pairs_.count(uint32_t{tid} << 16 | key.vtid) == 0) return false;
  const auto found = order_.find(start);
  if (found == order_.end()) return false;
  std::string bucketKey;
  BucketKey(tid, key.vtid, &bucketKey);
  AppendCanonicalKey(key.vtid, key.bytes.data(), key.bytes.size(), &bucketKey);
  const auto it = buckets_.find(bucketKey);
  *result = nullptr;
  if (it == buckets_.end()) return true;
  const Bucket& bucket = it->second;
  const std::vector<Candidate>& c = bucket.candidates;
  const uint32_t s = found->second;

  if (IsQuickFind(tid)) {
    if (bucket.firstShallow != kNone) {
      *result = c[bucket.firstShallow].block;
    } else {
      const std::size_t first = FirstFrom(bucket, s);
      if (first < c.size() && c[first].lister < end_[s]) *result = c[first].block;
    }
    return true;
  }

  // Outward: the nearest ancestor a of s whose range [a, end_[a]) holds a
  // candidate. The candidates next to s in order (one on each side) are the
  // first any widening range reaches, so only they need testing.
  const std::size_t next = FirstFrom(bucket, s);
  for (uint32_t a = s;; a = parent_[a]) {
    const bool hit =
        (next < c.size() && c[next].lister < end_[a]) || (next > 0 && c[next - 1].lister >= a);
    if (hit) {
      *result = c[FirstFrom(bucket, a)].block;
      return true;
    }
    if (a == 0) return true;
  }
}

}  // namespace kestron4
