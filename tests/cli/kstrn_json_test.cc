// kstrn to-json and from-json: from-json(to-json(f)) gives back f byte for
// byte; what cannot be given back is refused, as is every malformed input.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/kstrn_harness.h"
#include "support/legacy_file_builder.h"

namespace kestron4::cli {
namespace {

using Json = nlohmann::json;
const std::string kHead = R"({"format": "kestron4-json", "version": 1, "root": )";

class JsonTest : public KstrnTest {
 protected:
  // to-json, then from-json; the rebuilt file's bytes, or "" on a failure.
  std::string RoundTrip(const std::string& file) {
    RunResult r = Run({"to-json", file, "-o", File("text.json")});
    EXPECT_EQ(r.status, 0) << file << ": " << r.err;
    r = Run({"from-json", File("text.json"), File("rebuilt.kst")});
    EXPECT_EQ(r.status, 0) << file << ": " << r.err;
    return r.status == 0 ? ReadWholeFile(File("rebuilt.kst")) : std::string();
  }
  std::string Legacy(test::LegacyKind kind, const std::string& name) {
    test::LegacyFileBuilder builder(kind);
    builder.Channel(1, "Oil Press", 1).Sensor(1, "Oil 10 bar", 0, {0.0f, 1.0f, 2.0f, 3.0f});
    if (builder.IsData())
      builder.Module(1, 2, std::vector<uint8_t>(64, 0x42)).RecordingLength(0, 500);
    const std::vector<uint8_t> bytes = builder.Build();
    WriteWholeFile(File(name + ".in"), std::string(bytes.begin(), bytes.end()));
    EXPECT_EQ(Run({"convert", File(name + ".in"), "-o", File(name)}).status, 0);
    return File(name);
  }
};

TEST_F(JsonTest, RebuildsVariedFilesByteForByte) {
  const std::vector<std::string> files = {
      SaveBuilt(File("empty.kst"), [](kstrn::Session&) {}),
      SaveBuilt(File("kinds.kst"), BuildValueKinds),
      SaveBuilt(File("deep.kst"), [](kstrn::Session& s) { BuildDeepChain(s, 4000); }),
      SaveBuilt(File("wide.kst"), [](kstrn::Session& s) {
        s.InsertItemBlocks(100, 2000);
        for (int i = 0; i < 2000; s.CloseItem(), ++i)
          s.OpenItem(100, i), s.InsertText(2001, "block " + std::to_string(i));
      }),
      SaveBuilt(File("refs.kst"), [](kstrn::Session& s) {
        BuildReferences(s, false);
        s.InsertNumber<uint8_t>(1132, 1);  // reference mode, kept by this save
      }, true),
      Legacy(test::LegacyKind::kFirstSetup, "first_setup.kst"),
      Legacy(test::LegacyKind::kSecondSetup, "second_setup.kst"),
      Legacy(test::LegacyKind::kSecondDataV2, "second_data.kst"), File("sample.kst")};
  const std::string sample = std::string(KESTRON4_SOURCE_DIR) + "/samples/logger_data_v2.dat";
  ASSERT_EQ(Run({"convert", sample, "-o", File("sample.kst")}).status, 0);
  for (const std::string& file : files) {
    const std::string original = ReadWholeFile(file);
    ASSERT_GE(original.size(), 25u) << file;
    EXPECT_TRUE(RoundTrip(file) == original) << file;
  }
  EXPECT_NE(ReadWholeFile(File("refs.kst")).find(std::string("\x6c\x04\x01", 3)), std::string::npos)
      << "the 1132 value is part of what round-trips";
}

TEST_F(JsonTest, ValuesAreWrittenInTheirReadableForms) {
  const RunResult r = Run({"to-json", SaveBuilt(File("kinds.kst"), BuildValueKinds)});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json doc = Json::parse(r.out);
  const Json& v = doc["root"]["values"];
  const std::pair<int, const char*> expected[] = {
      {0, R"({"tid": 6000, "uint": 171})"},
      {2, R"({"tid": 1028, "hex": "010203"})"},
      {6, R"({"tid": 12001, "hex": "f0ffffffffffffff"})"},  // beyond 2^53
      {9, R"({"tid": 2001, "text": "Öltemperatur – °C"})"},
      {10, R"({"tid": 2002, "text": "°C € \u0081 \u009d", "encoding": "ansi"})"},
      {12, R"({"tid": 2004, "hex": "fffe0003"})"},
      {13, R"({"tid": 2005, "hex": "6162000303"})"}};
  for (const auto& [i, json] : expected) EXPECT_EQ(v[i], Json::parse(json)) << i;
  const Json& blobs = doc["root"]["items"][0]["blocks"];
  EXPECT_EQ(blobs[0]["values"][1]["base64"].get<std::string>().substr(0, 8), "AAcOFRwj");
  EXPECT_EQ(blobs[2]["values"][1], Json::parse(R"({"tid": 1063, "base64": ""})"));
  // One value per line: the text diffs well.
  EXPECT_NE(r.out.find("\n              {\"tid\": 1066, \"uint\": 200000},\n"), std::string::npos);
}

TEST_F(JsonTest, HandWrittenDocumentsBuildContainers) {
  WriteWholeFile(File("in.json"), kHead + R"({
      "values": [{"tid": 2001, "text": "hand made"}, {"tid": 10000, "hex": "01000000"},
                 {"tid": 1066, "uint": 3}, {"tid": 1063, "hex": "616263"}],
      "items": [{"tid": 105, "blocks": [{}, {"values": [{"tid": 8000, "uint": 65535}]}]},
                {"tid": 23, "blocks": [{"items": [{"tid": 105, "blocks": [{}]}]}]},
                {"tid": 24, "blocks": []}]}})");
  const std::string out = File("out.kst");
  ASSERT_EQ(Run({"from-json", File("in.json"), out}).status, 0);
  EXPECT_EQ(Run({"get", out, "/", "2001"}).out, "hand made\n");
  EXPECT_EQ(Run({"get", out, "/105[1]", "8000"}).out, "65535\n");
  EXPECT_EQ(Run({"get", out, "/", "1063", "--raw"}).out, "abc");
  EXPECT_NE(Run({"tree", out}).out.find("  23:0 logger_config\n    105:0 config_section\n  24  (no blocks)\n"),
            std::string::npos);
  EXPECT_EQ(Run({"from-json", "-", File("stdin.kst")}, File("in.json")).status, 0);
  EXPECT_EQ(ReadWholeFile(File("stdin.kst")), ReadWholeFile(out));
}

TEST_F(JsonTest, MalformedDocumentsAreRefusedWithTheirPlace) {
  // Rows starting {"tid" are the root's values; {"items" or {"values", the root.
  const std::pair<std::string, const char*> cases[] = {
      {R"({"tid": 6000, "uint": 256})", "does not fit 1 bytes"},
      {R"({"tid": 6000, "uint": -1})", "whole number"},
      {R"({"tid": 6000, "uint": 1.5})", "whole number"},
      {R"({"tid": 1028, "uint": 1})", "needs a fixed TID of 1, 2, 4 or 8"},
      {R"({"tid": 10000, "text": "x"})", "needs a string TID"},
      {R"({"tid": 10000, "hex": "0102"})", "takes 4 bytes, not 2"},
      {R"({"tid": 10000, "hex": "0g000000"})", "bad hex"},
      {R"({"tid": 10000, "base64": "AAAAAB=="})", "bad base64"},
      {R"({"tid": 2001, "hex": ")" + std::string(512, '0') + "\"}", "takes at most 255 bytes"},
      {R"({"tid": 2001, "text": "a\u0000b"})", "text holds a NUL"},
      {R"({"tid": 2002, "text": "✓", "encoding": "ansi"})", "characters Windows-1252 lacks"},
      {R"({"tid": 2001, "text": "x", "encoding": "latin1"})", "\"encoding\" must be"},
      {R"({"tid": 2001, "text": "x", "hex": "00"})", "give one of"},
      {R"({"tid": 2001})", "no text, uint, double, hex or base64"},
      {R"({"tid": 2001, "text": "x", "note": 1})", "unknown member \"note\""},
      {R"({"tid": 2001, "text": "x"}, {"tid": 2001, "text": "y"})", "occurs twice"},
      {R"({"tid": 105, "text": "x"})", "needs a value \"tid\""},
      {R"({"tid": 1063, "hex": "00"}, {"tid": 1066, "uint": 1})", "1066 before it says nothing"},
      {R"({"tid": 1066, "uint": 2}, {"tid": 1063, "hex": "00"})", "before it says 2"},
      {R"({"items": [{"tid": 105, "blocks": []}, {"tid": 105, "blocks": []}]})",
       "item 105 occurs twice"},
      {R"({"items": [{"tid": 2001, "blocks": []}]})", "needs an item \"tid\""},
      {R"({"items": [{"tid": 105}]})", "needs a \"blocks\" array"},
      {R"({"items": [{"tid": 105, "blocks": [{"items": [{"tid": 5, "blocks": [{"note": 5}]}]}]}]})",
       "block /105:0/5:0: unknown member \"note\""},
      {R"({"items": [{"tid": 105, "blocks": [7]}]})", "block /105:0: a block must be an object"},
      {R"({"values": {}})", "must be an array"}, {"{", ""}, {R"({"format": "other"})", ""},
      {R"({"format": "kestron4-json", "version": 2, "root": {}})", ""},
      {R"({"format": "kestron4-json", "version": 1})", ""}, {std::string(200000, '['), ""}};
  for (const auto& [doc, message] : cases) {
    std::string text = doc.rfind("{\"t", 0) == 0 ? "{\"values\": [" + doc + "]}" : doc;
    if (text.rfind("{\"v", 0) == 0 || text.rfind("{\"i", 0) == 0) text = kHead + text + "}";
    WriteWholeFile(File("in.json"), text);
    EXPECT_FALSE(
        ExpectRefused({"from-json", File("in.json"), File("out.kst")}, message).err.empty());
  }
  // Deeper than any file may be: refused before anything is built.
  std::string deep = kHead;
  for (int i = 0; i < 5000; ++i) deep += R"({"items": [{"tid": 100, "blocks": [)";
  deep += "{}";
  for (int i = 0; i < 5000; ++i) deep += "]}]}";
  WriteWholeFile(File("in.json"), deep + "}");
  const RunResult tooDeep =
      ExpectRefused({"from-json", File("in.json"), File("out.kst")}, "deeper than the 4096 levels");
  EXPECT_LT(tooDeep.err.size(), 300u) << "the block is named by the ends of its path";
  EXPECT_EQ(dir_.List(), (std::vector<std::string>{"in.json"})) << "no partial output";
}

TEST_F(JsonTest, OddButLoadableFilesRoundTripRepeatsAreRefused) {
  const std::pair<std::string, const char*> cases[] = {
      {std::string("\x64\x00\x00\x00\x00\x00", 6), nullptr},  // item without blocks
      {std::string("\xd1\x07\x00\x00\x00", 5), nullptr},      // empty string
      {std::string("\x2a\x04\x03\x00\x00\x00\xd1\x07\x01\x41\x27\x04"
                   "abc\x00\x00",
                   17),
       nullptr},  // blob apart from its length
      {std::string("\x27\x04\x2a\x04\x03\x00\x00\x00\x00\x00", 10), nullptr},  // blob first
      {std::string("\x10\x27\x01\x00\x00\x00\x10\x27\x02\x00\x00\x00\x00\x00", 14),
       "TID 10000 appears twice in the block"},
      {std::string("\x64\x00\x01\x00\x64\x00\x01\x00\x00\x00\x02\x00\x00\x00\x00\x00"
                   "\x02\x00\x00\x00\x00\x00",
                   22),
       "TID 100 appears twice in the block"}};
  for (const auto& [body, refused] : cases) {
    SCOPED_TRACE(refused ? refused : "round trip");
    WriteWholeFile(File("odd.kst"), Container(body));
    if (refused == nullptr) {
      ASSERT_EQ(Run({"convert", File("odd.kst"), "-o", File("saved.kst")}).status, 0);
      EXPECT_TRUE(RoundTrip(File("saved.kst")) == ReadWholeFile(File("saved.kst")));
    } else {
      // The library refuses to load such a file at all.
      ExpectRefused({"to-json", File("odd.kst"), "-o", File("odd.json")}, refused);
      EXPECT_TRUE(ReadWholeFile(File("odd.json")).empty()) << "no partial output";
    }
  }
}

}  // namespace
}  // namespace kestron4::cli
