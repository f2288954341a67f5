// kstrn tree: the blocks of a file as an indented outline, optionally with
// their values.
#include <algorithm>
#include <string>

#include "kstrn_commands.h"
#include "kstrn_display.h"
#include "kstrn_failure.h"
#include "kstrn_names.h"
#include "kstrn_open.h"
#include "kstrn_output.h"
#include "kstrn_text.h"
#include "kstrn_value.h"
#include "kstrn_walk.h"

namespace kstrn::tool {
namespace {

// Indentation stops growing here, as in the JSON outputs.
constexpr std::size_t kMaxIndentLevels = 40;

std::string Pad(std::string text, std::size_t width, bool right = false) {
  if (text.size() >= width) return text;
  const std::string fill(width - text.size(), ' ');
  return right ? fill + text : text + fill;
}

std::string SpacedHex(const std::vector<uint8_t>& bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) out.push_back(' ');
    out += Hex(&bytes[i], 1);
  }
  return out;
}

class Outline : public BlockVisitor {
 public:
  Outline(Session& session, const TreeOptions& options, Output& out)
      : session_(session), options_(options), out_(out) {}

  bool Enter(const BlockPath& path) override {
    const std::string indent(2 * std::min(path.size(), kMaxIndentLevels), ' ');
    const std::vector<uint16_t> values = session_.ValueTids();
    const std::size_t items = session_.ItemTids().size();
    const bool descend = options_.depth < 0 || path.size() < static_cast<uint64_t>(options_.depth);
    std::string line = indent;
    line += path.empty() ? std::string("/")
                         : std::to_string(path.back().tid) + ':' +
                               std::to_string(path.back().index) + Named(path.back().tid);
    if (!options_.values && !values.empty()) {
      line += "  (" + std::to_string(values.size()) + (values.size() == 1 ? " value)" : " values)");
    }
    if (!descend && items != 0) {
      line += "  (+" + std::to_string(items) + (items == 1 ? " item below)" : " items below)");
    }
    out_.Write(line + '\n');
    if (options_.values) {
      for (const uint16_t tid : values) WriteValue(indent + "  ", tid);
    }
    return descend;
  }

  // An item without blocks shows nowhere else.
  void EnterItem(const BlockPath& path, uint16_t tid, uint16_t count) override {
    if (count != 0) return;
    const std::string indent(2 * std::min(path.size() + 1, kMaxIndentLevels), ' ');
    out_.Write(indent + std::to_string(tid) + Named(tid) + "  (no blocks)\n");
  }

 private:
  static std::string Named(uint16_t tid) {
    const std::string name = Names().Name(tid);
    return name.empty() ? name : ' ' + name;
  }

  void WriteValue(const std::string& indent, uint16_t tid) {
    const ValueInfo value = DescribeValue(session_, tid);
    const Rendering r = RenderValue(session_, value, options_.preview);
    std::string line = indent + Pad(std::to_string(tid) + Named(tid), 22) + ' ' +
                       Pad(LayoutName(value.layout), 11) + ' ' +
                       Pad(std::to_string(value.payload), 6, true) + "  ";
    const std::string form = DefaultForm(tid);
    if (r.number && form[0] == 'f' && value.payload == (form == "f32" ? 4u : 8u)) {
      line += FormatAs(ReadPayload(session_, value), form, value);
    } else if (r.number) {
      line += std::to_string(*r.number);
      if (r.real) line += " (as double: " + FormatReal(*r.real) + ')';
    } else if (r.text) {
      line += '"' + DisplayString(*r.text) + "\" " + r.encoding;
    } else {
      line += SpacedHex(r.bytes);
      if (r.truncated) line += " ...";
    }
    out_.Write(line + '\n');
  }

  Session& session_;
  const TreeOptions& options_;
  Output& out_;
};

}  // namespace

int RunTree(const TreeOptions& options) {
  if (options.json) return RunTreeJson(options);
  Session session = OpenFile(options.file, true);
  Output out("-");
  Outline outline(session, options, out);
  BlockWalk(session).Run(outline);
  out.Commit();
  return kExitOk;
}

}  // namespace kstrn::tool
