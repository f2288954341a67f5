// The two searches that resolving a reference needs: the entry with a given
// number among a block's references, and the block that an entry names.
//
// PlainTargetFinder runs them as the lookup operations do, moving the cursor
// and scanning lists; it is what GotoReference uses. IndexedTargetFinder
// answers the same questions from indexes built once over an unchanging tree,
// for walks that resolve every reference of a session.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "session/edit/reference_values.h"
#include "session/session_core.h"

namespace kestron4 {

class TargetIndex;

class TargetFinder {
 public:
  virtual ~TargetFinder() = default;
  // The first block of references whose number is refNo; null when none.
  virtual ItemBlock* FindEntry(const Item& references, uint16_t refNo) = 0;
  // The block found for an item TID and a key by the outward search from
  // start (shallow first for the quick-find TIDs); null when none. The cursor
  // is where it was before the call.
  virtual ItemBlock* FindTarget(ItemBlock* start, Tid tid, const SearchKey& key) = 0;
};

class PlainTargetFinder : public TargetFinder {
 public:
  explicit PlainTargetFinder(SessionCore& session) : session_(session) {}
  ItemBlock* FindEntry(const Item& references, uint16_t refNo) override;
  ItemBlock* FindTarget(ItemBlock* start, Tid tid, const SearchKey& key) override;

 private:
  SessionCore& session_;
};

// REQUIRES: no item or block list and no value of the session changes while
// the finder lives (the cursor and the bookmarks may).
class IndexedTargetFinder : public TargetFinder {
 public:
  explicit IndexedTargetFinder(SessionCore& session);
  ~IndexedTargetFinder() override;
  ItemBlock* FindEntry(const Item& references, uint16_t refNo) override;
  ItemBlock* FindTarget(ItemBlock* start, Tid tid, const SearchKey& key) override;

  // Tells the finder the pre-order number of a block that searches will start
  // from (a walk in that order counts them), so that it need not look the
  // number up.
  void NoteStart(const ItemBlock* block, uint32_t number) { known_[0] = {block, number}; }

 private:
  struct Known {
    const ItemBlock* block = nullptr;
    uint32_t number = 0;
  };

  SessionCore& session_;
  PlainTargetFinder plain_;
  std::unique_ptr<TargetIndex> index_;  // built on the first target search
  // The noted start and the last block found (where a nested search starts).
  Known known_[2];
  // Number -> first entry, for items with many entries.
  std::unordered_map<const Item*, std::unordered_map<uint16_t, ItemBlock*>> entries_;
};

}  // namespace kestron4
