// What the tool knows about one value of the current item block: its layout
// (which the TID alone fixes), its stored bytes, and the readable forms shown
// by tree, get and the JSON outputs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kestron4/kestron4.hpp"

namespace kstrn::tool {

enum class Layout : uint8_t {
  kFixed,       // ValSize(tid, 0) bytes
  kString,      // one length byte, then the payload
  kLongString,  // a 16-bit length, then the payload
  kData,        // 1063: raw bytes, length kept in 1066
  kNone,        // a value TID without a layout: no bytes
};

Layout LayoutOf(uint16_t tid);
const char* LayoutName(Layout layout);
// Bytes of the length prefix of a layout.
uint32_t PrefixBytes(Layout layout);

struct ValueInfo {
  uint16_t tid = 0;
  Layout layout = Layout::kNone;
  KSTRN_ValueHandle handle = nullptr;
  uint32_t stored = 0;   // stored bytes, prefix included
  uint32_t payload = 0;  // stored - prefix
  // The length prefix disagrees with the stored size (only a damaged session
  // can hold such a value).
  bool prefixMismatch = false;
};

// Describes the first value tid of the current item block.
ValueInfo DescribeValue(const Session& session, uint16_t tid);

// Up to limit payload bytes of the value.
std::vector<uint8_t> ReadPayload(const Session& session, const ValueInfo& value,
                                 uint32_t limit = UINT32_MAX);

// Strings that are exactly text and its NUL (ANSI, Windows-1252) or text,
// NUL and the UTF-8 mark 3; anything else is bytes.
enum class TextForm : uint8_t { kNotText, kAnsi, kUtf8 };
TextForm ClassifyText(const std::vector<uint8_t>& payload);
// The text of a payload ClassifyText accepted, as UTF-8.
std::string TextOf(const std::vector<uint8_t>& payload, TextForm form);

// Little-endian number of a fixed value of 1, 2, 4 or 8 bytes.
std::optional<uint64_t> NumberOf(const ValueInfo& value, const std::vector<uint8_t>& payload);

// A readable form of a value for people: a number, a quoted text with its
// encoding, or hex (at most previewBytes bytes, then "...").
struct Rendering {
  std::optional<uint64_t> number;
  // The OrdinaryDouble of an 8-byte number.
  std::optional<double> real;
  std::optional<std::string> text;  // UTF-8
  const char* encoding = nullptr;   // "utf8" or "ansi" with text
  std::vector<uint8_t> bytes;       // otherwise: the first bytes of the payload
  bool truncated = false;           // bytes is only the start of the payload
};
Rendering RenderValue(const Session& session, const ValueInfo& value, uint32_t previewBytes);
// The double an 8-byte payload's bits make when it is an ordinary one
// (finite, magnitude 1e-9..1e15): data of the older loggers keeps reals this
// way. Nothing for other payloads.
std::optional<double> OrdinaryDouble(const std::vector<uint8_t>& payload);
// Shortest text that reads back as the same double.
std::string FormatReal(double real);

}  // namespace kstrn::tool
