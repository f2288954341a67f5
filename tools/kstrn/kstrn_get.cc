// kstrn get and kstrn extract: one value of one block, readable or as bytes.
// Both open the file streamed: only the block's path and the value are read.
#include <algorithm>
#include <string>
#include <vector>

#include "kstrn_commands.h"
#include "kstrn_display.h"
#include "kstrn_failure.h"
#include "kstrn_open.h"
#include "kstrn_output.h"
#include "kstrn_text.h"
#include "kstrn_value.h"
#include "kstrn_walk.h"

namespace kstrn::tool {
namespace {

constexpr uint32_t kPieceBytes = 1 << 20;

ValueInfo FindAt(Session& session, const std::string& pathText, uint16_t tid) {
  const BlockPath path = ParsePath(pathText);
  EnterPath(session, path);
  if (!session.HasValue(tid)) {
    throw Failure("block " + FormatPath(path) + " has no value " + std::to_string(tid));
  }
  return DescribeValue(session, tid);
}

// count payload bytes from offset, in pieces, so that a large blob is never
// held whole.
void CopyPayload(const Session& session, const ValueInfo& value, Output& out, bool hex,
                 uint32_t offset, uint32_t count) {
  std::vector<uint8_t> piece(std::min(count, kPieceBytes));
  const uint32_t start = value.stored - value.payload + offset;
  for (uint32_t done = 0; done < count;) {
    const uint32_t n = std::min(count - done, kPieceBytes);
    session.ReadStored(value.handle, start + done, piece.data(), n);
    if (hex) {
      out.Write(Hex(piece.data(), n));
    } else {
      out.Write(piece.data(), n);
    }
    done += n;
  }
}

}  // namespace

int RunGet(const GetOptions& options) {
  Session session = OpenFile(options.file, true);
  const ValueInfo value = FindAt(session, options.path, options.tid);
  Output out("-", options.raw);
  const std::string form = options.as.empty() ? DefaultForm(value.tid) : options.as;
  const bool hex = options.hex || (!options.raw && (form == "hex" || form == "blob"));
  if (options.raw || hex) {
    CopyPayload(session, value, out, hex, 0, value.payload);
    if (hex) out.Put('\n');
  } else {
    const std::vector<uint8_t> payload = ReadPayload(session, value);
    out.Write(FormatAs(payload, form, value));
    out.Put('\n');
  }
  out.Commit();
  return kExitOk;
}

int RunExtract(const ExtractOptions& options) {
  Session session = OpenFile(options.file, true);
  const ValueInfo value = FindAt(session, options.path, options.tid);
  if (options.offset > value.payload) {
    throw Failure("--offset " + std::to_string(options.offset) + " is past the end of value " +
                  std::to_string(value.tid) + " (" + std::to_string(value.payload) + " bytes)");
  }
  const uint64_t left = value.payload - options.offset;
  if (options.count != UINT64_MAX && options.count > left) {
    throw Failure("--count " + std::to_string(options.count) + " runs past the end of value " +
                  std::to_string(value.tid) + " (" + std::to_string(left) + " bytes from offset " +
                  std::to_string(options.offset) + ")");
  }
  Output out(options.out, true);
  CopyPayload(session, value, out, false, static_cast<uint32_t>(options.offset),
              static_cast<uint32_t>(std::min(left, options.count)));
  out.Commit();
  return kExitOk;
}

}  // namespace kstrn::tool
