// The JSON answers of kstrn view's /api/ requests about the tree: blocks and
// their values as kstrn get shows them, byte pages of blobs, path resolution,
// find and check.
#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "kstrn_budget.h"
#include "kstrn_display.h"
#include "kstrn_failure.h"
#include "kstrn_names.h"
#include "kstrn_search.h"
#include "kstrn_text.h"
#include "kstrn_value.h"
#include "kstrn_walk.h"
#include "view_params.h"
#include "view_service.h"

namespace kstrn::tool {
namespace {

constexpr uint16_t kReference = 112, kRefNumber = 1052, kName = 1002, kBlob = 1063;
constexpr uint32_t kShownBytes = 512;  // values longer than this are shown as a byte page
constexpr uint32_t kLabelBytes = 64;   // of a block's name in a listing

BlockPath Enter(Session& session, const Params& params) {
  BlockPath path = ParsePath(Param(params, "path"));
  EnterPath(session, path);
  return path;
}

ValueInfo ValueAt(Session& session, const Params& params, BlockPath& path) {
  path = Enter(session, params);
  const uint16_t tid = TidParam(params, "tid", true);
  if (!session.HasValue(tid))
    throw Failure("block " + FormatPath(path) + " has no value " + std::to_string(tid));
  return DescribeValue(session, tid);
}

Json Named(uint16_t tid) {
  Json json{{"tid", tid}};
  const std::string name = ShownName(tid);
  if (!name.empty()) json["name"] = name;
  return json;
}

// The path of the cursor's block, found by climbing to the root.
BlockPath Here(Session& session) {
  BlockPath path;
  while (const std::optional<Session::Position> parent = session.Parent()) {
    path.push_back({parent->tid, static_cast<uint16_t>(parent->index)});
    session.CloseItem();
  }
  std::reverse(path.begin(), path.end());
  EnterPath(session, path);
  return path;
}

// Where reference block index of the block at path leads: {"target": path}
// or {"error": why}.
Json Follow(Session& session, const BlockPath& path, uint16_t index) {
  EnterPath(session, path);
  session.OpenItem(kReference, index);
  const ValueInfo number =
      session.HasValue(kRefNumber) ? DescribeValue(session, kRefNumber) : ValueInfo{};
  std::optional<uint64_t> n;
  if (number.stored == 2) n = NumberOf(number, ReadPayload(session, number, 2));
  Json json{{"index", index}};
  EnterPath(session, path);
  if (!n) {
    json["error"] = "no number (value 1052)";
    return json;
  }
  json["number"] = *n;
  if (!KSTRN_GotoReference(static_cast<uint16_t>(*n), session.handle())) {
    json["error"] = std::string("does not resolve: ") + KSTRN_GetLastEEStr();
  } else {
    json["target"] = FormatPath(Here(session));
  }
  EnterPath(session, path);
  return json;
}

Json Shown(const Session& session, const ValueInfo& value) {
  Json json = Named(value.tid);
  json["layout"] = LayoutName(value.layout);
  json["bytes"] = value.payload;
  json["form"] = DefaultForm(value.tid);
  if (value.payload > kShownBytes || value.tid == kBlob) {
    json["large"] = true;
    return json;
  }
  const std::vector<uint8_t> payload = ReadPayload(session, value);
  const TextForm text = ClassifyText(payload);
  if (text != TextForm::kNotText) json["encoding"] = text == TextForm::kUtf8 ? "utf8" : "ansi";
  try {
    json["shown"] = ShowDefault(payload, value);
  } catch (const Failure& e) {
    json["shown"] = Hex(payload.data(), payload.size());
    json["note"] = e.what();
  }
  return json;
}

std::string Label(const Session& session) {
  if (!session.HasValue(kName)) return std::string();
  const ValueInfo value = DescribeValue(session, kName);
  const std::vector<uint8_t> payload = ReadPayload(session, value, kLabelBytes + 2);
  const TextForm form = ClassifyText(payload);
  return form == TextForm::kNotText ? std::string() : TextOf(payload, form);
}

}  // namespace

std::string ViewService::Info(Session& s) {
  Json json{{"file", ToValidUtf8(file_)}};
  // A damaged recording must not keep the tree from showing.
  try {
    json["channels"] = ChannelList(s).size();
  } catch (const std::exception& e) {
    json["channelError"] = e.what();
  }
  s.GotoRoot();
  json["rootItems"] = s.ItemTids().size();
  json["rootValues"] = s.ValueTids().size();
  return Dump(json);
}

std::string ViewService::Block(Session& s, const Params& params) {
  const BlockPath path = Enter(s, params);
  Json json{{"path", FormatPath(path)}};
  if (!path.empty()) {
    json["item"] = Named(path.back().tid);
    json["index"] = path.back().index;
    json["parent"] = FormatPath(BlockPath(path.begin(), path.end() - 1));
  }
  Json values = Json::array();
  // A block may hold tens of thousands of entries: each step counts
  // against the answer's budget.
  for (const uint16_t tid : s.ValueTids()) {
    WorkBudget::Check();
    values.push_back(Shown(s, DescribeValue(s, tid)));
  }
  json["values"] = std::move(values);
  Json items = Json::array();
  const std::vector<uint16_t> tids = s.ItemTids();
  for (const uint16_t tid : tids) {
    WorkBudget::Check();
    Json item = Named(tid);
    item["count"] = s.ItemCount(tid);
    items.push_back(std::move(item));
  }
  json["items"] = std::move(items);
  if (std::find(tids.begin(), tids.end(), kReference) != tids.end()) {
    Json refs = Json::array();
    const uint16_t count = std::min<uint16_t>(s.ItemCount(kReference), kViewMaxChildren);
    for (uint16_t i = 0; i < count; ++i) {
      WorkBudget::Check();
      refs.push_back(Follow(s, path, i));
    }
    json["references"] = std::move(refs);
  }
  if (!path.empty() && path.back().tid == kReference) {
    const BlockPath parent(path.begin(), path.end() - 1);
    json["follow"] = Follow(s, parent, path.back().index);
  }
  return Dump(json);
}

std::string ViewService::Children(Session& s, const Params& params) {
  const BlockPath path = Enter(s, params);
  const uint16_t tid = TidParam(params, "tid", false);
  const uint16_t count = s.ItemCount(tid);
  const uint64_t from = Unsigned(params, "from", 0, UINT16_MAX);
  const uint64_t n = Unsigned(params, "count", kViewMaxChildren, kViewMaxChildren);
  Json blocks = Json::array();
  for (uint64_t i = from; i < count && i < from + n; ++i) {
    WorkBudget::Check();
    s.OpenItem(tid, static_cast<int32_t>(i));
    Json block{{"index", i},
               {"path", FormatPath([&] {
                  BlockPath p = path;
                  p.push_back({tid, static_cast<uint16_t>(i)});
                  return p;
                }())},
               {"values", s.ValueTids().size()},
               {"items", s.ItemTids().size()}};
    const std::string label = Label(s);
    if (!label.empty()) block["label"] = label;
    blocks.push_back(std::move(block));
    s.CloseItem();
  }
  return Dump(Json{{"count", count}, {"from", from}, {"blocks", std::move(blocks)}});
}

std::string ViewService::Value(Session& s, const Params& params) {
  BlockPath path;
  const ValueInfo value = ValueAt(s, params, path);
  if (value.payload > kViewMaxValueBytes)
    throw Failure("value of " + std::to_string(value.payload) + " bytes: open it as bytes");
  const std::vector<uint8_t> payload = ReadPayload(s, value);
  const auto as = params.find("as");
  const std::string form = as == params.end() ? DefaultForm(value.tid) : as->second;
  return Dump(Json{{"path", FormatPath(path)},
                   {"tid", value.tid},
                   {"shown", as == params.end() ? ShowDefault(payload, value)
                                                : FormatAs(payload, form, value)}});
}

std::string ViewService::Bytes(Session& s, const Params& params) {
  BlockPath path;
  const ValueInfo value = ValueAt(s, params, path);
  const uint64_t offset = Unsigned(params, "offset", 0, UINT32_MAX);
  const uint64_t count = Unsigned(params, "count", 1024, kViewMaxBytes);
  const uint32_t start = static_cast<uint32_t>(std::min<uint64_t>(offset, value.payload));
  const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(count, value.payload - start));
  std::vector<uint8_t> bytes(n);
  if (n != 0)
    s.ReadStored(value.handle, value.stored - value.payload + start, bytes.data(), n);
  return Dump(Json{{"path", FormatPath(path)},
                   {"tid", value.tid},
                   {"total", value.payload},
                   {"offset", start},
                   {"hex", Hex(bytes.data(), bytes.size())}});
}

std::string ViewService::Resolve(Session& s, const Params& params) {
  const BlockPath path = Enter(s, params);
  Json steps = Json::array();
  for (std::size_t i = 0; i <= path.size(); ++i)
    steps.push_back(FormatPath(BlockPath(path.begin(), path.begin() + static_cast<long>(i))));
  return Dump(Json{{"path", FormatPath(path)}, {"steps", std::move(steps)}});
}

std::string ViewService::Find(Session& s, const Params& params) {
  FindOptions options;
  options.itemTid = TidParam(params, "item", false);
  options.keyTid = TidParam(params, "keytid", true);
  options.key = Param(params, "key");
  Json paths = Json::array();
  bool more = false;
  FindBlocks(s, options, [&](const BlockPath& path) {
    if (paths.size() == kViewMaxFound) return !(more = true);
    paths.push_back(FormatPath(path));
    return true;
  });
  return Dump(Json{{"paths", std::move(paths)}, {"more", more}});
}

std::string ViewService::Check(Session& s) {
  Json problems = Json::array();
  uint64_t total = 0;
  const uint64_t references =
      CheckFile(s, [&](const BlockPath* path, const std::string& what) {
        if (++total > kViewMaxFound) return;
        Json problem{{"what", what}};
        if (path != nullptr) problem["path"] = FormatPath(*path);
        problems.push_back(std::move(problem));
      });
  return Dump(
      Json{{"references", references}, {"total", total}, {"problems", std::move(problems)}});
}

}  // namespace kstrn::tool
