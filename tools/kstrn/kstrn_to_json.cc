// kstrn to-json: the lossless text form of a container (docs/KSTRN.md). Every
// value is written so that from-json stores the same bytes again. What the
// interface cannot read (a second value or item with the TID of an earlier
// one in the same block) is refused rather than left out.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "kstrn_commands.h"
#include "kstrn_failure.h"
#include "kstrn_json_nesting.h"
#include "kstrn_json_writer.h"
#include "kstrn_open.h"
#include "kstrn_text.h"
#include "kstrn_value.h"
#include "kstrn_walk.h"

namespace kstrn::tool {
namespace {

constexpr uint64_t kLargestSafeJsonInteger = uint64_t{1} << 53;
constexpr uint32_t kBase64Piece = 3 * 16384;

class LosslessWriter : public JsonNesting {
 public:
  LosslessWriter(Session& session, JsonWriter& json) : JsonNesting(json), session_(session) {}

  bool Enter(const BlockPath& path) override {
    const std::vector<uint16_t> values = session_.ValueTids();
    const std::vector<uint16_t> items = session_.ItemTids();
    RefuseRepeats(path, items, "item");
    RefuseRepeats(path, values, "value");
    json_.BeginObject();
    if (!values.empty()) {
      json_.Key("values");
      json_.BeginArray();
      for (const uint16_t tid : values) WriteValue(tid);
      json_.EndArray();
    }
    BeginItems(!items.empty());
    return true;
  }

  void EnterItem(const BlockPath&, uint16_t tid, uint16_t count) override {
    json_.BeginObject();
    json_.Key("tid");
    json_.Number(tid);
    json_.Key("blocks");
    json_.BeginArray(count == 0);
  }

 private:
  // The interface reaches only the first of two values or items with the
  // same TID in one block.
  static void RefuseRepeats(const BlockPath& path, std::vector<uint16_t> tids, const char* what) {
    std::sort(tids.begin(), tids.end());
    const auto repeated = std::adjacent_find(tids.begin(), tids.end());
    if (repeated == tids.end()) return;
    throw Failure(
        "block " + FormatPath(path) + ": " + what + " " + std::to_string(*repeated) +
        " occurs twice; only the first can be read, so the text form would lose the other");
  }

  void WriteValue(uint16_t tid) {
    const ValueInfo value = DescribeValue(session_, tid);
    json_.BeginObject(true);
    json_.Key("tid");
    json_.Number(tid);
    switch (value.layout) {
      case Layout::kString:
      case Layout::kLongString:
        WriteString(value);
        break;
      case Layout::kData:
        WriteBase64(value);
        break;
      case Layout::kFixed:
      case Layout::kNone:
        WriteFixed(value);
        break;
    }
    json_.EndObject();
  }

  void WriteString(const ValueInfo& value) {
    const std::vector<uint8_t> payload = ReadPayload(session_, value);
    const TextForm form = value.prefixMismatch ? TextForm::kNotText : ClassifyText(payload);
    if (form != TextForm::kNotText) {
      const std::string text = TextOf(payload, form);
      if (form == TextForm::kAnsi || IsValidUtf8(text)) {
        json_.Key("text");
        json_.String(text);
        if (form == TextForm::kAnsi) {
          json_.Key("encoding");
          json_.String("ansi");
        }
        return;
      }
    }
    json_.Key("hex");
    json_.String(Hex(payload.data(), payload.size()));
  }

  void WriteFixed(const ValueInfo& value) {
    const std::vector<uint8_t> payload = ReadPayload(session_, value);
    const std::optional<uint64_t> number = NumberOf(value, payload);
    if (number && *number <= kLargestSafeJsonInteger) {
      json_.Key("uint");
      json_.Number(*number);
    } else {
      json_.Key("hex");
      json_.String(Hex(payload.data(), payload.size()));
    }
  }

  // A blob may be large: read and encode it a piece at a time.
  void WriteBase64(const ValueInfo& value) {
    json_.Key("base64");
    json_.BeginRawString();
    std::vector<uint8_t> piece(std::min(value.payload, kBase64Piece));
    for (uint32_t done = 0; done < value.payload;) {
      const uint32_t n = std::min(value.payload - done, kBase64Piece);
      session_.ReadStored(value.handle, done, piece.data(), n);
      json_.RawPart(Base64(piece.data(), n));
      done += n;
    }
    json_.EndRawString();
  }

  Session& session_;
};

}  // namespace

int RunToJson(const ToJsonOptions& options) {
  Session session = OpenFile(options.file, true);
  Output out(options.out);
  JsonWriter json(out);
  json.BeginObject();
  json.Key("format");
  json.String("kestron4-json");
  json.Key("version");
  json.Number(1);
  json.Key("root");
  LosslessWriter writer(session, json);
  BlockWalk(session).Run(writer);
  json.EndObject();
  json.Finish();
  out.Commit();
  return kExitOk;
}

}  // namespace kstrn::tool
