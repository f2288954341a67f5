// kstrn view's request handling, without HTTP: the token, the bounds of what
// a request may ask for, min/max buckets against a plain scan, the channels
// of a recording with a table, and damaged files answered with errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>
#include <random>

#include "cli/kstrn_harness.h"
#include "support/scratch_dir.h"
#include "view_buckets.h"
#include "recording/table_scaling.h"
#include "view_service.h"

namespace kestron4::cli {
namespace {

using kstrn::tool::BucketIndex;
using kstrn::tool::ViewReply;
using kstrn::tool::ViewRequest;
using kstrn::tool::ViewService;
using Json = nlohmann::json;

const std::string kToken = "0123456789abcdef0123456789abcdef";

void Put(kstrn::Session& s, uint16_t tid, uint64_t bits) {
  std::vector<uint8_t> bytes(KSTRN_ValSize(tid, 0));
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
  s.InsertValue(tid, bytes);
}

void PutReal(kstrn::Session& s, uint16_t tid, double real) {
  uint64_t bits = 0;
  std::memcpy(&bits, &real, sizeof bits);
  Put(s, tid, bits);
}

// A logger block with one channel of 16-bit samples every 10 ms, named "Oil",
// scaled by a table mapping raw 0..1000 to 0..10 (and a stray point without
// its x, which sorts first and maps raw 0 too).
std::vector<uint16_t> BuildRecording(kstrn::Session& s, std::size_t count) {
  std::vector<uint16_t> samples(count);
  std::mt19937 random(7);
  for (uint16_t& v : samples) v = static_cast<uint16_t>(random() % 1001);
  s.InsertItemBlocks(2, 1);
  s.OpenItem(2, 0);
  s.InsertItemBlocks(102, 1);
  s.OpenItem(102, 0);
  s.InsertText(1002, "Oil table");
  s.InsertItemBlocks(108, 2);
  s.OpenItem(108, 0);
  Put(s, 1025, 1000);
  PutReal(s, 1031, 10.0);
  s.GotoItem(1);
  Put(s, 1025, 0);
  PutReal(s, 1031, 0.0);
  s.CloseItem();
  const uint32_t table = s.AddBookmark();
  s.CloseItem();
  s.InsertItemBlocks(133, 1);
  s.OpenItem(133, 0);
  Put(s, 1050, 3);
  Put(s, 1010, 0);
  s.CloseItem();
  s.InsertItemBlocks(135, 1);
  s.OpenItem(135, 0);
  s.InsertText(1002, "Analogue 1");
  std::vector<uint8_t> blob(count * 2);
  std::memcpy(blob.data(), samples.data(), blob.size());
  s.InsertData(blob);
  s.CloseItem();
  s.InsertItemBlocks(107, 1);
  s.OpenItem(107, 0);
  s.InsertText(1002, "Oil <b>");
  s.CreateReference(table, 65, 1002);
  s.CloseItem();
  s.CloseItem();
  return samples;
}

class ViewTest : public ::testing::Test {
 protected:
  ViewReply Get(ViewService& service, const std::string& path,
                std::map<std::string, std::string> params = {}) {
    ViewRequest request;
    request.path = path;
    request.params = std::move(params);
    request.tokenHeader = kToken;
    return service.Handle(request);
  }
  Json GetJson(ViewService& service, const std::string& path,
               std::map<std::string, std::string> params = {}) {
    const ViewReply reply = Get(service, path, std::move(params));
    EXPECT_EQ(reply.status, 200) << path << ": " << reply.body;
    return Json::parse(reply.body);
  }
  ScratchDir dir_;
};

TEST_F(ViewTest, EveryRequestNeedsTheTokenAndOnlyReadsThePageAndTheFile) {
  const std::string file =
      SaveBuilt(dir_.File("r.kst"), [](kstrn::Session& s) { BuildRecording(s, 10); });
  ViewService service(file, kToken);
  ViewRequest request;
  for (const std::string path : {"/", "/view.js", "/api/info", "/api/block", "/etc/passwd"}) {
    request.path = path;
    request.tokenHeader.clear();
    request.params.clear();
    EXPECT_EQ(service.Handle(request).status, 403) << path;
    request.tokenHeader = kToken.substr(0, 31) + "0";
    EXPECT_EQ(service.Handle(request).status, 403) << path;
    request.tokenHeader.clear();
    request.params["token"] = kToken + "0";
    EXPECT_EQ(service.Handle(request).status, 403) << path;
  }
  request.path = "/";
  request.params["token"] = kToken;
  const ViewReply page = service.Handle(request);
  EXPECT_EQ(page.status, 200);
  EXPECT_NE(page.body.find("view.js?token=" + kToken), std::string::npos);
  request.method = "POST";
  EXPECT_EQ(service.Handle(request).status, 405);
  EXPECT_EQ(Get(service, "/../r.kst").status, 404);
  EXPECT_EQ(Get(service, "/api/write").status, 404);
  EXPECT_EQ(Get(service, "/uPlot.iife.min.js").status, 200);
}

TEST_F(ViewTest, RequestsAreBoundedAndBadOnesAnsweredWithTheirReason) {
  const std::string file =
      SaveBuilt(dir_.File("r.kst"), [](kstrn::Session& s) { BuildRecording(s, 5000); });
  ViewService service(file, kToken);
  const std::map<std::string, std::string> blob{{"path", "/2:0/135:0"}, {"tid", "1063"}};
  auto with = [&](std::map<std::string, std::string> p, const char* k, const char* v) {
    p[k] = v;
    return p;
  };
  const Json page =
      GetJson(service, "/api/bytes", with(with(blob, "offset", "9990"), "count", "4096"));
  EXPECT_EQ(page["total"], 10000);
  EXPECT_EQ(page["hex"].get<std::string>().size(), 20u);  // clipped at the end
  for (const auto& [path, params] :
       std::vector<std::pair<std::string, std::map<std::string, std::string>>>{
           {"/api/bytes", with(blob, "count", "4097")},
           {"/api/bytes", with(blob, "offset", "-1")},
           {"/api/block", {{"path", "/2:0/135:7"}}},
           {"/api/block", {{"path", "/2:0/x"}}},
           {"/api/block", {}},
           {"/api/children", {{"path", "/2:0"}, {"tid", "135"}, {"count", "501"}}},
           {"/api/buckets", {{"ch", "0"}, {"from", "0"}, {"to", "1e9"}, {"n", "4097"}}},
           {"/api/buckets", {{"ch", "1"}, {"from", "0"}, {"to", "10"}}},
           {"/api/buckets", {{"ch", "0"}, {"from", "nan"}, {"to", "10"}}},
           {"/api/find", {{"item", "107"}, {"keytid", "1063"}, {"key", "zz"}}}}) {
    const ViewReply reply = Get(service, path, params);
    EXPECT_EQ(reply.status, 400) << path << " " << reply.body;
    EXPECT_TRUE(Json::parse(reply.body).contains("error"));
  }
  // A window past the end holds only the samples there are.
  const Json all = GetJson(service, "/api/buckets",
                           {{"ch", "0"}, {"from", "-5"}, {"to", "1e12"}, {"n", "4096"}});
  EXPECT_EQ(all["begin"], 0);
  EXPECT_EQ(all["end"], 5000);
  EXPECT_EQ(all["min"].size(), 4096u);
}

TEST_F(ViewTest, BucketsHoldTheMinimumAndMaximumOfTheirSamples) {
  std::vector<uint32_t> samples(300000);
  std::mt19937 random(3);
  for (uint32_t& v : samples) v = random() % 65536;
  samples[123457] = 70000;  // one spike inside a run
  BucketIndex index(samples.size());
  const kstrn::tool::SampleReader reader = [&](uint64_t first, uint64_t count,
                                               std::vector<uint32_t>& out) {
    ASSERT_LE(first + count, samples.size());
    out.assign(samples.begin() + static_cast<long>(first),
               samples.begin() + static_cast<long>(first + count));
  };
  struct Query {
    uint64_t begin, end;
    uint32_t n;
  };
  for (const Query q : {Query{0, 300000, 1000}, Query{123000, 124000, 7}, Query{5, 9, 100},
                        Query{1, 299999, 4096}, Query{0, 300000, 1}, Query{77, 78, 3}}) {
    const kstrn::tool::Buckets b = index.Query(q.begin, q.end, q.n, reader);
    ASSERT_EQ(b.min.size(), std::min<uint64_t>(q.n, q.end - q.begin));
    ASSERT_EQ(b.first.front(), q.begin);
    ASSERT_EQ(b.first.back(), q.end);
    for (std::size_t i = 0; i < b.min.size(); ++i) {
      const auto from = samples.begin() + static_cast<long>(b.first[i]);
      const auto to = samples.begin() + static_cast<long>(b.first[i + 1]);
      ASSERT_LT(b.first[i], b.first[i + 1]);
      EXPECT_EQ(b.min[i], *std::min_element(from, to)) << i;
      EXPECT_EQ(b.max[i], *std::max_element(from, to)) << i;
    }
  }
  // Once summarised, a wide query reads only the partial runs at bucket edges.
  const uint64_t before = index.SamplesRead();
  index.Query(1000, 299000, 100, reader);
  EXPECT_LE(index.SamplesRead() - before, 2 * 100 * index.Chunk());
  EXPECT_TRUE(index.Query(10, 10, 5, reader).min.empty());
}

TEST_F(ViewTest, ARecordingShowsItsChannelsInPhysicalUnitsThroughItsTable) {
  std::vector<uint16_t> samples;
  const std::string file =
      SaveBuilt(dir_.File("r.kst"), [&](kstrn::Session& s) { samples = BuildRecording(s, 20000); });
  ViewService service(file, kToken);
  const Json channels = GetJson(service, "/api/channels")["channels"];
  ASSERT_EQ(channels.size(), 1u);
  EXPECT_EQ(channels[0]["name"], "Oil <b>");
  EXPECT_EQ(channels[0]["source"], "Analogue 1");
  EXPECT_EQ(channels[0]["periodMs"], 10);
  EXPECT_EQ(channels[0]["samples"], 20000);
  EXPECT_EQ(channels[0]["scaling"], "table");
  EXPECT_EQ(channels[0]["physical"], true);
  // 1 s .. 2 s: samples 100..200, five buckets of 20.
  const Json b =
      GetJson(service, "/api/buckets", {{"ch", "0"}, {"from", "1000"}, {"to", "1999"}, {"n", "5"}});
  EXPECT_EQ(b["begin"], 100);
  EXPECT_EQ(b["end"], 200);
  for (std::size_t i = 0; i < 5; ++i) {
    const auto from = samples.begin() + static_cast<long>(100 + 20 * i);
    EXPECT_DOUBLE_EQ(b["min"][i].get<double>(), *std::min_element(from, from + 20) / 100.0);
    EXPECT_DOUBLE_EQ(b["max"][i].get<double>(), *std::max_element(from, from + 20) / 100.0);
    EXPECT_DOUBLE_EQ(b["t"][i].get<double>(), 1.0 + 0.2 * static_cast<double>(i));
  }
  // The reference from the channel's item leads to the table.
  const Json ref = GetJson(service, "/api/block", {{"path", "/2:0/107:0/112:0"}});
  EXPECT_EQ(ref["follow"]["target"], "/2:0/102:0");
}

TEST(ViewChannel, ABucketScaledByATableThatTurnsBackSpansItsPeak) {
  const kstrn::recording::TableScaling table({{0, 0}, {10, 100}, {20, 0}});
  EXPECT_EQ(table.Range(5, 15), std::make_pair(50.0, 100.0));
  EXPECT_EQ(table.Range(12, 18), std::make_pair(20.0, 80.0));
  EXPECT_EQ(table.Range(-5, 30), std::make_pair(0.0, 100.0));
}

TEST_F(ViewTest, ADamagedFileIsAnsweredWithErrorsNotACrash) {
  const std::string good = ReadWholeFile(
      SaveBuilt(dir_.File("r.kst"), [](kstrn::Session& s) { BuildRecording(s, 3000); }));
  WriteWholeFile(dir_.File("junk"), "not a container at all");
  WriteWholeFile(dir_.File("cut.kst"), good.substr(0, good.size() / 2));
  // A blob claiming far more bytes than the file holds.
  std::string liar = good;
  const std::size_t at = liar.find(std::string("\x2a\x04", 2));  // value 1066, the blob's length
  ASSERT_NE(at, std::string::npos);
  liar[at + 5] = '\x7f';
  WriteWholeFile(dir_.File("liar.kst"), liar);
  for (const std::string name : {"junk", "cut.kst", "liar.kst", "missing.kst"}) {
    ViewService service(dir_.File(name), kToken);
    EXPECT_EQ(Get(service, "/").status, 200) << name;  // the page, which shows the error
    for (const std::string api : {"info", "block", "channels", "check"}) {
      const ViewReply reply = Get(service, "/api/" + api, {{"path", "/2:0/135:0"}});
      if (reply.status != 200) {
        EXPECT_TRUE(Json::parse(reply.body).contains("error")) << name << api;
      }
    }
    const ViewReply buckets =
        Get(service, "/api/buckets", {{"ch", "0"}, {"from", "0"}, {"to", "1e9"}});
    EXPECT_NE(buckets.status, 500) << name;
  }
  ViewService junk(dir_.File("junk"), kToken);
  EXPECT_EQ(Get(junk, "/api/info").status, 422);
}

}  // namespace
}  // namespace kestron4::cli
