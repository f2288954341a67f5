// kstrn info: what a file holds, in numbers.
#include <algorithm>
#include <string>

#include "kstrn_commands.h"
#include "kstrn_failure.h"
#include "kstrn_json_writer.h"
#include "kstrn_open.h"
#include "kstrn_text.h"
#include "kstrn_value.h"
#include "storage/platform/platform.h"
#include "kstrn_walk.h"

namespace kstrn::tool {
namespace {

constexpr uint16_t kTidReference = 112;

class Census : public BlockVisitor {
 public:
  explicit Census(Session& session) : session_(session) {}

  bool Enter(const BlockPath& path) override {
    if (!path.empty()) ++blocks;
    depth = std::max<uint64_t>(depth, path.size());
    if (!path.empty() && path.back().tid == kTidReference) ++references;
    items += session_.ItemTids().size();
    const std::vector<uint16_t> tids = session_.ValueTids();
    values += tids.size();
    if (std::find(tids.begin(), tids.end(), kTidData) != tids.end()) {
      blobBytes += DescribeValue(session_, kTidData).stored;
    }
    return true;
  }

  uint64_t blocks = 0;
  uint64_t items = 0;
  uint64_t values = 0;
  uint64_t blobBytes = 0;
  uint64_t depth = 0;
  uint64_t references = 0;

 private:
  Session& session_;
};

struct Integrity {
  bool ok = false;
  uint32_t resolved = 0;
  std::string error;
};

Integrity CheckIntegrity(Session& session) {
  Integrity result;
  result.ok = KSTRN_CheckIntegrity(&result.resolved, session.handle());
  if (!result.ok) result.error = KSTRN_GetLastEEStr();
  return result;
}

}  // namespace

int RunInfo(const InfoOptions& options) {
  Session session = OpenFile(options.file, true);
  kestron4::PathInfo found;
  const uint64_t fileSize = options.file == "-" ? StdinBytes()
                            : kestron4::CurrentPlatform().Inspect(options.file, &found)
                                ? found.size
                                : 0;
  const uint16_t type = session.FileType();
  const uint64_t containerSize = session.SaveSize();
  Census census(session);
  BlockWalk walk(session);
  walk.Run(census);
  const Integrity integrity = CheckIntegrity(session);

  Output out("-");
  if (options.json) {
    JsonWriter json(out);
    json.BeginObject();
    json.Key("file");
    json.String(ToValidUtf8(options.file));
    json.Key("fileType");
    json.Number(type);
    json.Key("fileTypeName");
    json.String(FileTypeName(type));
    json.Key("fileSize");
    json.Number(fileSize);
    json.Key("containerSize");
    json.Number(containerSize);
    json.Key("itemBlocks");
    json.Number(census.blocks);
    json.Key("items");
    json.Number(census.items);
    json.Key("values");
    json.Number(census.values);
    json.Key("blobBytes");
    json.Number(census.blobBytes);
    json.Key("depth");
    json.Number(census.depth);
    json.Key("references");
    json.Number(census.references);
    json.Key("integrity");
    json.BeginObject(true);
    json.Key("ok");
    json.Bool(integrity.ok);
    json.Key("resolved");
    json.Number(integrity.resolved);
    if (!integrity.ok) {
      json.Key("error");
      json.String(integrity.error);
    }
    json.EndObject();
    json.EndObject();
    json.Finish();
  } else {
    const auto line = [&](const char* name, const std::string& value) {
      std::string text(name);
      text.resize(13, ' ');
      out.Write(text + value + "\n");
    };
    line("file", options.file);
    line("file type", std::to_string(type) + " (" + FileTypeName(type) + ")");
    line("file size", std::to_string(fileSize) + " bytes");
    line("as container", std::to_string(containerSize) + " bytes");
    line("item blocks", std::to_string(census.blocks) + " (below the root)");
    line("items", std::to_string(census.items));
    line("values", std::to_string(census.values));
    line("blob bytes", std::to_string(census.blobBytes));
    line("tree depth", std::to_string(census.depth));
    line("references", std::to_string(census.references));
    line("integrity", integrity.ok ? "ok (" + std::to_string(integrity.resolved) + " resolved)"
                                   : "FAILED: " + integrity.error);
    if (walk.SkippedItems() != 0) {
      line("unreachable",
           std::to_string(walk.SkippedItems()) + " item(s) repeat a TID of their block");
    }
  }
  out.Commit();
  return kExitOk;
}

}  // namespace kstrn::tool
