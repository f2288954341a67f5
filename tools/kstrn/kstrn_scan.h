// A tolerant reader of the container layout (kstrn_container_bytes.h), for
// files the library refuses: it keeps every complete value and block it can
// read before and around damage, and says where the damage is. Used by
// `kstrn recover` and to explain why a file does not open.
//
// Two readings are tried. The first reads as the library does, trusting the
// entries and block counts and ignoring the size fields: a file cut short
// keeps all that lies before the cut. The second bounds every block by its
// size field and, when a block is damaged inside (a bad length byte), goes
// on with the next block after it. The reading that keeps more is used.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "storage/platform/platform.h"

namespace kstrn::tool {

struct ScanValue {
  uint16_t tid = 0;
  uint64_t offset = 0;         // of the stored bytes in the file
  uint32_t size = 0;           // stored bytes, length prefix included
  std::vector<uint8_t> bytes;  // the stored bytes when small (kKeepBytes)
};

struct ScanBlock;
struct ScanItem {
  uint16_t tid = 0;
  uint16_t announced = 0;  // block count of the item entry
  std::vector<std::unique_ptr<ScanBlock>> blocks;
};

struct ScanBlock {
  std::vector<ScanItem> items;
  std::vector<ScanValue> values;
};

struct ScanResult {
  bool container = false;  // the header was right
  bool damaged = false;
  bool bounded = false;  // the second reading was used
  uint64_t fileSize = 0;
  uint64_t damageAt = 0;    // first byte that could not be read as announced
  uint64_t needed = 0;      // the end of what the damaged entry or block announced
  std::string damagePath;   // the block the damage is in
  std::string damage;       // what was wrong there
  uint64_t blocks = 0;      // kept, below the root
  uint64_t values = 0;      // kept
  uint64_t lostBlocks = 0;  // announced by item entries but not kept
  // A blob cut short by the end of the file keeps the bytes that are there.
  uint64_t cutBlobKept = 0;
  uint64_t cutBlobSize = 0;
  ScanBlock root;
};

inline constexpr uint32_t kKeepBytes = 1 << 16;
inline constexpr std::size_t kScanMaxDepth = 4096;

// Reads the container in file (a regular file). Throws Failure only for I/O
// errors; damage is reported in the result.
ScanResult ScanContainer(kestron4::NativeFile file);

}  // namespace kstrn::tool
