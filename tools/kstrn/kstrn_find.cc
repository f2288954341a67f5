// kstrn find: the paths of the blocks of an item whose key value equals a
// given key, anywhere in the tree. The key is read in the value's display
// form: text for strings, a number for fixed values, hex for the rest.
#include <charconv>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "kstrn_commands.h"
#include "kstrn_display.h"
#include "kstrn_failure.h"
#include "kstrn_names.h"
#include "kstrn_open.h"
#include "kstrn_output.h"
#include "kstrn_search.h"
#include "kstrn_text.h"
#include "kstrn_value.h"
#include "kstrn_walk.h"

namespace kstrn::tool {
namespace {

// The payload a fixed value of width bytes holds when it shows as key.
std::optional<std::vector<uint8_t>> NumberKey(const std::string& key, const std::string& form,
                                              uint32_t width) {
  uint64_t bits = 0;
  const char* end = key.data() + key.size();
  if (form == "f32" || form == "f64") {
    double d = 0;
    const auto [ptr, ec] = std::from_chars(key.data(), end, d);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    if (width == 4) {
      const float f = static_cast<float>(d);
      uint32_t narrow = 0;
      std::memcpy(&narrow, &f, sizeof f);
      bits = narrow;
    } else {
      std::memcpy(&bits, &d, sizeof d);
    }
  } else if (!key.empty() && key[0] == '-') {
    int64_t n = 0;
    const auto [ptr, ec] = std::from_chars(key.data(), end, n);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    if (width < 8 && n < -(int64_t{1} << (8 * width - 1))) return std::nullopt;
    bits = static_cast<uint64_t>(n);
  } else {
    const bool hex = key.size() > 2 && key[0] == '0' && (key[1] == 'x' || key[1] == 'X');
    const auto [ptr, ec] = std::from_chars(key.data() + (hex ? 2 : 0), end, bits, hex ? 16 : 10);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    if (width < 8 && bits >> (8 * width) != 0) return std::nullopt;
  }
  std::vector<uint8_t> payload(width);
  for (uint32_t i = 0; i < width; ++i) payload[i] = static_cast<uint8_t>(bits >> (8 * i));
  return payload;
}

class Finder : public BlockVisitor {
 public:
  Finder(Session& session, const FindOptions& o, const std::function<bool(const BlockPath&)>& found)
      : session_(session), options_(o), found_(found), layout_(LayoutOf(o.keyTid)) {
    const uint32_t width = KSTRN_ValSize(o.keyTid, 0);
    if (layout_ == Layout::kFixed && (width == 1 || width == 2 || width == 4 || width == 8)) {
      const std::string form = DefaultForm(o.keyTid);
      numeric_ = NumberKey(o.key, form, width);
      if (!numeric_) {
        throw Failure("key '" + o.key + "' is not a " + std::to_string(width) +
                      "-byte number (value " + std::to_string(o.keyTid) + " shows as " + form +
                      ")");
      }
    } else if (layout_ != Layout::kString && layout_ != Layout::kLongString) {
      numeric_ = FromHex(o.key);
      if (!numeric_)
        throw Failure("key '" + o.key + "' is not hex (value " + std::to_string(o.keyTid) +
                      " holds bytes)");
    }
  }

  bool Enter(const BlockPath& path) override {
    if (stopped_) return false;
    if (path.empty() || path.back().tid != options_.itemTid || !session_.HasValue(options_.keyTid))
      return true;
    const ValueInfo value = DescribeValue(session_, options_.keyTid);
    const std::vector<uint8_t> payload = ReadPayload(session_, value);
    bool match = false;
    if (numeric_) {
      match = payload == *numeric_;
    } else {
      // Texts compare up to their NUL, as the library compares keys.
      const TextForm form = ClassifyText(payload);
      match = form != TextForm::kNotText
                  ? TextOf(payload, form) == options_.key
                  : std::string(payload.begin(), payload.end()) == options_.key;
    }
    if (match && !found_(path)) stopped_ = true;
    return !stopped_;
  }

 private:
  Session& session_;
  const FindOptions& options_;
  const std::function<bool(const BlockPath&)>& found_;
  bool stopped_ = false;
  Layout layout_;
  std::optional<std::vector<uint8_t>> numeric_;
};

}  // namespace

void FindBlocks(Session& session, const FindOptions& options,
                const std::function<bool(const BlockPath&)>& found) {
  Finder finder(session, options, found);
  BlockWalk(session).Run(finder);
}

int RunFind(const FindOptions& options) {
  Session session = OpenFile(options.file, true);
  Output out("-");
  uint64_t found = 0;
  FindBlocks(session, options, [&](const BlockPath& path) {
    ++found;
    out.Write(FormatPath(path) + '\n');
    return true;
  });
  out.Commit();
  return found != 0 ? kExitOk : kExitCheckFailed;
}

}  // namespace kstrn::tool
