// Authentication, routing and error replies of kstrn view.
#include "view_service.h"

#include <cstdio>
#include <exception>

#include "kstrn_budget.h"
#include "kstrn_text.h"
#include "storage/platform/platform.h"
#include "view_assets.h"

namespace kstrn::tool {
namespace {

// Compares in time that does not depend on where the texts first differ.
bool SameToken(const std::string& given, const std::string& token) {
  if (given.size() != token.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < token.size(); ++i)
    diff |= static_cast<unsigned char>(given[i] ^ token[i]);
  return diff == 0;
}

std::string ErrorJson(const std::string& what) {
  return "{\"error\":" + JsonString(ToValidUtf8(what)) + "}";
}

ViewReply Plain(int status, const std::string& text) {
  return ViewReply{status, "text/plain; charset=utf-8", text + "\n"};
}

}  // namespace

std::string NewToken() {
  unsigned char bytes[16];
  if (!kestron4::CurrentPlatform().RandomBytes(bytes, sizeof bytes))
    throw std::runtime_error("no random bytes from the system for the access token");
  return Hex(bytes, sizeof bytes);
}

ViewService::ViewService(std::string file, std::string token, unsigned sessions)
    : file_(std::move(file)), token_(std::move(token)) {
  try {
    sessions_ = std::make_unique<SessionPool>(file_, sessions);
  } catch (const std::exception& e) {
    openError_ = e.what();
  }
}

ViewService::~ViewService() = default;

ViewReply ViewService::Handle(const ViewRequest& request) {
  const auto query = request.params.find("token");
  const std::string& given = request.tokenHeader.empty() && query != request.params.end()
                                 ? query->second
                                 : request.tokenHeader;
  if (!SameToken(given, token_)) return Plain(403, "403 forbidden: the address needs its token");
  if (request.method != "GET" && request.method != "HEAD")
    return Plain(405, "405 method not allowed: the view is read-only");
  if (request.path.rfind("/api/", 0) != 0) {
    const ViewAsset* asset = FindViewAsset(request.path == "/" ? "/index.html" : request.path);
    if (asset == nullptr) return Plain(404, "404 not found");
    ViewReply reply{200, std::string(asset->type) + "; charset=utf-8", std::string(asset->bytes)};
    if (asset->name == "/index.html") {
      // The page's own files are asked for with the token too.
      for (std::size_t at = 0; (at = reply.body.find("__TOKEN__", at)) != std::string::npos;)
        reply.body.replace(at, 9, token_);
    }
    return reply;
  }
  if (!sessions_) return ViewReply{422, "application/json", ErrorJson(openError_)};
  const WorkBudget budget(kViewAnswerTime, &stopping_);
  const SessionPool::Lease session = sessions_->Borrow(kViewAnswerTime, stopping_);
  if (!session)
    return ViewReply{503, "application/json", ErrorJson("busy: every reader is answering")};
  try {
    std::string body = Route(*session, request.path.substr(5), request.params);
    if (body.empty()) return ViewReply{404, "application/json", ErrorJson("no such request")};
    return ViewReply{200, "application/json", std::move(body)};
  } catch (const BudgetSpent& e) {
    return ViewReply{503, "application/json", ErrorJson(e.what())};
  } catch (const std::bad_alloc&) {
    return ViewReply{500, "application/json", ErrorJson("out of memory")};
  } catch (const std::exception& e) {
    return ViewReply{400, "application/json", ErrorJson(e.what())};
  }
}

std::string ViewService::Route(Session& s, const std::string& path, const Params& params) {
  if (path == "info") return Info(s);
  if (path == "block") return Block(s, params);
  if (path == "children") return Children(s, params);
  if (path == "value") return Value(s, params);
  if (path == "bytes") return Bytes(s, params);
  if (path == "resolve") return Resolve(s, params);
  if (path == "find") return Find(s, params);
  if (path == "check") return Check(s);
  if (path == "channels") return Channels(s);
  if (path == "buckets") return BucketsOf(s, params);
  return std::string();
}

}  // namespace kstrn::tool
