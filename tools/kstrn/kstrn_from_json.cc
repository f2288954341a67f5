// kstrn from-json: builds a container from the text form that to-json writes
// (docs/KSTRN.md), through the library's ordinary editing calls. The input
// is checked strictly: anything that would not store exactly the bytes it
// describes is refused with the block and value it concerns.
#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "kstrn_commands.h"
#include "kstrn_failure.h"
#include "kstrn_output.h"
#include "kstrn_text.h"
#include "kstrn_value.h"
#include "kstrn_walk.h"

namespace kstrn::tool {
namespace {

using Json = nlohmann::json;

class Builder {
 public:
  Builder(Session& session, std::string name) : session_(session), name_(std::move(name)) {}

  void Build(const Json& document) {
    if (!document.is_object() || document.value("format", "") != "kestron4-json") {
      Fail("not a kestron4-json document (\"format\" must be \"kestron4-json\")");
    }
    const auto version = document.find("version");
    if (version == document.end() || *version != 1) Fail("unsupported \"version\" (this tool reads 1)");
    const auto root = document.find("root");
    if (root == document.end()) Fail("no \"root\"");
    FillBlock(*root, /*isRoot=*/true);
    Walk(*root);
  }

 private:
  struct Frame {
    const Json* blocks;
    std::size_t next = 0;
    uint16_t tid = 0;
    uint16_t index = 0;
  };

  [[noreturn]] void Fail(const std::string& what) const { throw Failure(name_ + ": " + what); }
  [[noreturn]] void FailHere(const std::string& what) const {
    Fail("block " + FormatPath(path_) + ": " + what);
  }

  static const Json* Member(const Json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
  }

  // Enters every block below root, depth first, with a stack of its own.
  void Walk(const Json& root) {
    std::vector<Frame> stack{{Member(root, "blocks")}};
    while (!stack.empty()) {
      Frame& frame = stack.back();
      if (frame.blocks == nullptr || frame.next == frame.blocks->size()) {
        stack.pop_back();
        if (!stack.empty()) {
          session_.CloseItem();
          path_.pop_back();
        }
        continue;
      }
      const Json& block = (*frame.blocks)[frame.next];
      const uint16_t tid = block.at("tid").get<uint16_t>();  // checked by FillBlock of the parent
      frame.index = frame.next != 0 && tid == frame.tid ? frame.index + 1 : 0;
      frame.tid = tid;
      ++frame.next;
      session_.OpenItem(tid, frame.index);
      path_.push_back({tid, frame.index});
      FillBlock(block, false);
      stack.push_back({Member(block, "blocks")});  // frame is invalid from here on
    }
  }

  // Stores the block's values and creates its items, all blocks empty.
  void FillBlock(const Json& block, bool isRoot) {
    if (!block.is_object()) FailHere("a block must be an object");
    for (const auto& [key, member] : block.items()) {
      if (key != "values" && key != "blocks" && (isRoot || key != "tid")) {
        FailHere("unknown member \"" + key + "\"");
      }
      if ((key == "values" || key == "blocks") && !member.is_array()) {
        FailHere("\"" + key + "\" must be an array");
      }
    }
    if (const Json* values = Member(block, "values")) StoreValues(*values);
    if (const Json* blocks = Member(block, "blocks")) CreateItems(*blocks);
  }

  void CreateItems(const Json& blocks) {
    std::unordered_set<uint16_t> done;
    std::size_t i = 0;
    while (i < blocks.size()) {
      const Json& first = blocks[i];
      const Json* tidMember = first.is_object() ? Member(first, "tid") : nullptr;
      if (tidMember == nullptr || !tidMember->is_number_unsigned() || *tidMember == 0 ||
          *tidMember > 65535 || KSTRN_IsValueID(tidMember->get<uint16_t>())) {
        FailHere("block " + std::to_string(i) + " of \"blocks\" needs an item \"tid\" (1..999, 14000..65535)");
      }
      const uint16_t tid = tidMember->get<uint16_t>();
      if (!done.insert(tid).second) {
        FailHere("the blocks of item " + std::to_string(tid) + " must follow each other");
      }
      std::size_t count = 0;
      while (i < blocks.size() && blocks[i].is_object() && Member(blocks[i], "tid") != nullptr &&
             *Member(blocks[i], "tid") == tid) {
        ++count;
        ++i;
      }
      if (count > 65535) FailHere("item " + std::to_string(tid) + " has more than 65535 blocks");
      try {
        session_.InsertItemBlocks(tid, static_cast<uint16_t>(count));
      } catch (const Error& e) {
        FailHere(std::string("item ") + std::to_string(tid) + ": " + e.what());
      }
    }
  }

  void StoreValues(const Json& values) {
    std::unordered_set<uint16_t> seen;
    int64_t lengthBefore = -1;  // the value stored last, if it was 1066
    for (std::size_t i = 0; i < values.size(); ++i) {
      const std::string where = "value " + std::to_string(i);
      const Json& v = values[i];
      const Json* tidMember = v.is_object() ? Member(v, "tid") : nullptr;
      if (tidMember == nullptr || !tidMember->is_number_unsigned() || *tidMember > 65535 ||
          !KSTRN_IsValueID(tidMember->get<uint16_t>())) {
        FailHere(where + " needs a value \"tid\" (1000..13999)");
      }
      const uint16_t tid = tidMember->get<uint16_t>();
      if (!seen.insert(tid).second) FailHere(where + ": value " + std::to_string(tid) + " occurs twice");
      const std::vector<uint8_t> payload = Payload(v, tid, where + " (" + std::to_string(tid) + ")");
      Store(tid, payload, lengthBefore, where + " (" + std::to_string(tid) + ")");
      lengthBefore = -1;
      if (tid == kTidDataSize) {
        lengthBefore = uint32_t{payload[0]} | uint32_t{payload[1]} << 8 | uint32_t{payload[2]} << 16 |
                       uint32_t{payload[3]} << 24;
      }
    }
  }

  // The payload a value object describes, checked against its TID's layout.
  std::vector<uint8_t> Payload(const Json& v, uint16_t tid, const std::string& where) const {
    const Layout layout = LayoutOf(tid);
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
    const Json& member = v.at(content);
    std::vector<uint8_t> payload;
    if (std::string(content) == "text") {
      payload = TextPayload(v, member, layout, where);
    } else if (std::string(content) == "uint") {
      payload = NumberPayload(member, tid, layout, where);
    } else {
      if (!member.is_string()) FailHere(where + ": \"" + content + "\" must be a string");
      const std::string& text = member.get_ref<const std::string&>();
      auto bytes = std::string(content) == "hex" ? FromHex(text) : FromBase64(text);
      if (!bytes) FailHere(where + ": bad " + content);
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
      FailHere(where + ": " + std::to_string(number) + " does not fit " + std::to_string(size) + " bytes");
    }
    std::vector<uint8_t> payload(size);
    for (uint32_t i = 0; i < size; ++i) payload[i] = static_cast<uint8_t>(number >> (8 * i));
    return payload;
  }

  void CheckSize(std::size_t size, uint16_t tid, Layout layout, const std::string& where) const {
    switch (layout) {
      case Layout::kString:
      case Layout::kLongString: {
        const std::size_t most = layout == Layout::kString ? 255 : 65535;
        // The interface reads a string length of 0 as "up to the NUL".
        if (size == 0 || size > most) {
          FailHere(where + ": a string takes 1 to " + std::to_string(most) + " bytes");
        }
        return;
      }
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

  void Store(uint16_t tid, const std::vector<uint8_t>& payload,
             int64_t lengthBefore, const std::string& where) {
    try {
      if (tid != kTidData) {
        session_.InsertValue(tid, ByteView(payload));
      } else if (payload.empty()) {
        // A blob without bytes, not touching 1066: stored as a plain value.
        static const uint8_t kNothing = 0;
        if (!KSTRN_InsertValue(tid, &kNothing, session_.handle())) FailHere(where + ": refused");
      } else {
        // Storing a blob sets 1066 and puts it right before the blob: only
        // a matching 1066 stored just before keeps the order and its bytes.
        if (lengthBefore != static_cast<int64_t>(payload.size())) {
          FailHere(where + ": a blob must directly follow its length value 1066");
        }
        session_.InsertData(ByteView(payload));
      }
    } catch (const Error& e) {
      FailHere(where + ": " + e.what());
    }
  }

  Session& session_;
  const std::string name_;
  BlockPath path_;
};

}  // namespace

int RunFromJson(const FromJsonOptions& options) {
  const std::string name = options.json == "-" ? "standard input" : options.json;
  Json document;
  {
    const std::string text = ReadAll(options.json);
    try {
      document = Json::parse(text);
    } catch (const Json::exception& e) {
      throw Failure(name + ": " + e.what());
    }
  }
  Session session = Session::Create();
  try {
    Builder(session, name).Build(document);
  } catch (const Json::exception& e) {
    throw Failure(name + ": " + e.what());
  }
  try {
    // The root's reference-mode value, when the document has one, stays.
    session.SaveWithAbsRefs(options.out);
  } catch (const Error& e) {
    throw Failure(options.out + ": " + e.what());
  }
  return kExitOk;
}

}  // namespace kstrn::tool
