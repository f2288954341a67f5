// kstrn from-json: builds a container from the text form that to-json writes
// (docs/KSTRN.md). The document is checked strictly and written in the
// container's own form (kstrn_container_bytes.h); the library then loads that
// and saves it as it saves every file, so the output is exactly what the
// library writes for that tree.
#include <algorithm>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "kstrn_commands.h"
#include "kstrn_container_bytes.h"
#include "kstrn_failure.h"
#include "kstrn_output.h"
#include "kstrn_text.h"
#include "kstrn_value.h"
#include "kstrn_walk.h"

namespace kstrn::tool {
namespace {

using Json = nlohmann::json;

// The library loads no deeper tree.
constexpr std::size_t kMaxDepth = 4096;

class Encoder {
 public:
  // textSize: the document's length; the container is rarely longer.
  Encoder(std::string name, std::size_t textSize) : name_(std::move(name)), out_(textSize) {}

  const std::string& Encode(const Json& document) {
    if (!document.is_object() || document.value("format", "") != "kestron4-json") {
      Fail("not a kestron4-json document (\"format\" must be \"kestron4-json\")");
    }
    const auto version = document.find("version");
    if (version == document.end() || *version != 1)
      Fail("unsupported \"version\" (this tool reads 1)");
    for (const auto& [key, member] : document.items()) {
      if (key != "format" && key != "version" && key != "root")
        Fail("unknown member \"" + key + "\"");
    }
    const auto root = document.find("root");
    if (root == document.end()) Fail("no \"root\"");
    Walk(*root);
    return out_.Bytes();
  }

 private:
  struct Frame {
    const Json* items;  // null when the block has none
    std::size_t item = 0;
    std::size_t block = 0;
  };

  [[noreturn]] void Fail(const std::string& what) const { throw Failure(name_ + ": " + what); }
  // A deep path is named by its ends, so that the message stays one line.
  [[noreturn]] void FailHere(const std::string& what) const {
    constexpr std::size_t kEnds = 4;
    std::string where = FormatPath(path_);
    if (path_.size() > 2 * kEnds + 1) {
      const BlockPath head(path_.begin(), path_.begin() + kEnds);
      const BlockPath tail(path_.end() - kEnds, path_.end());
      where = FormatPath(head) + "/... " + std::to_string(path_.size() - 2 * kEnds) +
              " levels ..." + FormatPath(tail);
    }
    Fail("block " + where + ": " + what);
  }

  static const Json* Member(const Json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
  }

  // Writes every block depth first, with a stack of its own.
  void Walk(const Json& root) {
    std::vector<Frame> stack{{WriteBlock(root)}};
    while (!stack.empty()) {
      Frame& frame = stack.back();
      if (frame.items == nullptr || frame.item == frame.items->size()) {
        out_.EndBlock();
        stack.pop_back();
        if (!path_.empty()) path_.pop_back();
        continue;
      }
      const Json& item = (*frame.items)[frame.item];
      const Json& blocks = item.at("blocks");  // checked by WriteBlock of the parent
      if (frame.block == blocks.size()) {
        ++frame.item;
        frame.block = 0;
        continue;
      }
      const uint16_t index = static_cast<uint16_t>(frame.block++);
      path_.push_back({item.at("tid").get<uint16_t>(), index});
      if (path_.size() > kMaxDepth)
        FailHere("deeper than the " + std::to_string(kMaxDepth) + " levels a file may have");
      const Json* items = WriteBlock(blocks[index]);
      stack.push_back({items});  // frame is invalid from here on
    }
  }

  // Checks a block and writes its record up to its child blocks; returns its
  // items, if any.
  const Json* WriteBlock(const Json& block) {
    if (!block.is_object()) FailHere("a block must be an object");
    for (const auto& [key, member] : block.items()) {
      if (key != "values" && key != "items") FailHere("unknown member \"" + key + "\"");
      if (!member.is_array()) FailHere("\"" + key + "\" must be an array");
    }
    const Json* items = Member(block, "items");
    const Json* values = Member(block, "values");
    out_.BeginBlock();
    if (items != nullptr) WriteItems(*items);
    if (values != nullptr) WriteValues(*values);
    out_.EndEntries();
    return items != nullptr && !items->empty() ? items : nullptr;
  }

  void WriteItems(const Json& items) {
    std::unordered_set<uint16_t> seen;
    for (std::size_t i = 0; i < items.size(); ++i) {
      const Json& item = items[i];
      const std::string where = "item " + std::to_string(i);
      if (!item.is_object()) FailHere(where + " must be an object");
      for (const auto& [key, member] : item.items()) {
        if (key != "tid" && key != "blocks") FailHere(where + ": unknown member \"" + key + "\"");
      }
      const Json* tid = Member(item, "tid");
      if (tid == nullptr || !tid->is_number_unsigned() || *tid == 0 || *tid > 65535 ||
          KSTRN_IsValueID(tid->get<uint16_t>())) {
        FailHere(where + " needs an item \"tid\" (1..999, 14000..65535)");
      }
      const Json* blocks = Member(item, "blocks");
      if (blocks == nullptr || !blocks->is_array()) FailHere(where + " needs a \"blocks\" array");
      if (blocks->size() > 65535) FailHere(where + " has more than 65535 blocks");
      if (!seen.insert(tid->get<uint16_t>()).second) {
        FailHere(where + ": item " + std::to_string(tid->get<uint16_t>()) + " occurs twice");
      }
      out_.Item(tid->get<uint16_t>(), static_cast<uint16_t>(blocks->size()));
    }
  }

  void WriteValues(const Json& values) {
    std::unordered_set<uint16_t> seen;
    int64_t length = -1;  // of the last 1066 so far: a reader sizes the blob by it
    for (std::size_t i = 0; i < values.size(); ++i) {
      const Json& v = values[i];
      const Json* tidMember = v.is_object() ? Member(v, "tid") : nullptr;
      if (tidMember == nullptr || !tidMember->is_number_unsigned() || *tidMember > 65535 ||
          !KSTRN_IsValueID(tidMember->get<uint16_t>())) {
        FailHere("value " + std::to_string(i) + " needs a value \"tid\" (1000..13999)");
      }
      const uint16_t tid = tidMember->get<uint16_t>();
      const std::string where = "value " + std::to_string(i) + " (" + std::to_string(tid) + ")";
      if (!seen.insert(tid).second) FailHere(where + " occurs twice");
      const Layout layout = LayoutOf(tid);
      std::vector<uint8_t> stored = Payload(v, tid, layout, where);
      if (tid == kTidDataSize) {
        length = int64_t{stored[0]} | int64_t{stored[1]} << 8 | int64_t{stored[2]} << 16 |
                 int64_t{stored[3]} << 24;
      }
      if (tid == kTidData && static_cast<int64_t>(stored.size()) != std::max<int64_t>(length, 0)) {
        FailHere(where + ": the blob holds " + std::to_string(stored.size()) +
                 " bytes, but the last length value 1066 before it says " +
                 (length < 0 ? std::string("nothing (0)") : std::to_string(length)));
      }
      // Strings are stored behind their length.
      if (layout == Layout::kString) {
        stored.insert(stored.begin(), static_cast<uint8_t>(stored.size()));
      } else if (layout == Layout::kLongString) {
        const std::size_t n = stored.size();
        stored.insert(stored.begin(), {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)});
      }
      out_.Value(tid, stored);
    }
  }

  // The payload a value object describes, checked against its TID's layout.
  std::vector<uint8_t> Payload(const Json& v, uint16_t tid, Layout layout,
                               const std::string& where) const {
    const char* content = nullptr;
    for (const auto& [key, member] : v.items()) {
      if (key == "tid" || (key == "encoding" && Member(v, "text") != nullptr)) continue;
      if (key != "text" && key != "uint" && key != "hex" && key != "base64") {
        FailHere(where + ": unknown member \"" + key + "\"");
      }
      if (content != nullptr) FailHere(where + ": give one of text, uint, hex, base64");
      content = key == "text" ? "text" : key == "uint" ? "uint" : key == "hex" ? "hex" : "base64";
    }
    if (content == nullptr) FailHere(where + ": no text, uint, hex or base64");
    const std::string kind(content);
    const Json& member = v.at(kind);
    std::vector<uint8_t> payload;
    if (kind == "text") {
      payload = TextPayload(v, member, layout, where);
    } else if (kind == "uint") {
      payload = NumberPayload(member, tid, layout, where);
    } else {
      if (!member.is_string()) FailHere(where + ": \"" + kind + "\" must be a string");
      const std::string& text = member.get_ref<const std::string&>();
      auto bytes = kind == "hex" ? FromHex(text) : FromBase64(text);
      if (!bytes) FailHere(where + ": bad " + kind);
      payload = std::move(*bytes);
    }
    CheckSize(payload.size(), tid, layout, where);
    return payload;
  }

  std::vector<uint8_t> TextPayload(const Json& v, const Json& member, Layout layout,
                                   const std::string& where) const {
    if (layout != Layout::kString && layout != Layout::kLongString) {
      FailHere(where + ": \"text\" needs a string TID");
    }
    if (!member.is_string()) FailHere(where + ": \"text\" must be a string");
    const std::string& text = member.get_ref<const std::string&>();
    if (text.find('\0') != std::string::npos) FailHere(where + ": text holds a NUL");
    const Json* encoding = Member(v, "encoding");
    std::string bytes;
    if (encoding == nullptr || *encoding == "utf8") {
      bytes = text + std::string("\0\3", 2);
    } else if (*encoding == "ansi") {
      const std::optional<std::string> ansi = Utf8ToCp1252(text);
      if (!ansi) FailHere(where + ": text has characters Windows-1252 lacks");
      bytes = *ansi + std::string(1, '\0');
    } else {
      FailHere(where + ": \"encoding\" must be \"utf8\" or \"ansi\"");
    }
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
  }

  std::vector<uint8_t> NumberPayload(const Json& member, uint16_t tid, Layout layout,
                                     const std::string& where) const {
    const uint32_t size = KSTRN_ValSize(tid, 0);
    if (layout != Layout::kFixed || (size != 1 && size != 2 && size != 4 && size != 8)) {
      FailHere(where + ": \"uint\" needs a fixed TID of 1, 2, 4 or 8 bytes");
    }
    if (!member.is_number_unsigned()) FailHere(where + ": \"uint\" must be a whole number >= 0");
    const uint64_t number = member.get<uint64_t>();
    if (size < 8 && number >> (8 * size) != 0) {
      FailHere(where + ": " + std::to_string(number) + " does not fit " + std::to_string(size) +
               " bytes");
    }
    std::vector<uint8_t> payload(size);
    for (uint32_t i = 0; i < size; ++i) payload[i] = static_cast<uint8_t>(number >> (8 * i));
    return payload;
  }

  void CheckSize(std::size_t size, uint16_t tid, Layout layout, const std::string& where) const {
    switch (layout) {
      case Layout::kString:
        if (size > 255) FailHere(where + ": a string takes at most 255 bytes");
        return;
      case Layout::kLongString:
        if (size > 65535) FailHere(where + ": a long string takes at most 65535 bytes");
        return;
      case Layout::kData:
        if (size > UINT32_MAX) FailHere(where + ": blob larger than 4 GiB");
        return;
      case Layout::kFixed:
      case Layout::kNone:
        if (size != KSTRN_ValSize(tid, 0)) {
          FailHere(where + ": takes " + std::to_string(KSTRN_ValSize(tid, 0)) + " bytes, not " +
                   std::to_string(size));
        }
        return;
    }
  }

  const std::string name_;
  ContainerBytes out_;
  BlockPath path_;
};

}  // namespace

int RunFromJson(const FromJsonOptions& options) {
  const std::string name = options.json == "-" ? "standard input" : options.json;
  Json document;
  std::size_t textSize = 0;
  {
    const std::string text = ReadAll(options.json);
    textSize = text.size();
    try {
      document = Json::parse(text);
    } catch (const Json::exception& e) {
      throw Failure(name + ": " + e.what());
    }
  }
  Encoder encoder(name, textSize);
  const std::string* bytes = nullptr;
  try {
    bytes = &encoder.Encode(document);
  } catch (const Json::exception& e) {
    throw Failure(name + ": " + e.what());
  }
  document = Json();  // the container now holds everything
  if (bytes->size() > UINT32_MAX) throw Failure(name + ": the container would pass 4 GiB");
  std::optional<Session> session;
  try {
    session = Session::OpenBuffer(ByteView(bytes->data(), bytes->size()));
  } catch (const Error& e) {
    throw Failure(name + ": the library refused the container it describes: " + e.what());
  }
  try {
    // The root's reference-mode value, when the document has one, stays.
    session->SaveWithAbsRefs(options.out);
  } catch (const Error& e) {
    throw Failure(options.out + ": " + e.what());
  }
  return kExitOk;
}

}  // namespace kstrn::tool
