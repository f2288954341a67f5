// The request handling of kstrn view, apart from any HTTP library: a request
// comes in as its method, path, query parameters and token header and leaves
// as a status, a content type and a body. Every request must carry the
// session's token (query parameter "token" or header X-Kstrn-Token), else
// 403; only GET and HEAD of the page's own files and of /api/ are answered,
// over the one file, which is opened streamed and never written.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kestron4/kestron4.hpp"
#include "view_buckets.h"
#include "recording/recording.h"

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

class ViewService {
 public:
  // Opens file streamed; a file that cannot be opened leaves the service
  // answering every API request with the reason (status 422).
  ViewService(std::string file, std::string token);
  ~ViewService();

  ViewReply Handle(const ViewRequest& request);
  const std::string& Token() const { return token_; }
  // Why the file did not open; empty when it did.
  const std::string& OpenError() const { return openError_; }

 private:
  using Params = std::map<std::string, std::string>;
  std::string Route(const std::string& path, const Params& params);
  std::string Info();
  std::string Block(const Params& params);
  std::string Children(const Params& params);
  std::string Value(const Params& params);
  std::string Bytes(const Params& params);
  std::string Resolve(const Params& params);
  std::string Find(const Params& params);
  std::string Check();
  std::string Channels();
  std::string BucketsOf(const Params& params);
  // The channels of the file's recording; none when it has none.
  const std::vector<recording::Channel>& ChannelList();
  BucketIndex& IndexOf(std::size_t channel);

  std::string file_;
  std::string token_;
  std::optional<Session> session_;
  std::string openError_;
  std::mutex mutex_;  // the session has one cursor: one request at a time
  std::optional<recording::Recording> recording_;
  std::map<std::size_t, std::unique_ptr<BucketIndex>> indexes_;
};

// 32 hex digits from the system's random source.
std::string NewToken();

}  // namespace kstrn::tool
