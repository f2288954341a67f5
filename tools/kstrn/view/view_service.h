// The request handling of kstrn view, apart from any HTTP library: a request
// comes in as its method, path, query parameters and token header and leaves
// as a status, a content type and a body. Every request must carry the
// session's token (query parameter "token" or header X-Kstrn-Token), else
// 403; only GET and HEAD of the page's own files and of /api/ are answered,
// over the one file, which is opened streamed and never written. Handle may be
// called on several threads at once: each /api/ request reads through a
// session of its own, within a time budget.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kestron4/kestron4.hpp"
#include "recording/recording.h"
#include "view_bucket_cache.h"
#include "view_session_pool.h"

namespace kstrn::tool {

struct ViewRequest {
  std::string method = "GET";
  std::string path;
  std::map<std::string, std::string> params;
  std::string tokenHeader;
};

struct ViewReply {
  int status = 200;
  std::string type = "application/json";
  std::string body;
};

// Bounds of what one request may ask for.
inline constexpr uint32_t kViewMaxBytes = 4096;          // of a byte page
inline constexpr uint32_t kViewMaxValueBytes = 1 << 20;  // of a value shown whole
inline constexpr uint32_t kViewMaxChildren = 500;        // blocks listed at once
inline constexpr uint32_t kViewMaxFound = 1000;          // find results, check problems
inline constexpr unsigned kViewSessions = 4;             // /api/ requests answered at once
// Of one /api/ answer's work, and of its wait for a session; past it the
// answer is 503 with the reason.
inline constexpr std::chrono::seconds kViewAnswerTime{10};

class ViewService {
 public:
  // Opens file streamed; a file that cannot be opened leaves the service
  // answering every API request with the reason (status 422).
  ViewService(std::string file, std::string token, unsigned sessions = kViewSessions);
  ~ViewService();

  ViewReply Handle(const ViewRequest& request);
  // Makes the answers in progress and those to come end at once (503).
  void Stop() { stopping_ = true; }
  const std::string& Token() const { return token_; }
  // Why the file did not open; empty when it did.
  const std::string& OpenError() const { return openError_; }

 private:
  using Params = std::map<std::string, std::string>;
  std::string Route(Session& s, const std::string& path, const Params& params);
  std::string Info(Session& s);
  std::string Block(Session& s, const Params& params);
  std::string Children(Session& s, const Params& params);
  std::string Value(Session& s, const Params& params);
  std::string Bytes(Session& s, const Params& params);
  std::string Resolve(Session& s, const Params& params);
  std::string Find(Session& s, const Params& params);
  std::string Check(Session& s);
  std::string Channels(Session& s);
  std::string BucketsOf(Session& s, const Params& params);
  // The recording model read through session s; empty when the file has none.
  const recording::Recording& RecordingOf(Session& s);
  const std::vector<recording::Channel>& ChannelList(Session& s);

  std::string file_;
  std::string token_;
  std::unique_ptr<SessionPool> sessions_;
  std::string openError_;
  std::atomic<bool> stopping_{false};
  std::mutex recordingsMutex_;
  std::map<const Session*, recording::Recording> recordings_;  // per pooled session
  BucketCache buckets_;
};

// 32 hex digits from the system's random source.
std::string NewToken();

}  // namespace kstrn::tool
