// kstrn to-json and from-json: from-json(to-json(f)) gives back f byte for
// byte; what cannot be given back is refused, as is every malformed input.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/kstrn_runner.h"
#include "cli/kstrn_test_files.h"
#include "support/legacy_file_builder.h"

namespace kestron4::cli {
namespace {

using Json = nlohmann::json;

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
  // from-json of a document; the result.
  RunResult FromJson(const std::string& document) {
    WriteWholeFile(File("in.json"), document);
    return Run({"from-json", File("in.json"), File("out.kst")});
  }
  std::string Legacy(test::LegacyKind kind, const std::string& name) {
    test::LegacyFileBuilder builder(kind);
    builder.Channel(1, "Oil Press", 1).Sensor(1, "Oil 10 bar", 0, {0.0f, 1.0f, 2.0f, 3.0f});
    if (builder.IsData())
      builder.Module(1, 2, std::vector<uint8_t>(64, 0x42)).RecordingLength(0, 500);
    const std::vector<uint8_t> bytes = builder.Build();
    WriteWholeFile(File(name + ".in"), std::string(bytes.begin(), bytes.end()));
    const RunResult r = Run({"convert", File(name + ".in"), "-o", File(name)});
    EXPECT_EQ(r.status, 0) << r.err;
    return File(name);
  }
};

TEST_F(JsonTest, RebuildsVariedFilesByteForByte) {
  std::vector<std::string> files = {
      SaveBuilt(File("empty.kst"), [](kstrn::Session&) {}),
      SaveBuilt(File("kinds.kst"), BuildValueKinds),
      SaveBuilt(File("deep.kst"), [](kstrn::Session& s) { BuildDeepChain(s, 4000); }),
      SaveBuilt(File("wide.kst"), [](kstrn::Session& s) { BuildWide(s, 2000); }),
      SaveBuilt(
          File("refs.kst"),
          [](kstrn::Session& s) {
            BuildReferences(s, false);
            s.InsertNumber<uint8_t>(1132, 1);  // reference-mode value, kept by this save
          },
          true),
      Legacy(test::LegacyKind::kFirstSetup, "first_setup.kst"),
      Legacy(test::LegacyKind::kSecondSetup, "second_setup.kst"),
      Legacy(test::LegacyKind::kSecondDataV2, "second_data.kst"),
  };
  const RunResult sample =
      Run({"convert", std::string(KESTRON4_SOURCE_DIR) + "/samples/logger_data_v2.dat", "-o",
           File("sample.kst")});
  ASSERT_EQ(sample.status, 0) << sample.err;
  files.push_back(File("sample.kst"));
  for (const std::string& file : files) {
    const std::string original = ReadWholeFile(file);
    ASSERT_GE(original.size(), 25u) << file;
    EXPECT_TRUE(RoundTrip(file) == original) << file;
  }
  EXPECT_NE(ReadWholeFile(File("refs.kst")).find(std::string("\x6c\x04\x01", 3)), std::string::npos)
      << "the 1132 value is part of what round-trips";
}

TEST_F(JsonTest, ValuesAreWrittenInTheirReadableForms) {
  const std::string kinds = SaveBuilt(File("kinds.kst"), BuildValueKinds);
  const RunResult r = Run({"to-json", kinds});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json doc = Json::parse(r.out);
  EXPECT_EQ(doc["format"], "kestron4-json");
  EXPECT_EQ(doc["version"], 1);
  const Json& v = doc["root"]["values"];
  EXPECT_EQ(v[0], Json::parse(R"({"tid": 6000, "uint": 171})"));
  EXPECT_EQ(v[2], Json::parse(R"({"tid": 1028, "hex": "010203"})"));
  EXPECT_EQ(v[5], Json::parse(R"({"tid": 12000, "uint": 42})"));
  EXPECT_EQ(v[6], Json::parse(R"({"tid": 12001, "hex": "f0ffffffffffffff"})")) << "beyond 2^53";
  EXPECT_EQ(v[8], Json::parse(R"({"tid": 1200, "hex": ""})"));
  EXPECT_EQ(v[9], Json::parse(R"({"tid": 2001, "text": "Öltemperatur – °C"})"));
  EXPECT_EQ(v[10],
            Json::parse(R"({"tid": 2002, "text": "°C € \u0081 \u009d", "encoding": "ansi"})"));
  EXPECT_EQ(v[11], Json::parse(R"({"tid": 2003, "hex": "000102ff"})"));
  EXPECT_EQ(v[12], Json::parse(R"({"tid": 2004, "hex": "fffe0003"})"));
  EXPECT_EQ(v[13], Json::parse(R"({"tid": 2005, "hex": "6162000303"})"));
  EXPECT_EQ(v[15], Json::parse(R"({"tid": 1135, "text": "long kind", "encoding": "ansi"})"));
  const Json& item = doc["root"]["items"][0];
  EXPECT_EQ(item["tid"], 135);
  const Json& blobs = item["blocks"];
  EXPECT_EQ(blobs[0]["values"][0], Json::parse(R"({"tid": 1066, "uint": 200000})"));
  EXPECT_EQ(blobs[0]["values"][1]["base64"].get<std::string>().substr(0, 8), "AAcOFRwj");
  EXPECT_EQ(blobs[1]["values"][1], Json::parse(R"({"tid": 1063, "base64": ""})"));
  EXPECT_EQ(blobs[2]["values"][1], Json::parse(R"({"tid": 1063, "base64": ""})"));
  EXPECT_FALSE(blobs[0].contains("items"));
  // One value per line: the text diffs well.
  EXPECT_NE(r.out.find("\n              {\"tid\": 1066, \"uint\": 200000},\n"), std::string::npos)
      << r.out.substr(0, 2000);
}

TEST_F(JsonTest, HandWrittenDocumentsBuildContainers) {
  RunResult r = FromJson(R"({"format": "kestron4-json", "version": 1, "root": {
      "values": [{"tid": 2001, "text": "hand made"}, {"tid": 10000, "hex": "01000000"},
                 {"tid": 1066, "uint": 3}, {"tid": 1063, "hex": "616263"}],
      "items": [{"tid": 105, "blocks": [{}, {"values": [{"tid": 8000, "uint": 65535}]}]},
                {"tid": 23, "blocks": [{"items": [{"tid": 105, "blocks": [{}]}]}]},
                {"tid": 24, "blocks": []}]}})");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Run({"get", File("out.kst"), "/", "2001"}).out, "hand made\n");
  EXPECT_EQ(Run({"get", File("out.kst"), "/105[1]", "8000"}).out, "65535\n");
  EXPECT_EQ(Run({"get", File("out.kst"), "/", "1063", "--raw"}).out, "abc");
  EXPECT_NE(Run({"tree", File("out.kst")}).out.find("  23[0]\n    105[0]\n  24[]  (no blocks)\n"),
            std::string::npos);
  r = Run({"from-json", "-", File("stdin.kst")}, File("in.json"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadWholeFile(File("stdin.kst")), ReadWholeFile(File("out.kst")));
}

TEST_F(JsonTest, MalformedDocumentsAreRefusedWithTheirPlace) {
  const std::string head = R"({"format": "kestron4-json", "version": 1, "root": )";
  struct Case {
    std::string root;
    std::string message;
  };
  const std::vector<Case> cases = {
      {R"({"values": [{"tid": 6000, "uint": 256}]})", "does not fit 1 bytes"},
      {R"({"values": [{"tid": 6000, "uint": -1}]})", "whole number"},
      {R"({"values": [{"tid": 6000, "uint": 1.5}]})", "whole number"},
      {R"({"values": [{"tid": 2001, "uint": 1}]})", "needs a fixed TID"},
      {R"({"values": [{"tid": 1028, "uint": 1}]})", "needs a fixed TID of 1, 2, 4 or 8"},
      {R"({"values": [{"tid": 10000, "text": "x"}]})", "needs a string TID"},
      {R"({"values": [{"tid": 10000, "hex": "0102"}]})", "takes 4 bytes, not 2"},
      {R"({"values": [{"tid": 10000, "hex": "0g000000"}]})", "bad hex"},
      {R"({"values": [{"tid": 10000, "base64": "AAAAAB=="}]})", "bad base64"},
      {R"({"values": [{"tid": 10000, "base64": "AAAA AA=="}]})", "bad base64"},
      {R"({"values": [{"tid": 2001, "hex": "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"}]})",
       "a string takes at most 255 bytes"},
      {R"({"values": [{"tid": 2001, "text": "a\u0000b"}]})", "text holds a NUL"},
      {R"({"values": [{"tid": 2001, "text": "€", "encoding": "ansi"}, {"tid": 2002, "text": "✓", "encoding": "ansi"}]})",
       "characters Windows-1252 lacks"},
      {R"({"values": [{"tid": 2001, "text": "x", "encoding": "latin1"}]})", "\"encoding\" must be"},
      {R"({"values": [{"tid": 2001, "text": "x", "hex": "00"}]})", "give one of"},
      {R"({"values": [{"tid": 2001}]})", "no text, uint, hex or base64"},
      {R"({"values": [{"tid": 2001, "text": "x", "note": 1}]})", "unknown member \"note\""},
      {R"({"values": [{"tid": 2001, "text": "x"}, {"tid": 2001, "text": "y"}]})", "occurs twice"},
      {R"({"values": [{"tid": 105, "text": "x"}]})", "needs a value \"tid\""},
      {R"({"values": [{"tid": 1063, "hex": "00"}]})",
       "the last length value 1066 before it says nothing"},
      {R"({"values": [{"tid": 1066, "uint": 2}, {"tid": 1063, "hex": "00"}]})", "before it says 2"},
      {R"({"values": [{"tid": 1063, "hex": "00"}, {"tid": 1066, "uint": 1}]})", "says nothing"},
      {R"({"items": [{"tid": 105, "blocks": []}, {"tid": 105, "blocks": []}]})",
       "item 105 occurs twice"},
      {R"({"items": [{"tid": 2001, "blocks": []}]})", "needs an item \"tid\""},
      {R"({"items": [{"blocks": []}]})", "needs an item \"tid\""},
      {R"({"items": [{"tid": 105}]})", "needs a \"blocks\" array"},
      {R"({"items": [{"tid": 105, "blocks": [], "index": 0}]})", "unknown member \"index\""},
      {R"({"items": [{"tid": 105, "blocks": [{"items": [{"tid": 5, "blocks": [{"tid": 5}]}]}]}]})",
       "block /105[0]/5[0]: unknown member \"tid\""},
      {R"({"items": [{"tid": 105, "blocks": [7]}]})", "block /105[0]: a block must be an object"},
      {R"({"tid": 5})", "unknown member \"tid\""},
      {R"({"values": {}})", "must be an array"},
      {R"([])", "a block must be an object"},
  };
  for (const Case& c : cases) {
    const RunResult r = FromJson(head + c.root + "}");
    EXPECT_EQ(r.status, 2) << c.root;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.root << "\n" << r.err;
  }
  for (const std::string& bad :
       {std::string("{"), std::string("{\"format\": \"other\"}"),
        std::string(R"({"format": "kestron4-json", "version": 2, "root": {}})"),
        std::string(R"({"format": "kestron4-json", "version": 1})"), std::string(200000, '[')}) {
    const RunResult r = FromJson(bad);
    EXPECT_EQ(r.status, 2) << bad.substr(0, 40);
    EXPECT_FALSE(r.err.empty());
  }
}

TEST_F(JsonTest, TreesDeeperThanAFileMayBeAreRefused) {
  std::string doc = R"({"format": "kestron4-json", "version": 1, "root": )";
  const int depth = 5000;
  for (int i = 0; i < depth; ++i) doc += R"({"items": [{"tid": 100, "blocks": [)";
  doc += "{}";
  for (int i = 0; i < depth; ++i) doc += "]}]}";
  doc += "}";
  RunResult r = FromJson(doc);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("deeper than the 4096 levels"), std::string::npos) << r.err.substr(0, 300);
}

TEST_F(JsonTest, OddButLoadableFilesRoundTripRepeatsAreRefused) {
  struct Case {
    const char* name;
    std::string body;     // root block entries
    const char* refused;  // or null: round trips
  };
  const std::vector<Case> cases = {
      {"item without blocks", std::string("\x64\x00\x00\x00\x00\x00", 6), nullptr},
      {"empty string", std::string("\xd1\x07\x00\x00\x00", 5), nullptr},
      {"blob apart from its length",
       std::string("\x2a\x04\x03\x00\x00\x00"
                   "\xd1\x07\x01\x41"
                   "\x27\x04"
                   "abc"
                   "\x00\x00",
                   17),
       nullptr},
      {"blob before its length",
       std::string("\x27\x04"
                   "\x2a\x04\x03\x00\x00\x00"
                   "\x00\x00",
                   10),
       nullptr},
      {"repeated value",
       std::string("\x10\x27\x01\x00\x00\x00\x10\x27\x02\x00\x00\x00\x00\x00", 14),
       "value 10000 occurs twice"},
      {"repeated item",
       std::string("\x64\x00\x01\x00\x64\x00\x01\x00\x00\x00"
                   "\x02\x00\x00\x00\x00\x00"
                   "\x02\x00\x00\x00\x00\x00",
                   22),
       "item 100 occurs twice"},
  };
  for (const Case& c : cases) {
    WriteWholeFile(File("odd.kst"), Container(c.body));
    ASSERT_EQ(Run({"convert", File("odd.kst"), "-o", File("saved.kst")}).status, 0) << c.name;
    if (c.refused == nullptr) {
      EXPECT_TRUE(RoundTrip(File("saved.kst")) == ReadWholeFile(File("saved.kst"))) << c.name;
      continue;
    }
    const RunResult r = Run({"to-json", File("saved.kst"), "-o", File("odd.json")});
    EXPECT_EQ(r.status, 2) << c.name;
    EXPECT_NE(r.err.find(c.refused), std::string::npos) << c.name << ": " << r.err;
    EXPECT_TRUE(ReadWholeFile(File("odd.json")).empty()) << c.name << ": no partial output";
  }
}

}  // namespace
}  // namespace kestron4::cli
