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
  const Json info = Json::parse(Run({"info", "--json", kinds_}).out);
  // Blocks 135[0..3], 100[0], 107[0], 112[0]; 135, 100, 107 under the root, 112 under 107.
  const Json counts =
      Json::parse(R"({"fileType": 0, "itemBlocks": 7, "items": 4, "blobBytes": 200000,
                      "depth": 2})");
  for (const auto& [key, value] : counts.items()) EXPECT_EQ(info[key], value) << key;
  EXPECT_EQ(info["fileSize"], info["containerSize"]);
  EXPECT_EQ(info["integrity"]["resolved"], 1);
  SaveBuilt(File("dangling.kst"), [](kstrn::Session& s) { BuildReferences(s, true); });
  const RunResult bad = Run({"info", "--json", File("dangling.kst")});
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
      {{"/", "1500"}, "13836183955189006336 (as double: -2.5)\n"},
      {{"/", "2003"}, "000102ff\n"},
      {{"", "2002", "--raw"}, std::string("\xB0" "C \x80 \x81 \x9D\0", 9)},
      {{"/107[0]/112[0]", "1052"}, "7\n"},
      {{"/107/112", "2001"}, "Oil\n"},
      {{"/", "--tid", "4000", "-o", "-"}, std::string(60000, 'x') + std::string("\0\3", 2)},
      {{"/135[1]", "-o", "-"}, ""}};
  for (const auto& [args, out] : good) {
    std::vector<std::string> all{args.back() == "-" ? "extract" : "get", kinds_};
    all.insert(all.end(), args.begin(), args.end());
    const RunResult r = Run(all);
    EXPECT_EQ(r.status, 0) << args[0];
    EXPECT_EQ(r.out, out) << args[0];
  }
  RunCases({{{"get", "@kinds.kst", "/100:1", "2001"}, 2, "", "has 1 block(s); there is no 100:1"},
            {{"get", "@kinds.kst", "/101", "2001"}, 2, "", "block / has no item 101"},
            {{"get", "@kinds.kst", "/100[0]/5", "2001"}, 2, "", "block /100:0 has no item 5"},
            {{"get", "@kinds.kst", "/2001", "2001"}, 2, "", "bad block path"},
            {{"get", "@kinds.kst", "/100[x]", "2001"}, 2, "", "bad block path"},
            {{"get", "@kinds.kst", "/100[0", "2001"}, 2, "", "bad block path"},
            {{"get", "@kinds.kst", "100]", "2001"}, 2, "", "bad block path"},
            {{"get", "@kinds.kst", "/100[0]", "2002"}, 2, "", "has no value 2002"},
            {{"extract", "@kinds.kst", "/135[0]", "-o", "@kinds.kst"}, 2, "", "is the input"},
            {{"extract", "@kinds.kst", "/100[0]", "-o", "@none.bin"}, 2, "", "has no value 1063"},
            {{"extract", "@kinds.kst", "/135[0]", "-o", "@blob.bin"}, 0, "", ""},
            {{"info", "@kinds.kst"}, 0, "integrity    ok (1 resolved)\n", ""}});
  const std::string blob = ReadWholeFile(File("blob.bin"));
  ASSERT_EQ(blob.size(), 200000u);
  for (std::size_t i = 0; i < blob.size(); i += 997)
    ASSERT_EQ(blob[i], static_cast<char>(i * 7 + i / 251)) << i;
}

}  // namespace
}  // namespace kestron4::cli
