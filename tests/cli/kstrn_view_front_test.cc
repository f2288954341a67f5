// kstrn view's judgement of request heads before the token is looked at, and
// the byte budget of its bucket indexes. The attacks over real connections
// are in tests/view/view_limits_test.py.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "kstrn_budget.h"
#include "view_bucket_cache.h"
#include "view_head.h"

namespace kestron4::cli {
namespace {

using kstrn::tool::BucketCache;
using kstrn::tool::BucketIndex;
using kstrn::tool::BudgetSpent;
using kstrn::tool::HostRule;
using kstrn::tool::WorkBudget;

HostRule Loopback() { return HostRule{{"127.0.0.1:8080", "localhost:8080"}, "8080", false}; }

TEST(ViewHead, EachHeadIsAcceptedOrRefusedWithItsStatus) {
  const std::string get = "GET /api/info HTTP/1.1\r\n";
  struct Case {
    std::string head;
    int status;
  };
  std::string many = get + "Host: 127.0.0.1:8080\r\n";
  for (int i = 0; i < 62; ++i) many += "X-" + std::to_string(i) + ": 1\r\n";
  const std::vector<Case> cases{
      {get + "Host: 127.0.0.1:8080\r\n\r\n", 0},
      {get + "host:LOCALHOST:8080  \r\nAccept: */*\r\n\r\n", 0},
      {get + "Host: 127.0.0.1:8080\r\nContent-Length: 0\r\n\r\n", 0},
      {"HEAD / HTTP/1.0\r\nHost: 127.0.0.1:8080\r\n\r\n", 0},
      {many + "\r\n", 0},  // 64 lines
      {many + "X-last: 1\r\n\r\n", 431},
      {get + "Host: 127.0.0.1:8080\r\nContent-Length: 5\r\n\r\n", 413},
      {get + "Host: 127.0.0.1:8080\r\nContent-Length: 00\r\n\r\n", 413},
      {get + "Host: 127.0.0.1:8080\r\nTransfer-Encoding: chunked\r\n\r\n", 413},
      {get + "Host: 127.0.0.1:8081\r\n\r\n", 403},
      {get + "Host: evil.example\r\n\r\n", 403},
      {get + "\r\n", 403},
      {get + "Host: 127.0.0.1:8080\r\nHost: 127.0.0.1:8080\r\n\r\n", 403},
      {get + "Host: 127.0.0.1:8080\r\n folded\r\n\r\n", 400},
      {get + "Host: 127.0.0.1:8080\r\nNo colon\r\n\r\n", 400},
      {get + "Host: 127.0.0.1:8080\r\nBad\nName: x\r\n\r\n", 400},
      {"GET /a b HTTP/1.1\r\nHost: 127.0.0.1:8080\r\n\r\n", 400},
      {"GET /a HTTP/2\r\nHost: 127.0.0.1:8080\r\n\r\n", 400},
      {"GET  HTTP/1.1\r\nHost: 127.0.0.1:8080\r\n\r\n", 400},
      {"G(T / HTTP/1.1\r\nHost: 127.0.0.1:8080\r\n\r\n", 400},
      {"GET /\tx HTTP/1.1\r\nHost: 127.0.0.1:8080\r\n\r\n", 400},
  };
  for (const Case& c : cases) {
    std::string head = c.head;
    EXPECT_EQ(kstrn::tool::JudgeHead(head, Loopback()).status, c.status) << c.head;
  }
}

TEST(ViewHead, RangesAreRemovedSoThatEveryAnswerIsWhole) {
  std::string head =
      "GET / HTTP/1.1\r\nRange: bytes=0-,0-,0-\r\nHost: 127.0.0.1:8080\r\nrange: bytes=1-2\r\n"
      "Accept: */*\r\n\r\n";
  ASSERT_EQ(kstrn::tool::JudgeHead(head, Loopback()).status, 0);
  EXPECT_EQ(head, "GET / HTTP/1.1\r\nHost: 127.0.0.1:8080\r\nAccept: */*\r\n\r\n");
}

TEST(ViewHead, OnEveryAddressOnlyNumericHostsWithThePortAreServed) {
  const HostRule any{{"0.0.0.0:80"}, "80", true};
  for (const char* host : {"0.0.0.0:80", "192.168.1.7:80", "[fe80::1]:80", "10.0.0.1:80"})
    EXPECT_TRUE(any.Allows(host)) << host;
  for (const char* host : {"evil.example:80", "192.168.1.7:81", "192.168.1.7", "1.2.3.4.evil:80",
                           ":80", "localhost:80"})
    EXPECT_FALSE(any.Allows(host)) << host;
  EXPECT_FALSE(Loopback().Allows("10.0.0.1:8080"));
}

TEST(ViewHead, TheEndOfAHeadIsFoundAcrossPieces) {
  const std::string head = "GET / HTTP/1.1\r\nHost: a\r\n\r\nNEXT";
  std::size_t from = 0;
  std::size_t found = std::string::npos;
  for (std::size_t size = 1; size <= head.size() && found == std::string::npos; ++size) {
    found = kstrn::tool::HeadEnd(std::string_view(head).substr(0, size), from);
    from = size < 3 ? 0 : size - 3;
  }
  EXPECT_EQ(found, head.size() - 4);
  EXPECT_EQ(kstrn::tool::HeadEnd("GET / HTTP/1.1\n\n", 0), std::string::npos);
}

TEST(ViewHead, ARefusalClosesAndCarriesTheSecurityHeaders) {
  const std::string answer = kstrn::tool::RefusalAnswer(431, "too big");
  EXPECT_EQ(answer.rfind("HTTP/1.1 431 ", 0), 0u);
  EXPECT_NE(answer.find("Connection: close\r\n"), std::string::npos);
  for (const auto& [name, value] : kstrn::tool::ViewSecurityHeaders())
    EXPECT_NE(answer.find(name + ": " + value + "\r\n"), std::string::npos) << name;
  EXPECT_EQ(answer.substr(answer.size() - 12), "431 too big\n");
}

TEST(ViewBucketCache, TheLeastRecentlyUsedIndexesGoOnceOverTheBudget) {
  // Channels of 262,144 samples: summaries of 1,024 runs, 8 KB each.
  const uint64_t samples = 1 << 18;
  const kstrn::tool::SampleReader zeros = [](uint64_t, uint64_t count,
                                             std::vector<uint32_t>& out) { out.assign(count, 0); };
  std::size_t one = 0;
  {
    BucketIndex index(samples);
    index.Query(0, samples, 10, zeros);
    one = index.Bytes();
  }
  ASSERT_GT(one, 8192u);
  BucketCache cache(3 * one);
  std::vector<std::size_t> made;
  auto plot = [&](std::size_t channel) {
    cache.With(
        channel,
        [&] {
          made.push_back(channel);
          return std::make_unique<BucketIndex>(samples);
        },
        [&](BucketIndex& index) { index.Query(0, samples, 10, zeros); });
  };
  for (const std::size_t channel : {0, 1, 2, 0, 3, 0, 1})
    plot(channel);
  // 3 pushes out 1 (least recent); 1 again pushes out 2.
  EXPECT_EQ(made, (std::vector<std::size_t>{0, 1, 2, 3, 1}));
  EXPECT_EQ(cache.Size(), 3u);
  EXPECT_LE(cache.Bytes(), 3 * one);
  for (std::size_t channel = 10; channel < 40; ++channel) plot(channel);
  EXPECT_LE(cache.Bytes(), 3 * one);
}

TEST(ViewBudget, AnAnswerStopsAtItsDeadlineOrWhenTheServerStops) {
  std::atomic<bool> stop{false};
  EXPECT_NO_THROW(WorkBudget::Check());  // the command line sets none
  {
    const WorkBudget answer(std::chrono::hours(1), &stop);
    EXPECT_NO_THROW(WorkBudget::Check());
    {
      const WorkBudget spent(std::chrono::seconds(0), nullptr);
      EXPECT_THROW(WorkBudget::Check(), BudgetSpent);
    }
    EXPECT_NO_THROW(WorkBudget::Check());
    stop = true;
    EXPECT_THROW(WorkBudget::Check(), BudgetSpent);
  }
  EXPECT_NO_THROW(WorkBudget::Check());
}

}  // namespace
}  // namespace kestron4::cli
