// An index of reference targets, so that resolving every reference of a
// session costs about one walk instead of one walk per reference.
//
// The lookup examines the candidates of a search for (item TID t, value TID
// v, key k) in a fixed order: the blocks of t below a block K come in the
// pre-order of K (the block whose first item t lists them), and within one
// such item in block order. Give every block its pre-order number; then
//  - the deep search from S takes the first matching candidate whose lister
//    lies in S's subtree, a contiguous range of numbers;
//  - the outward search takes that of the nearest ancestor of S whose range
//    holds a match;
//  - the quick search takes the first match listed by the root or by a block
//    one level down, else the deep search from S.
// The index keeps, per (t, v, canonical key), the matching candidates in that
// order with their lister's number (one sorted array, a run per key), and
// answers each search with binary searches and a walk up from S. Equality
// of canonical keys is exactly the lookup's equality (AppendCanonicalKey), so
// no answer differs from the scan's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "session/edit/reference_values.h"
#include "session/session_core.h"

namespace kestron4 {

class TargetIndex {
 public:
  static constexpr uint32_t kNone = ~uint32_t{0};

  // Indexes the candidates of every (item TID, key TID) pair that a reference
  // entry of the session names, directly or in its nested part.
  explicit TargetIndex(SessionCore& session);

  // The pre-order number of a block (the root is 0; WalkBlocks order), or
  // kNone for a block outside the tree. The first call builds a table, so
  // callers that walk the tree in that order count instead.
  uint32_t NumberOf(const ItemBlock* block) const;

  // Sets *result to what the search from the block numbered start for tid and
  // key finds (null for nothing; *resultNumber its number) and returns true;
  // returns false when the index cannot tell (the caller then searches
  // plainly).
  bool Find(uint32_t start, Tid tid, const SearchKey& key, ItemBlock** result,
            uint32_t* resultNumber) const;

 private:
  struct Node {
    ItemBlock* block;
    uint32_t parent;  // number of the parent block (root: 0)
    uint32_t end;     // one past the last number of the subtree
    uint32_t depth;
  };
  struct Candidate {
    uint64_t hash;       // of the bucket key: item TID, value TID, canonical key
    uint32_t keyOffset;  // the bucket key's bytes in keys_
    uint32_t keyLength;
    uint32_t lister;        // number of the block whose item lists it
    uint32_t number;        // its own number
    uint32_t firstShallow;  // at the first candidate of a bucket: its first
                            // candidate listed at depth 0 or 1, else kNone
    ItemBlock* block;
  };
  // A bucket is a run of candidates with one bucket key, in search order.
  struct Run {
    uint32_t begin, end;
  };

  void Number(SessionCore& session);
  void Collect(SessionCore& session);
  void Sort();
  void NotePair(Tid tid, Tid vtid);
  Run FindRun(const std::string& bucketKey) const;
  // Index of the first candidate of run whose lister is at least `order`.
  uint32_t FirstFrom(Run run, uint32_t order) const;
  static void BucketKey(Tid tid, Tid vtid, std::string* key);
  static uint64_t Hash(std::string_view bytes);
  std::string_view KeyOf(const Candidate& c) const {
    return std::string_view(keys_.data() + c.keyOffset, c.keyLength);
  }

  // False when the tree's shape is one the numbering does not model: an item
  // whose block count differs from its list of blocks.
  bool usable_ = true;
  std::vector<Node> nodes_;  // by number
  // Block -> number by open addressing, built on the first NumberOf.
  mutable std::vector<std::pair<const ItemBlock*, uint32_t>> slots_;
  std::unordered_set<uint32_t> pairs_;  // tid << 16 | vtid
  std::unordered_map<Tid, std::vector<Tid>> keyTidsOf_;
  std::string keys_;
  std::vector<Candidate> candidates_;  // sorted by hash, key, search order
};

}  // namespace kestron4
