// What the fuzz targets check after each step. Every check aborts the process
// with a message on failure, so that libFuzzer keeps the input that led
// there and the replay test names the broken property.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kestron4/kestron4.h"

namespace kestron4 {
class SessionCore;
struct ItemBlock;
}  // namespace kestron4

namespace kestron4::fuzz {

// Aborts with `what` unless ok.
void Check(bool ok, const char* what);

// The session object behind a handle made by this library.
SessionCore& Core(KSTRN_SessionHandle handle);

struct TreeRules {
  // Sessions built by edits alone never hold an item without blocks; loaded
  // files may.
  bool edited = false;
};

// Checks the records of the whole tree: no block with one TID twice or with
// more values or items than their 16-bit counts can report (loaded or
// edited), list counts and links, parent links,
// block counts equal to the blocks held, TIDs of the right kind, depth
// within the limit, every cached content size equal to a fresh computation
// from its children's caches (so all of them are exact), value storage that
// matches its home, and a cursor that is null or inside the tree. Returns the
// number of item blocks. Reads only; the cached sizes are not refreshed.
uint64_t CheckTree(SessionCore& session, const TreeRules& rules);

// Whether `block` is one of the session's live item blocks.
bool InTree(SessionCore& session, const ItemBlock* block);

// Reads every value of the current item block in every way the interface
// offers: size and payload, stored bytes by handle, the pointer, and both
// text flavours with their buffer lengths.
void ReadBlockValues(KSTRN_SessionHandle s);

// Walks every item block from the root through the C interface (iteratively,
// so depth does not matter) and reads the values of each (ReadBlockValues).
// Leaves the cursor on the root. Returns the number of item blocks visited.
uint64_t WalkSession(KSTRN_SessionHandle s);

// Whether every value under top would be read back from a saved file with
// the size it has: fixed values by their TID, strings by their length
// prefix, blobs by the latest size value (1066) before them in their block.
// Edits can break this (a size value changed on its own); saves must then be
// refused rather than write a file that reads back differently.
bool ReadsBack(SessionCore& session, const ItemBlock* top);

// Saves the whole session to a buffer and checks that KSTRN_SaveSessionSize
// is exactly what gets written: the save fits that size, writes nothing past
// it, and (for small sessions) is refused with code 1 one byte short. Returns
// the bytes. A session that does not read back (ReadsBack) must be refused
// with code 1; the result is then empty.
std::vector<uint8_t> SaveChecked(KSTRN_SessionHandle s);

// The same for KSTRN_SerializeItem of the current block.
std::vector<uint8_t> SerializeChecked(KSTRN_SessionHandle s);

// Same items, blocks and values in the same order with the same stored
// bytes, from the two given blocks down. An empty result means equal;
// otherwise it says where the trees part.
std::string TreeDifference(SessionCore& a, const ItemBlock* x, SessionCore& b, const ItemBlock* y);

// Loads `bytes` into a new in-memory session, checks that the load succeeds,
// that its tree equals the one under `top` of `original`, and that saving it
// again gives the same bytes. Closes the new session unless `keep` is given,
// which then receives it.
void CheckReload(const std::vector<uint8_t>& bytes, SessionCore& original, const ItemBlock* top,
                 KSTRN_SessionHandle* keep = nullptr);

// An anonymous in-memory file holding bytes, positioned at 0; -1 on failure.
int MemoryFile(const uint8_t* data, size_t size);

}  // namespace kestron4::fuzz
