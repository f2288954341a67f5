#include "kstrn_walk.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "kstrn_budget.h"
#include "kstrn_failure.h"
#include "kstrn_names.h"

namespace kstrn::tool {
namespace {

// Parses a decimal number of at most max; advances pos.
bool ParseNumber(const std::string& text, std::size_t& pos, uint32_t max, uint32_t& out) {
  const char* begin = text.data() + pos;
  const char* end = text.data() + text.size();
  uint32_t value = 0;
  const auto [ptr, ec] = std::from_chars(begin, end, value);
  if (ec != std::errc() || ptr == begin || value > max) return false;
  pos += static_cast<std::size_t>(ptr - begin);
  out = value;
  return true;
}

}  // namespace

std::string FormatPath(const BlockPath& path) {
  if (path.empty()) return "/";
  std::string out;
  for (const PathStep& step : path) {
    out += '/' + std::to_string(step.tid) + ':' + std::to_string(step.index);
  }
  return out;
}

BlockPath ParsePath(const std::string& text) {
  BlockPath path;
  std::size_t pos = 0;
  const auto bad = [&] {
    return Failure("bad block path '" + text + "' (expected /TID:INDEX/..., such as /23:0/105:2)");
  };
  while (pos < text.size()) {
    if (text[pos] == '/') {
      ++pos;
      continue;
    }
    const std::size_t end = text.find_first_of("/:[", pos);
    const std::string word = text.substr(pos, end - pos);
    pos = end == std::string::npos ? text.size() : end;
    const std::optional<uint16_t> tid = Dictionary().Parse(word);
    if (!tid || *tid == 0 || KSTRN_IsValueID(*tid)) {
      if (tid || word.empty()) throw bad();
      throw Failure("bad block path '" + text + "': '" + word + "' is no item TID or name");
    }
    uint32_t index = 0;
    if (pos < text.size() && (text[pos] == '[' || text[pos] == ':')) {
      const bool bracket = text[pos++] == '[';
      if (!ParseNumber(text, pos, 65534, index)) throw bad();
      if (bracket && (pos >= text.size() || text[pos++] != ']')) throw bad();
    }
    if (pos < text.size() && text[pos] != '/') throw bad();
    path.push_back({*tid, static_cast<uint16_t>(index)});
  }
  return path;
}

void EnterPath(Session& session, const BlockPath& path) {
  session.GotoRoot();
  BlockPath done;
  for (const PathStep& step : path) {
    const uint16_t count = session.ItemCount(step.tid);
    if (count == 0) {
      throw Failure("block " + FormatPath(done) + " has no item " + std::to_string(step.tid));
    }
    if (step.index >= count) {
      throw Failure("item " + std::to_string(step.tid) + " of block " + FormatPath(done) + " has " +
                    std::to_string(count) + " block(s); there is no " +
                    FormatPath({step}).substr(1));
    }
    session.OpenItem(step.tid, step.index);
    done.push_back(step);
  }
}

BlockWalk::Frame BlockWalk::FrameHere() {
  Frame frame;
  frame.tids = session_.ItemTids();
  // Keep the first of repeated TIDs, in order.
  std::vector<uint16_t> unique;
  unique.reserve(frame.tids.size());
  for (const uint16_t tid : frame.tids) {
    if (std::find(unique.begin(), unique.end(), tid) == unique.end()) {
      unique.push_back(tid);
    } else {
      ++skipped_;
    }
  }
  frame.tids = std::move(unique);
  return frame;
}

void BlockWalk::Run(BlockVisitor& visitor) {
  session_.GotoRoot();
  BlockPath path;
  std::vector<Frame> stack;
  if (visitor.Enter(path)) {
    stack.push_back(FrameHere());
  } else {
    visitor.Leave(path);
  }
  while (!stack.empty()) {
    WorkBudget::Check();
    Frame& frame = stack.back();
    if (frame.item == frame.tids.size()) {
      visitor.Leave(path);
      stack.pop_back();
      if (!path.empty()) {
        session_.CloseItem();
        path.pop_back();
      }
      continue;
    }
    const uint16_t tid = frame.tids[frame.item];
    if (!frame.counted) {
      frame.count = session_.ItemCount(tid);
      frame.next = 0;
      frame.counted = true;
      visitor.EnterItem(path, tid, frame.count);
    }
    if (frame.next == frame.count) {
      ++frame.item;
      frame.counted = false;
      visitor.LeaveItem(path, tid);
      continue;
    }
    const uint16_t index = frame.next++;
    session_.OpenItem(tid, index);
    path.push_back({tid, index});
    if (visitor.Enter(path)) {
      stack.push_back(FrameHere());  // frame is invalid from here on
    } else {
      visitor.Leave(path);
      session_.CloseItem();
      path.pop_back();
    }
  }
}

}  // namespace kstrn::tool
