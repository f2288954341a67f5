// kstrn from-json: builds a container from the text form that to-json writes,
// or from tree --json --values when that shows every byte (docs/KSTRN.md). The document is checked strictly and written in the
// container's own form (kstrn_container_bytes.h); the library then loads that
// and saves it as it saves every file, so the output is exactly what the
// library writes for that tree.
#include <algorithm>
#include <bit>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "kstrn_commands.h"
#include "kstrn_container_bytes.h"
#include "kstrn_failure.h"
#include "kstrn_names.h"
#include "kstrn_output.h"
#include "kstrn_safety.h"
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
    const bool outline = document.is_object() && document.contains("fileType") &&
                         !document.contains("format");
    if (!outline) {
      if (!document.is_object() || document.value("format", "") != "kestron4-json") {
        Fail("not a kestron4-json document (\"format\" must be \"kestron4-json\") nor the "
             "output of tree --json");
      }
      const auto version = document.find("version");
      if (version == document.end() || *version != 1)
        Fail("unsupported \"version\" (this tool reads 1)");
    }
    for (const auto& [key, member] : document.items()) {
      const bool known = outline ? key == "file" || key == "fileType" || key == "root"
                                 : key == "format" || key == "version" || key == "root";
      if (!known) Fail("unknown member \"" + key + "\"");
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

  static bool IsOutlineMember(const std::string& key) {
    return key == "tid" || key == "index" || key == "path" || key == "valueCount" ||
           key == "itemCount" || key == "name";
  }

  // A TID as a number or a name of the dictionary; 0 when it is neither.
  static uint32_t TidOf(const Json* member) {
    if (member == nullptr) return 0;
    if (member->is_string()) return Names().Parse(member->get<std::string>()).value_or(0);
    return member->is_number_unsigned() && *member <= 65535 ? member->get<uint32_t>() : 0;
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
      path_.push_back({static_cast<uint16_t>(TidOf(&item.at("tid"))), index});
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
      if (IsOutlineMember(key)) continue;  // what tree --json adds to read by
      if (key != "values" && key != "items") FailHere("unknown member \"" + key + "\"");
      if (!member.is_array()) FailHere("\"" + key + "\" must be an array");
    }
    const Json* items = Member(block, "items");
    const Json* values = Member(block, "values");
    const Json* valueCount = Member(block, "valueCount");
    if (valueCount != nullptr && *valueCount != 0 && values == nullptr) {
      FailHere("its values are not listed (use tree --json --values)");
    }
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
        if (key != "tid" && key != "blocks" && key != "name" && key != "blockCount")
          FailHere(where + ": unknown member \"" + key + "\"");
      }
      const uint32_t tid = TidOf(Member(item, "tid"));
      if (tid == 0 || KSTRN_IsValueID(static_cast<uint16_t>(tid))) {
        FailHere(where + " needs an item \"tid\" (1..999, 14000..65535)");
      }
      const Json* blocks = Member(item, "blocks");
      if (blocks == nullptr && Member(item, "blockCount") != nullptr) {
        FailHere(where + ": its blocks are cut off (tree --json --depth); give them all");
      }
      if (blocks == nullptr || !blocks->is_array()) FailHere(where + " needs a \"blocks\" array");
      if (blocks->size() > 65535) FailHere(where + " has more than 65535 blocks");
      if (!seen.insert(static_cast<uint16_t>(tid)).second) {
        FailHere(where + ": item " + std::to_string(tid) + " occurs twice");
      }
      out_.Item(static_cast<uint16_t>(tid), static_cast<uint16_t>(blocks->size()));
    }
  }

  void WriteValues(const Json& values) {
    std::unordered_set<uint16_t> seen;
    int64_t length = -1;  // of the last 1066 so far: a reader sizes the blob by it
    for (std::size_t i = 0; i < values.size(); ++i) {
      const Json& v = values[i];
      const uint32_t tidNumber = v.is_object() ? TidOf(Member(v, "tid")) : 0;
      if (!KSTRN_IsValueID(static_cast<uint16_t>(tidNumber)) || tidNumber > 65535) {
        FailHere("value " + std::to_string(i) + " needs a value \"tid\" (1000..13999)");
      }
      const uint16_t tid = static_cast<uint16_t>(tidNumber);
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
    const bool exact = Member(v, "uint") != nullptr;  // beside it, "double" is only a reading
    for (const auto& [key, member] : v.items()) {
      if (key == "tid" || key == "name" || key == "kind" || key == "type" || key == "size" ||
          (key == "encoding" && Member(v, "text") != nullptr) || (key == "double" && exact)) {
        continue;
      }
      if (key == "truncated") {
        if (member != false) FailHere(where + ": its bytes are cut off (tree --preview)");
        continue;
      }
      if (key != "text" && key != "uint" && key != "hex" && key != "base64" && key != "double") {
        FailHere(where + ": unknown member \"" + key + "\"");
      }
      if (content != nullptr) FailHere(where + ": give one of text, uint, double, hex, base64");
      content = key == "text"     ? "text"
                : key == "uint"   ? "uint"
                : key == "double" ? "double"
                : key == "hex"    ? "hex"
                                  : "base64";
    }
    if (content == nullptr) FailHere(where + ": no text, uint, double, hex or base64");
    const std::string kind(content);
    const Json& member = v.at(kind);
    std::vector<uint8_t> payload;
    if (kind == "text") {
      payload = TextPayload(v, member, layout, where);
    } else if (kind == "uint") {
      payload = NumberPayload(member, tid, layout, where);
    } else if (kind == "double") {
      payload = RealPayload(member, tid, layout, where);
    } else {
      if (!member.is_string()) FailHere(where + ": \"" + kind + "\" must be a string");
      const std::string& text = member.get_ref<const std::string&>();
      auto bytes = kind == "hex" ? FromHex(text) : FromBase64(text);
      if (!bytes) FailHere(where + ": bad " + kind);
      payload = std::move(*bytes);
    }
    CheckSize(payload.size(), tid, layout, where);
    const Json* size = Member(v, "size");
    if (size != nullptr && *size != payload.size()) {
      FailHere(where + ": \"size\" says " + size->dump() + " bytes, the value holds " +
               std::to_string(payload.size()));
    }
    return payload;
  }

  // A real stored in a fixed value of 4 (float) or 8 bytes (double).
  std::vector<uint8_t> RealPayload(const Json& member, uint16_t tid, Layout layout,
                                   const std::string& where) const {
    const uint32_t size = KSTRN_ValSize(tid, 0);
    if (layout != Layout::kFixed || (size != 4 && size != 8)) {
      FailHere(where + ": \"double\" needs a fixed TID of 4 or 8 bytes");
    }
    if (!member.is_number()) FailHere(where + ": \"double\" must be a number");
    const double real = member.get<double>();
    uint64_t bits = size == 8 ? std::bit_cast<uint64_t>(real)
                              : std::bit_cast<uint32_t>(static_cast<float>(real));
    std::vector<uint8_t> payload(size);
    for (uint32_t i = 0; i < size; ++i, bits >>= 8) payload[i] = static_cast<uint8_t>(bits);
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
  RememberInput(options.json);
  RefuseInputAsOutput(options.out);
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
  // The root's reference-mode value, when the document has one, stays: the
  // buffer save keeps it.
  std::vector<uint8_t> saved;
  try {
    saved = session->SaveToBuffer();
  } catch (const Error& e) {
    throw Failure(options.out + ": " + e.what());
  }
  Output out(options.out, true);
  out.Write(saved.data(), saved.size());
  out.Commit();
  return kExitOk;
}

}  // namespace kstrn::tool
