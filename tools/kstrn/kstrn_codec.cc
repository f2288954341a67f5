// kstrn compress and kstrn decompress: whole files through the library's
// coder, in the framing of kstrn_frame.h.
#include <string>

#include "kstrn_commands.h"
#include "kstrn_failure.h"
#include "kstrn_frame.h"
#include "kstrn_output.h"

namespace kstrn::tool {
namespace {

void RefuseSameFile(const Input& in, const std::string& out) {
  if (in.IsSameFile(out)) throw Failure(out + ": is the input; write to another file");
}

}  // namespace

int RunCompress(const CodecOptions& options) {
  Input in(options.in);
  RefuseSameFile(in, options.out);
  Output out(options.out, true);
  CompressFramed(in, out);
  out.Commit();
  return kExitOk;
}

int RunDecompress(const CodecOptions& options) {
  Input in(options.in);
  RefuseSameFile(in, options.out);
  Output out(options.out, true);
  DecompressFramed(in, out);
  out.Commit();
  return kExitOk;
}

}  // namespace kstrn::tool
