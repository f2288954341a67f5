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
// order with their lister's number, and answers each search with a binary
// search and a walk up from S. Equality of canonical keys is exactly the
// lookup's equality (AppendCanonicalKey), so no answer differs from the
// scan's.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "session/edit/reference_values.h"
#include "session/session_core.h"

namespace kestron4 {

class TargetIndex {
 public:
  // Indexes the candidates of every (item TID, key TID) pair that a reference
  // entry of the session names, directly or in its nested part.
  explicit TargetIndex(SessionCore& session);

  // Sets *result to what the search from start for tid and key finds (null
  // for nothing) and returns true; returns false when the index cannot tell
  // (the caller then searches plainly).
  bool Find(const ItemBlock* start, Tid tid, const SearchKey& key, ItemBlock** result) const;

 private:
  struct Candidate {
    uint32_t lister;  // pre-order number of the block whose item lists it
    ItemBlock* block;
  };
  struct Bucket {
    std::vector<Candidate> candidates;  // in search order
    std::size_t firstShallow = kNone;   // first candidate listed at depth 0 or 1
  };
  static constexpr std::size_t kNone = ~std::size_t{0};

  void Number(SessionCore& session);
  void Collect(SessionCore& session);
  void NotePair(Tid tid, Tid vtid);
  // Index of the first candidate whose lister is at least `order`.
  static std::size_t FirstFrom(const Bucket& bucket, uint32_t order);
  static void BucketKey(Tid tid, Tid vtid, std::string* key);

  // False when the tree's shape is one the numbering does not model: an item
  // whose block count differs from its list of blocks.
  bool usable_ = true;
  std::unordered_map<const ItemBlock*, uint32_t> order_;
  std::vector<uint32_t> end_;     // one past the last number of the subtree
  std::vector<uint32_t> parent_;  // number of the parent block (root: 0)
  std::vector<uint32_t> depth_;
  std::unordered_set<uint32_t> pairs_;  // tid << 16 | vtid
  std::unordered_map<Tid, std::vector<Tid>> keyTidsOf_;
  std::unordered_map<std::string, Bucket> buckets_;
};

}  // namespace kestron4
