// kstrn info, tree, get and extract on generated files: what they print and
// how they fail.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/kstrn_runner.h"
#include "cli/kstrn_test_files.h"

namespace kestron4::cli {
namespace {

using Json = nlohmann::json;

class InspectTest : public KstrnTest {
 protected:
  void SetUp() override {
    KstrnTest::SetUp();
    if (IsSkipped()) return;
    kinds_ = SaveBuilt(File("kinds.kst"), [](kstrn::Session& s) {
      BuildValueKinds(s);
      BuildReferences(s, false);
    });
  }

  // The line of the outline that shows value tid.
  static std::string LineOf(const std::string& out, const std::string& start) {
    const std::size_t at = out.find("\n  " + start);
    if (at == std::string::npos) return std::string();
    return out.substr(at + 1, out.find('\n', at + 1) - at - 1);
  }

  std::string kinds_;
};

TEST_F(InspectTest, InfoCountsWhatTheFileHolds) {
  const RunResult r = Run({"info", "--json", kinds_});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json info = Json::parse(r.out);
  EXPECT_EQ(info["fileType"], 0);
  EXPECT_EQ(info["fileTypeName"], "container");
  EXPECT_EQ(info["fileSize"], info["containerSize"]);
  // 4 blocks of 135, 100[0], 107[0] and its reference block 112[0].
  EXPECT_EQ(info["itemBlocks"], 7);
  EXPECT_EQ(info["items"], 4);  // 135, 100, 107 under the root, 112 under 107
  EXPECT_EQ(info["blobBytes"], 200000);
  EXPECT_EQ(info["depth"], 2);
  EXPECT_EQ(info["references"], 1);
  EXPECT_EQ(info["integrity"]["ok"], true);
  EXPECT_EQ(info["integrity"]["resolved"], 1);

  const RunResult text = Run({"info", kinds_});
  ASSERT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("blob bytes   200000\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("integrity    ok (1 resolved)\n"), std::string::npos) << text.out;

  const std::string dangling =
      SaveBuilt(File("dangling.kst"), [](kstrn::Session& s) { BuildReferences(s, true); });
  const RunResult bad = Run({"info", "--json", dangling});
  ASSERT_EQ(bad.status, 0) << "info reports, it does not judge";
  EXPECT_EQ(Json::parse(bad.out)["integrity"]["ok"], false);
}

TEST_F(InspectTest, TreeRendersEveryKindOfValue) {
  const RunResult r = Run({"tree", "--values", kinds_});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string& out = r.out;
  EXPECT_EQ(out.substr(0, 2), "/\n");
  EXPECT_NE(LineOf(out, "6000 ").find(" 1  171"), std::string::npos) << out;
  EXPECT_NE(LineOf(out, "8000 ").find(" 2  48879"), std::string::npos);
  EXPECT_NE(LineOf(out, "10000 ").find(" 4  3735928559"), std::string::npos);
  EXPECT_NE(LineOf(out, "1028 ").find("01 02 03"), std::string::npos);
  EXPECT_NE(LineOf(out, "1500 ").find("(as double: -2.5)"), std::string::npos);
  EXPECT_NE(LineOf(out, "2001 ").find("\"Öltemperatur – °C\" utf8"), std::string::npos);
  EXPECT_NE(LineOf(out, "2002 ").find("\"°C € \xC2\x81 \xC2\x9D\" ansi"), std::string::npos);
  EXPECT_NE(LineOf(out, "2003 ").find("00 01 02 ff"), std::string::npos);
  EXPECT_NE(LineOf(out, "2004 ").find("ff fe 00 03"), std::string::npos) << "not UTF-8: bytes";
  EXPECT_NE(LineOf(out, "1200 ").find("empty"), std::string::npos);
  EXPECT_NE(out.find("  135[0]\n    1066   fixed            4  200000\n"
                     "    1063   data        200000  00 07 0e 15"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(" ...\n"), std::string::npos) << "a long blob is cut";

  const RunResult outline = Run({"tree", kinds_, "--depth", "1"});
  ASSERT_EQ(outline.status, 0);
  EXPECT_NE(outline.out.find("/  (17 values)\n  135[0]  (2 values)\n"), std::string::npos)
      << outline.out;
  EXPECT_NE(outline.out.find("  107[0]  (+1 item below)\n"), std::string::npos);
  EXPECT_EQ(outline.out.find("112["), std::string::npos);
}

TEST_F(InspectTest, TreeJsonIsTheDocumentedForm) {
  const RunResult r = Run({"tree", "--json", "--values", "--preview", "4", kinds_});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json doc = Json::parse(r.out);
  EXPECT_EQ(doc["file"], kinds_);
  EXPECT_EQ(doc["fileType"], 0);
  const Json& root = doc["root"];
  EXPECT_EQ(root["path"], "/");
  EXPECT_EQ(root["valueCount"], 17);
  EXPECT_EQ(root["itemCount"], 3);
  EXPECT_EQ(root["values"][0],
            Json::parse(R"({"tid":6000,"kind":"fixed","type":2,"size":1,"uint":171})"));
  EXPECT_EQ(root["values"][9]["text"], "Öltemperatur – °C");
  EXPECT_EQ(root["values"][9]["encoding"], "utf8");
  EXPECT_EQ(root["items"][0]["tid"], 135);
  EXPECT_EQ(root["items"][0]["blockCount"], 4);
  const Json& blob = root["items"][0]["blocks"][0];
  EXPECT_EQ(blob["tid"], 135);
  EXPECT_EQ(blob["index"], 0);
  EXPECT_EQ(blob["path"], "/135[0]");
  EXPECT_EQ(blob["values"][1], Json::parse(R"({"tid":1063,"kind":"data","type":9,"size":200000,
                                              "hex":"00070e15","truncated":true})"));
  const Json& refs = root["items"][2]["blocks"][0];
  EXPECT_EQ(refs["path"], "/107[0]");
  EXPECT_EQ(refs["items"][0]["blocks"][0]["path"], "/107[0]/112[0]");

  // The preview cuts bytes, never numbers or texts.
  const Json bare = Json::parse(Run({"tree", "--json", "--values", "--preview", "0", kinds_}).out);
  EXPECT_EQ(bare["root"]["values"][0]["uint"], 171);
  EXPECT_EQ(bare["root"]["values"][2]["hex"], "010203");
  EXPECT_EQ(bare["root"]["items"][0]["blocks"][0]["values"][1]["hex"], "");

  const RunResult cut = Run({"tree", "--json", "--depth", "0", kinds_});
  ASSERT_EQ(cut.status, 0);
  const Json shallow = Json::parse(cut.out)["root"];
  EXPECT_EQ(shallow["items"][2], Json::parse(R"({"tid": 107, "blockCount": 1})"));
  EXPECT_FALSE(shallow.contains("values"));
}

TEST_F(InspectTest, DeepTreesAreWalkedWithoutRecursion) {
  const std::string deep =
      SaveBuilt(File("deep.kst"), [](kstrn::Session& s) { BuildDeepChain(s, 4000); });
  RunResult r = Run({"tree", "--json", deep});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json doc = Json::parse(r.out);
  const Json* block = &doc["root"];
  int depth = 0;
  while (block->contains("items")) {
    block = &(*block)["items"][0]["blocks"][0];
    ++depth;
  }
  EXPECT_EQ(depth, 4000);
  EXPECT_EQ((*block)["path"].get<std::string>().size(), 4000 * 7 + 0u);
  r = Run({"info", deep});
  EXPECT_NE(r.out.find("tree depth   4000\n"), std::string::npos) << r.out;
  // Indentation stops growing, so the outline stays linear in the depth
  // (two lines of at most about 200 bytes a level; growing indentation would
  // need more than 32 MB).
  r = Run({"tree", "--values", deep});
  ASSERT_EQ(r.status, 0);
  EXPECT_LT(r.out.size(), 4000u * 250);
}

TEST_F(InspectTest, GetPrintsOneValue) {
  const auto get = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"get", kinds_});
    return Run(args);
  };
  EXPECT_EQ(get({"/", "2001"}).out, "Öltemperatur – °C\n");
  EXPECT_EQ(get({"/", "10000"}).out, "3735928559\n");
  EXPECT_EQ(get({"/", "10000", "--hex"}).out, "efbeadde\n");
  EXPECT_EQ(get({"/", "2001", "--hex"}).out.substr(0, 6), "c3966c");
  EXPECT_EQ(get({"/", "2003"}).out, "000102ff\n");
  EXPECT_EQ(get({"", "2002", "--raw"}).out, std::string("\xB0"
                                                        "C \x80 \x81 \x9D\0",
                                                        9));
  EXPECT_EQ(get({"/107[0]/112[0]", "1052"}).out, "7\n");
  EXPECT_EQ(get({"/107/112", "2001"}).out, "Oil\n");
  EXPECT_EQ(get({"/100[0]", "2001"}).out, "Oil\n");

  struct Bad {
    std::string path;
    std::string tid;
    std::string message;
  };
  for (const Bad& bad : std::vector<Bad>{{"/100[1]", "2001", "has 1 block(s); there is no [1]"},
                                         {"/101", "2001", "block / has no item 101"},
                                         {"/100[0]/5", "2001", "block /100[0] has no item 5"},
                                         {"/100[0]", "2002", "has no value 2002"},
                                         {"/2001", "2001", "bad block path"},
                                         {"/100[x]", "2001", "bad block path"},
                                         {"/100[0", "2001", "bad block path"},
                                         {"100]", "2001", "bad block path"}}) {
    const RunResult r = get({bad.path, bad.tid});
    EXPECT_EQ(r.status, 2) << bad.path;
    EXPECT_NE(r.err.find(bad.message), std::string::npos) << bad.path << ": " << r.err;
  }
}

TEST_F(InspectTest, ExtractWritesTheBlobWhole) {
  RunResult r = Run({"extract", kinds_, "/135[0]", "-o", File("blob.bin")});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string blob = ReadWholeFile(File("blob.bin"));
  ASSERT_EQ(blob.size(), 200000u);
  for (std::size_t i = 0; i < blob.size(); i += 997) {
    ASSERT_EQ(blob[i], static_cast<char>(i * 7 + i / 251)) << i;
  }
  r = Run({"extract", kinds_, "/135[1]", "-o", "-"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out.empty());
  r = Run({"extract", kinds_, "/", "--tid", "4000", "-o", "-"});
  EXPECT_EQ(r.out, std::string(60000, 'x') + std::string("\0\3", 2));
  r = Run({"extract", kinds_, "/135[0]", "-o", kinds_});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("is the input"), std::string::npos) << r.err;
  EXPECT_EQ(Run({"info", kinds_}).status, 0) << "the input survives";
  r = Run({"extract", kinds_, "/100[0]", "-o", File("none.bin")});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("has no value 1063"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace kestron4::cli
