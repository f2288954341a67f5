// kstrn get and kstrn extract: one value of one block, readable or as bytes.
#include <algorithm>
#include <string>
#include <vector>

#include "kstrn_commands.h"
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

// The payload in pieces, so that a large blob is never held whole.
void CopyPayload(const Session& session, const ValueInfo& value, Output& out, bool hex) {
  std::vector<uint8_t> piece(std::min(value.payload, kPieceBytes));
  for (uint32_t done = 0; done < value.payload;) {
    const uint32_t n = std::min(value.payload - done, kPieceBytes);
    session.ReadStored(value.handle, value.stored - value.payload + done, piece.data(), n);
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
  Session session = OpenFile(options.file);
  const ValueInfo value = FindAt(session, options.path, options.tid);
  Output out("-");
  if (options.raw || options.hex) {
    CopyPayload(session, value, out, options.hex);
    if (options.hex) out.Put('\n');
  } else {
    const Rendering r = RenderValue(session, value, UINT32_MAX);
    if (r.number) {
      out.Write(std::to_string(*r.number));
    } else if (r.text) {
      out.Write(*r.text);
    } else {
      out.Write(Hex(r.bytes.data(), r.bytes.size()));
    }
    out.Put('\n');
  }
  out.Commit();
  return kExitOk;
}

int RunExtract(const ExtractOptions& options) {
  Session session = OpenFile(options.file);
  const ValueInfo value = FindAt(session, options.path, options.tid);
  Output out(options.out);
  CopyPayload(session, value, out, false);
  out.Commit();
  return kExitOk;
}

}  // namespace kstrn::tool
