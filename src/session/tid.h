// Type identifiers (TIDs): the TID alone decides whether a record is an item
// or a value and, for a value, its stored layout and size. Pure functions,
// table driven, no allocation.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kestron4 {

using Tid = uint16_t;

// TIDs the library itself gives a role.
inline constexpr Tid kTidReferenceItem = 112;
inline constexpr Tid kTidRefTarget = 1024;
inline constexpr Tid kTidRefNumber = 1052;
inline constexpr Tid kTidData = 1063;
inline constexpr Tid kTidDataSize = 1066;
inline constexpr Tid kTidAbsRefs = 1132;

inline constexpr bool IsValueID(Tid tid) { return tid >= 1000 && tid <= 13999; }
// An item TID is any non-zero TID that is not a value TID.
inline constexpr bool IsItemID(Tid tid) { return tid != 0 && !IsValueID(tid); }

// Layout and type code of every value TID. The predicates below run several
// times for every value that is loaded, saved or read, so they are inline
// over one table of all value TIDs, 1000..13999 (39 KB; a read touches the
// few lines of the TIDs it meets).
namespace tid_layout {

enum Layout : uint8_t { kNone, kFixed, kShort, kLong, kData };

struct Entry {
  uint8_t type = 0;  // value type code reported by ValType
  uint8_t layout = kNone;
  uint8_t fixedSize = 0;
};

inline constexpr Tid kCatalogFirst = 1000;
inline constexpr Tid kCatalogLast = 13999;
inline constexpr std::size_t kCatalogSize = kCatalogLast - kCatalogFirst + 1;
extern const std::array<Entry, kCatalogSize> kCatalog;

inline Entry Lookup(Tid tid) {
  const unsigned index = unsigned{tid} - kCatalogFirst;
  return index < kCatalogSize ? kCatalog[index] : Entry{};
}

}  // namespace tid_layout

// Short variable: one length byte.
inline bool IsVariableSize(Tid tid) { return tid_layout::Lookup(tid).layout == tid_layout::kShort; }
// Long variable: 16-bit length.
inline bool IsLongVariableSize(Tid tid) {
  return tid_layout::Lookup(tid).layout == tid_layout::kLong;
}
bool IsQuickFind(Tid tid);
bool IsLogger(uint16_t code);
// Any string kind (short, long or 1135).
inline bool IsStringKind(Tid tid) { return IsVariableSize(tid) || IsLongVariableSize(tid); }

// Stored size of a value whose payload length is n (n ignored for fixed TIDs).
inline uint32_t ValSize(Tid tid, uint32_t n) {
  const tid_layout::Entry e = tid_layout::Lookup(tid);
  switch (e.layout) {
    case tid_layout::kFixed: return e.fixedSize;
    case tid_layout::kShort: return n + 1;
    case tid_layout::kLong: return n + 2;
    case tid_layout::kData: return n;
    default: return 0;
  }
}
uint32_t ValType(Tid tid);

// Equality of two values in stored layout.
bool ValCompare(Tid tid, const void* a, const void* b);
// Equality of two values in payload form (strings: up to the first NUL).
bool CompareValues(Tid tid, const void* a, const void* b);

}  // namespace kestron4
