// kstrn info, tree, get and extract on generated files: what they print and
// how they fail.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/kstrn_harness.h"

namespace kestron4::cli {
namespace {

using Json = nlohmann::json;

class InfoTreeTest : public KstrnTest {
 protected:
  void SetUp() override {
    KstrnTest::SetUp();
    kinds_ = SaveBuilt(File("kinds.kst"), [](kstrn::Session& s) {
      BuildValueKinds(s);
      BuildReferences(s, false);
    });
  }
  std::string kinds_;
};

TEST_F(InfoTreeTest, InfoCountsWhatTheFileHolds) {
  const RunResult r = Run({"info", "--json", kinds_});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json info = Json::parse(r.out);
  EXPECT_EQ(info["fileType"], 0);
  EXPECT_EQ(info["fileSize"], info["containerSize"]);
  EXPECT_EQ(info["itemBlocks"], 7);  // 135[0..3], 100[0], 107[0], 112[0]
  EXPECT_EQ(info["items"], 4);       // 135, 100, 107 under the root, 112 under 107
  EXPECT_EQ(info["blobBytes"], 200000);
  EXPECT_EQ(info["depth"], 2);
  EXPECT_EQ(info["integrity"]["resolved"], 1);
  EXPECT_NE(Run({"info", kinds_}).out.find("integrity    ok (1 resolved)\n"), std::string::npos);
  const std::string dangling =
      SaveBuilt(File("dangling.kst"), [](kstrn::Session& s) { BuildReferences(s, true); });
  const RunResult bad = Run({"info", "--json", dangling});
  ASSERT_EQ(bad.status, 0) << "info reports, it does not judge";
  EXPECT_EQ(Json::parse(bad.out)["integrity"]["ok"], false);
}

TEST_F(InfoTreeTest, TreeRendersEveryKindOfValue) {
  const RunResult r = Run({"tree", "--values", kinds_});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* line :
       {"\n  6000 ", " 1  171", " 4  3735928559", "01 02 03", "(as double: -2.5)",
        "\"Öltemperatur – °C\" utf8", "\"°C € \xC2\x81 \xC2\x9D\" ansi", "ff fe 00 03",
        "  135:0 recorded_data\n    1066 blob_length       fixed            4  200000\n"
        "    1063 blob              data        200000  00 07 0e 15"}) {
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out.substr(0, 3000);
  }
  const RunResult outline = Run({"tree", kinds_, "--depth", "1"});
  EXPECT_NE(outline.out.find("/  (17 values)\n  135:0 recorded_data  (2 values)\n"), std::string::npos);
  EXPECT_NE(outline.out.find("  107:0 channel_ref  (+1 item below)\n"), std::string::npos);
  EXPECT_EQ(outline.out.find("112:"), std::string::npos);
}

TEST_F(InfoTreeTest, TreeJsonIsTheDocumentedForm) {
  const RunResult r = Run({"tree", "--json", "--values", "--preview", "4", kinds_});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json root = Json::parse(r.out)["root"];
  EXPECT_EQ(root["valueCount"], 17);
  EXPECT_EQ(root["values"][0],
            Json::parse(R"({"tid":6000,"kind":"fixed","type":2,"size":1,"uint":171})"));
  EXPECT_EQ(root["items"][0]["blockCount"], 4);
  EXPECT_EQ(
      root["items"][0]["blocks"][0]["values"][1],
      Json::parse(
          R"({"tid":1063,"name":"blob","kind":"data","type":9,"size":200000,"hex":"00070e15","truncated":true})"));
  EXPECT_EQ(root["items"][2]["blocks"][0]["items"][0]["blocks"][0]["path"], "/107:0/112:0");
  // The preview cuts bytes, never numbers or texts.
  const Json bare = Json::parse(Run({"tree", "--json", "--values", "--preview", "0", kinds_}).out);
  EXPECT_EQ(bare["root"]["values"][0]["uint"], 171);
  EXPECT_EQ(bare["root"]["items"][0]["blocks"][0]["values"][1]["hex"], "");
  const Json shallow = Json::parse(Run({"tree", "--json", "--depth", "0", kinds_}).out)["root"];
  EXPECT_EQ(shallow["items"][2], Json::parse(R"({"tid": 107, "name": "channel_ref", "blockCount": 1})"));
  EXPECT_FALSE(shallow.contains("values"));
}

TEST_F(InfoTreeTest, DeepTreesAreWalkedWithoutRecursion) {
  const std::string deep =
      SaveBuilt(File("deep.kst"), [](kstrn::Session& s) { BuildDeepChain(s, 4000); });
  RunResult r = Run({"tree", "--json", deep});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json doc = Json::parse(r.out);
  const Json* block = &doc["root"];
  int depth = 0;
  for (; block->contains("items"); ++depth) block = &(*block)["items"][0]["blocks"][0];
  EXPECT_EQ(depth, 4000);
  EXPECT_EQ((*block)["path"].get<std::string>().size(), 4000 * 6u);
  EXPECT_NE(Run({"info", deep}).out.find("tree depth   4000\n"), std::string::npos);
  // Indentation stops growing, so the outline stays linear in the depth.
  r = Run({"tree", "--values", deep});
  ASSERT_EQ(r.status, 0);
  EXPECT_LT(r.out.size(), 4000u * 250);
}

TEST_F(InfoTreeTest, GetPrintsOneValue) {
  const std::pair<std::vector<std::string>, std::string> good[] = {
      {{"/", "2001"}, "Öltemperatur – °C\n"},
      {{"/", "10000"}, "3735928559\n"},
      {{"/", "10000", "--hex"}, "efbeadde\n"},
      {{"/", "2003"}, "000102ff\n"},
      {{"", "2002", "--raw"},
       std::string("\xB0"
                   "C \x80 \x81 \x9D\0",
                   9)},
      {{"/107[0]/112[0]", "1052"}, "7\n"},
      {{"/107/112", "2001"}, "Oil\n"}};
  for (const auto& [args, out] : good) {
    std::vector<std::string> all{"get", kinds_};
    all.insert(all.end(), args.begin(), args.end());
    EXPECT_EQ(Run(all).out, out) << args[0];
  }
  const std::pair<std::string, std::string> bad[] = {{"/100:1", "has 1 block(s); there is no 100:1"},
                                                     {"/101", "block / has no item 101"},
                                                     {"/100[0]/5", "block /100:0 has no item 5"},
                                                     {"/2001", "bad block path"},
                                                     {"/100[x]", "bad block path"},
                                                     {"/100[0", "bad block path"},
                                                     {"100]", "bad block path"}};
  for (const auto& [path, message] : bad) ExpectRefused({"get", kinds_, path, "2001"}, message);
  ExpectRefused({"get", kinds_, "/100[0]", "2002"}, "has no value 2002");
}

TEST_F(InfoTreeTest, ExtractWritesTheBlobWhole) {
  ASSERT_EQ(Run({"extract", kinds_, "/135[0]", "-o", File("blob.bin")}).status, 0);
  const std::string blob = ReadWholeFile(File("blob.bin"));
  ASSERT_EQ(blob.size(), 200000u);
  for (std::size_t i = 0; i < blob.size(); i += 997)
    ASSERT_EQ(blob[i], static_cast<char>(i * 7 + i / 251)) << i;
  RunResult r = Run({"extract", kinds_, "/135[1]", "-o", "-"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out.empty());
  EXPECT_EQ(Run({"extract", kinds_, "/", "--tid", "4000", "-o", "-"}).out,
            std::string(60000, 'x') + std::string("\0\3", 2));
  ExpectRefused({"extract", kinds_, "/135[0]", "-o", kinds_}, "is the input");
  EXPECT_EQ(Run({"info", kinds_}).status, 0) << "the input survives";
  ExpectRefused({"extract", kinds_, "/100[0]", "-o", File("none.bin")}, "has no value 1063");
}

}  // namespace
}  // namespace kestron4::cli
