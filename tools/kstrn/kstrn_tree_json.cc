// kstrn tree --json: the outline of kstrn tree as a JSON document (the form
// is described in docs/KSTRN.md). It shows values readably and may cut
// blobs and depth; to-json is the lossless form.
#include <bit>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "kstrn_commands.h"
#include "kstrn_display.h"
#include "kstrn_failure.h"
#include "kstrn_json_nesting.h"
#include "kstrn_json_writer.h"
#include "kstrn_names.h"
#include "kstrn_open.h"
#include "kstrn_text.h"
#include "kstrn_value.h"
#include "kstrn_walk.h"

namespace kstrn::tool {
namespace {

class JsonOutline : public JsonNesting {
 public:
  JsonOutline(Session& session, const TreeOptions& options, JsonWriter& json)
      : JsonNesting(json), session_(session), options_(options) {}

  bool Enter(const BlockPath& path) override {
    const std::vector<uint16_t> values = session_.ValueTids();
    const std::vector<uint16_t> items = session_.ItemTids();
    const bool descend = options_.depth < 0 || path.size() < static_cast<uint64_t>(options_.depth);
    json_.BeginObject();
    if (!path.empty()) {
      json_.Key("tid");
      json_.Number(path.back().tid);
      Name(path.back().tid);
      json_.Key("index");
      json_.Number(path.back().index);
    }
    json_.Key("path");
    json_.String(FormatPath(path));
    json_.Key("valueCount");
    json_.Number(values.size());
    json_.Key("itemCount");
    json_.Number(items.size());
    if (options_.values && !values.empty()) {
      json_.Key("values");
      json_.BeginArray();
      for (const uint16_t tid : values) WriteValue(tid);
      json_.EndArray();
    }
    BeginItems(!items.empty());
    // Below the depth limit the items are listed without their blocks.
    if (!descend) {
      for (const uint16_t tid : items) {
        ItemHead(tid, session_.ItemCount(tid), true);
        json_.EndObject();
      }
    }
    return descend;
  }

  void EnterItem(const BlockPath&, uint16_t tid, uint16_t count) override {
    ItemHead(tid, count, false);
    json_.Key("blocks");
    json_.BeginArray(count == 0);
  }

 private:
  void Name(uint16_t tid) {
    const std::string name = Names().Name(tid);
    if (name.empty()) return;
    json_.Key("name");
    json_.String(name);
  }

  // Opens an item's object with its TID and block count.
  void ItemHead(uint16_t tid, uint16_t count, bool oneLine) {
    json_.BeginObject(oneLine);
    json_.Key("tid");
    json_.Number(tid);
    Name(tid);
    json_.Key("blockCount");
    json_.Number(count);
  }

  void WriteValue(uint16_t tid) {
    const ValueInfo value = DescribeValue(session_, tid);
    const Rendering r = RenderValue(session_, value, options_.preview);
    json_.BeginObject(true);
    json_.Key("tid");
    json_.Number(tid);
    Name(tid);
    json_.Key("kind");
    json_.String(LayoutName(value.layout));
    json_.Key("type");
    json_.Number(KSTRN_ValType(tid));
    json_.Key("size");
    json_.Number(value.payload);
    if (r.number) {
      json_.Key("uint");
      json_.Number(*r.number);
      // A real by the dictionary, or one that reads as an ordinary double.
      const std::string form = DefaultForm(tid);
      std::optional<double> real = r.real;
      if (form == "f64" && value.payload == 8) {
        real = std::bit_cast<double>(*r.number);
      } else if (form == "f32" && value.payload == 4) {
        real = std::bit_cast<float>(static_cast<uint32_t>(*r.number));
      }
      if (real && std::isfinite(*real)) {
        json_.Key("double");
        json_.Raw(FormatReal(*real));
      }
    } else if (r.text) {
      json_.Key("text");
      json_.String(*r.text);
      json_.Key("encoding");
      json_.String(r.encoding);
    } else {
      json_.Key("hex");
      json_.String(Hex(r.bytes.data(), r.bytes.size()));
      if (r.truncated) {
        json_.Key("truncated");
        json_.Bool(true);
      }
    }
    json_.EndObject();
  }

  Session& session_;
  const TreeOptions& options_;
};

}  // namespace

int RunTreeJson(const TreeOptions& options) {
  Session session = OpenFile(options.file, true);
  Output out("-");
  JsonWriter json(out);
  json.BeginObject();
  json.Key("file");
  json.String(ToValidUtf8(options.file));
  json.Key("fileType");
  json.Number(session.FileType());
  json.Key("root");
  JsonOutline outline(session, options, json);
  BlockWalk(session).Run(outline);
  json.EndObject();
  json.Finish();
  out.Commit();
  return kExitOk;
}

}  // namespace kstrn::tool
