// kstrn to-json: the lossless text form of a container (docs/KSTRN.md). Every
// value is written so that from-json stores the same stored bytes again; a
// session that the interface could not rebuild value for value is refused
// rather than written differently.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "kstrn_commands.h"
#include "kstrn_failure.h"
#include "kstrn_json_writer.h"
#include "kstrn_open.h"
#include "kstrn_text.h"
#include "kstrn_value.h"
#include "kstrn_walk.h"

namespace kstrn::tool {
namespace {

constexpr uint64_t kLargestSafeJsonInteger = uint64_t{1} << 53;
constexpr uint32_t kBase64Piece = 3 * 16384;

uint32_t LoadU32(const std::vector<uint8_t>& bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
}

class LosslessWriter : public BlockVisitor {
 public:
  LosslessWriter(Session& session, JsonWriter& json) : session_(session), json_(json) {}

  bool Enter(const BlockPath& path) override {
    const std::vector<uint16_t> values = session_.ValueTids();
    const std::vector<uint16_t> items = session_.ItemTids();
    CheckItems(path, items);
    json_.BeginObject();
    if (!path.empty()) {
      json_.Key("tid");
      json_.Number(path.back().tid);
    }
    if (!values.empty()) {
      json_.Key("values");
      json_.BeginArray();
      WriteValues(path, values);
      json_.EndArray();
    }
    if (!items.empty()) {
      json_.Key("blocks");
      json_.BeginArray();
    }
    opened_.push_back(!items.empty());
    return true;
  }

  void Leave(const BlockPath&) override {
    if (opened_.back()) json_.EndArray();
    opened_.pop_back();
    json_.EndObject();
  }

 private:
  [[noreturn]] void Refuse(const BlockPath& path, const std::string& what) {
    throw Failure("block " + FormatPath(path) + ": " + what +
                  "; the text form could not give back the same file");
  }

  void CheckItems(const BlockPath& path, const std::vector<uint16_t>& items) {
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (std::find(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(i), items[i]) !=
          items.begin() + static_cast<std::ptrdiff_t>(i)) {
        Refuse(path, "item " + std::to_string(items[i]) + " occurs twice");
      }
      if (session_.ItemCount(items[i]) == 0) {
        Refuse(path, "item " + std::to_string(items[i]) + " has no blocks");
      }
    }
  }

  void WriteValues(const BlockPath& path, const std::vector<uint16_t>& tids) {
    int64_t lengthBefore = -1;  // the 1066 value just written, if the last one
    for (std::size_t i = 0; i < tids.size(); ++i) {
      const uint16_t tid = tids[i];
      const std::string name = "value " + std::to_string(tid);
      if (std::find(tids.begin(), tids.begin() + static_cast<std::ptrdiff_t>(i), tid) !=
          tids.begin() + static_cast<std::ptrdiff_t>(i)) {
        Refuse(path, name + " occurs twice");
      }
      const ValueInfo value = DescribeValue(session_, tid);
      json_.BeginObject(true);
      json_.Key("tid");
      json_.Number(tid);
      switch (value.layout) {
        case Layout::kString:
        case Layout::kLongString:
          // The interface reads a string length of 0 as "up to the NUL".
          if (value.prefixMismatch || value.payload == 0) Refuse(path, name + " is an empty string");
          WriteString(value);
          break;
        case Layout::kData:
          if (value.stored != 0 && lengthBefore != int64_t{value.stored}) {
            Refuse(path, "blob 1063 does not directly follow its length value 1066");
          }
          WriteBase64(value);
          break;
        case Layout::kFixed:
        case Layout::kNone:
          if (value.stored != KSTRN_ValSize(tid, 0)) Refuse(path, name + " has the wrong size");
          WriteFixed(value);
          break;
      }
      json_.EndObject();
      lengthBefore = -1;
      if (tid == kTidDataSize) lengthBefore = LoadU32(ReadPayload(session_, value));
    }
  }

  void WriteString(const ValueInfo& value) {
    const std::vector<uint8_t> payload = ReadPayload(session_, value);
    const TextForm form = ClassifyText(payload);
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
  JsonWriter& json_;
  std::vector<bool> opened_;
};

}  // namespace

int RunToJson(const ToJsonOptions& options) {
  Session session = OpenFile(options.file);
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
