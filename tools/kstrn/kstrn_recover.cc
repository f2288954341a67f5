// kstrn recover: a new container holding every complete block and value of a
// damaged one (kstrn_scan.h), rebuilt through the library's interface so the
// result is exactly what the library writes. Blobs are not copied into
// memory: each stands for its range of the damaged file until the save.
#include <algorithm>
#include <cstring>
#include <string>

#include "kstrn_commands.h"
#include "kstrn_failure.h"
#include "kstrn_open.h"
#include "kstrn_output.h"
#include "kstrn_safety.h"
#include "kstrn_scan.h"
#include "storage/platform/program_process.h"

namespace kstrn::tool {
namespace {

constexpr uint16_t kTidData = 1063;

struct Rebuild {
  KSTRN_SessionHandle session;
  const std::string& source;
  uint64_t emptyItems = 0;  // items whose blocks were all lost
  uint64_t repeated = 0;    // values whose TID came twice in a block
  uint64_t refused = 0;     // values the library would not store

  void Block(const ScanBlock& block) {
    std::vector<uint16_t> seen;
    for (const ScanValue& v : block.values) {
      if (std::find(seen.begin(), seen.end(), v.tid) != seen.end()) {
        ++repeated;
        continue;
      }
      seen.push_back(v.tid);
      if (!Value(v)) ++refused;
    }
    for (const ScanItem& item : block.items) {
      if (item.blocks.empty()) {
        ++emptyItems;
        continue;
      }
      uint16_t before = 0;
      KSTRN_GetItemCount(item.tid, &before, session);
      KSTRN_InsertItemBlocks(item.tid, static_cast<uint16_t>(item.blocks.size()), session);
      for (std::size_t i = 0; i < item.blocks.size(); ++i) {
        if (!KSTRN_OpenItem(item.tid, static_cast<int32_t>(before + i), session)) continue;
        Block(*item.blocks[i]);
        KSTRN_CloseItem(session);
      }
    }
  }

  bool Value(const ScanValue& v) {
    if (v.tid == kTidData) {
      const uint64_t offset = v.offset;
      const uint64_t length = v.size;
#ifdef _WIN32
      // UTF-8 here; the 8-bit function would read ANSI text.
      const std::u16string wide = detail::Utf16Path(source);
      return KSTRN_InsertDataFileW(detail::Units(wide.c_str()), &offset, &length, session);
#else
      return KSTRN_InsertDataFile(source.c_str(), &offset, &length, session);
#endif
    }
    const uint8_t* bytes = v.bytes.data();
    if (KSTRN_IsVariableSize(v.tid)) {
      return v.size > 1 && KSTRN_InsertValueS(v.tid, bytes + 1, v.size - 1, session);
    }
    if (KSTRN_IsLongVariableSize(v.tid)) {
      return v.size > 2 && KSTRN_InsertValueS(v.tid, bytes + 2, v.size - 2, session);
    }
    static const uint8_t kNothing[8] = {};
    return KSTRN_InsertValue(v.tid, v.size == 0 ? kNothing : bytes, session);
  }
};

std::string Count(uint64_t n, const char* what) { return std::to_string(n) + ' ' + what; }

}  // namespace

int RunRecover(const RecoverOptions& options) {
  const kestron4::NativeFile file =
      kestron4::CurrentPlatform().Open(options.damaged, kestron4::kOpenRead);
  if (file == kestron4::kNoFile)
    throw Failure(options.damaged + ": cannot read: " + kestron4::LastSystemError());
  struct Closer {
    kestron4::NativeFile file;
    ~Closer() { kestron4::CurrentPlatform().Close(file); }
  } closer{file};
  RememberInput(file);
  RefuseInputAsOutput(options.out);
  const ScanResult scan = ScanContainer(file);
  if (!scan.container) {
    // Older logger files are read by the library's own conversion, which
    // already keeps the samples of a recording that was cut short.
    SaveFile(OpenFile(options.damaged, true), options.out);
    Output out("-");
    out.Write(options.damaged + ": not a container; converted whole, nothing lost\n");
    out.Commit();
    return kExitOk;
  }
  Session session = Session::Create();
  Rebuild rebuild{session.handle(), options.damaged};
  rebuild.Block(scan.root);
  SaveFile(session, options.out);
  Output out("-");
  out.Write("kept: " + Count(scan.blocks, "block(s)") + ", " +
            Count(scan.values - rebuild.repeated - rebuild.refused, "value(s)") + "\n");
  const bool lost = scan.damaged || rebuild.emptyItems + rebuild.repeated + rebuild.refused != 0;
  if (scan.damaged) {
    std::string where = "damage at byte " + std::to_string(scan.damageAt) + " of " +
                        std::to_string(scan.fileSize) + " in block " + scan.damagePath + ": " +
                        scan.damage;
    if (scan.needed > scan.fileSize) where += " (needs " + std::to_string(scan.needed) + " bytes)";
    out.Write(where + "\n");
    out.Write(std::string("read: ") +
              (scan.bounded ? "each block bounded by its size field, going on after damage"
                            : "in order up to the damage") +
              "\n");
    if (scan.cutBlobSize != 0) {
      out.Write("kept: the first " + std::to_string(scan.cutBlobKept) + " of " +
                std::to_string(scan.cutBlobSize) + " bytes of the blob cut short in " +
                scan.damagePath + "\n");
    }
    out.Write("lost: " + Count(scan.lostBlocks, "announced block(s)") +
              ", and whatever followed the damage in its block\n");
  }
  if (rebuild.emptyItems != 0)
    out.Write("lost: " + Count(rebuild.emptyItems, "item(s) left without blocks") + "\n");
  if (rebuild.repeated != 0)
    out.Write("lost: " + Count(rebuild.repeated, "value(s) repeating a TID of their block") + "\n");
  if (rebuild.refused != 0)
    out.Write("lost: " + Count(rebuild.refused, "value(s) the library would not store") + "\n");
  if (!lost) out.Write("nothing lost\n");
  out.Commit();
  return lost ? kExitCheckFailed : kExitOk;
}

}  // namespace kstrn::tool
