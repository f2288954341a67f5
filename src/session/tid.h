// Type identifiers (TIDs): the TID alone decides whether a record is an item
// or a value and, for a value, its stored layout and size. Pure functions,
// table driven, no allocation.
#pragma once

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

bool IsVariableSize(Tid tid);      // short variable: one length byte
bool IsLongVariableSize(Tid tid);  // long variable: 16-bit length
bool IsQuickFind(Tid tid);
bool IsLogger(uint16_t code);
// Any string kind (short, long or 1135).
inline bool IsStringKind(Tid tid) { return IsVariableSize(tid) || IsLongVariableSize(tid); }

// Stored size of a value whose payload length is n (n ignored for fixed TIDs).
uint32_t ValSize(Tid tid, uint32_t n);
uint32_t ValType(Tid tid);

// Equality of two values in stored layout.
bool ValCompare(Tid tid, const void* a, const void* b);
// Equality of two values in payload form (strings: up to the first NUL).
bool CompareValues(Tid tid, const void* a, const void* b);

}  // namespace kestron4
