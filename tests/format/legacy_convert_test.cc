// The tree a converted setup file produces: logger skeleton, channel
// references, settings, sensors, tables, module addresses, channel items.
#include "format/legacy/legacy_convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "format/channel_names.h"
#include "format/legacy/legacy_name.h"
#include "legacy_expect.h"
#include "support/legacy_file_builder.h"

namespace kestron4::test {
namespace {

using Tids = std::vector<Tid>;
const Tids kLoggerItems = {107, 104, 101, 102, 106, 100, 120, 125};

// Reference entry k of the channel reference under the cursor.
void ExpectEntry(AbstractSession& s, int k, uint16_t target, const std::string& name) {
  ExpectBlock(s, 112, k, {{1052, k == 0 ? 65 : 1}, {1024, target}, {1002, name}});
}

LegacyResult Convert(const LegacyFileBuilder& b, PolicyKind kind = PolicyKind::kMemory) {
  return ConvertBytes(b.Build(), b.FileType(), kind);
}

TEST(LegacyName, EndsAfterLastPrintableAndCutsAtControlBytes) {
  const char* cases[][2] = {
      {"Oil Temp    ", "Oil Temp"}, {"A B  C      ", "A B  C"}, {"ABCDEFGHIJKL", "ABCDEFGHIJKL"},
      {"            ", "            "},  // nothing printable: all twelve kept
      {"AB\x01" "CD       ", "AB"},
      {"AB}C        ", "AB"},    // 0x7D cuts ...
      {"AB  }       ", "AB  "},  // ... yet counts as printable for the end
      {"AB~~~~~~~~~~", "AB"},    // 0x7E is not printable here
      {"\0\0\0\0\0\0\0\0\0\0\0\0", ""}};
  for (const auto& c : cases) {
    uint8_t field[12];
    std::memcpy(field, c[0], 12);
    EXPECT_EQ(legacy::LegacyName(field), c[1]);
  }
}

TEST(LegacyConvert, SetupFileBuildsTheLoggerTree) {
  LegacyFileBuilder b(LegacyKind::kFirstSetup);
  b.Channel(5, "Oil Press", 3)
      .Sensor(3, "Press Sens", 1, {2.5f, -1.0f, 0.0f, 100.0f})
      .Channel(40, "Wheel Spd", 4)
      .Table(5, "Spare", {{1, 1}, {2, 2}, {3, 3}}, 1.0f)
      .Module(5, 6)
      .Module(40, 16)
      .Settings(0x7E, 0x1234);
  LegacyResult r = Convert(b);
  ASSERT_EQ(r.code, ErrNone);
  AbstractSession& s = *r.session;
  uint32_t index = 99;
  EXPECT_EQ(s.GetParentTID(&index), 2);  // the cursor is left on the logger block
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(ItemTids(s), kLoggerItems);
  EXPECT_TRUE(ValueTids(s).empty());
  EXPECT_EQ(s.GetItemCount(107), 2 + 4);
  EXPECT_EQ(s.GetItemCount(106), 2);
  s.GotoRoot();
  EXPECT_EQ(ItemTids(s), (Tids{2}));
  EXPECT_EQ(s.GetItemCount(2), 1);
  ASSERT_EQ(s.OpenItem(2, 0), ErrNone);

  // Channel references: the two modules, the logger status, three ECU strings.
  const struct {
    uint16_t rate, kind;
    std::string name, entry0, entry1;
    uint16_t target0;
  } refs[] = {{6, 1, "Oil Press", "Press Sens", "Analogue 5", 101},
              {16, 1, "Wheel Spd", "Sensor 4", "CAN 1", 101},
              {0, 2, "Logger Status", "Logger Status", "Logger Status Raw", 120},
              {0, 2, "ECU String 1", "8 byte string", "ECU String 1", 125},
              {0, 2, "ECU String 2", "8 byte string", "ECU String 2", 125},
              {0, 2, "ECU String 3", "8 byte string", "ECU String 3", 125}};
  for (int k = 0; k < 6; ++k) {
    SCOPED_TRACE(k);
    ASSERT_EQ(s.OpenItem(107, k), ErrNone);
    if (k < 2) ExpectFields(s, {{1050, refs[k].rate}, {1040, refs[k].kind}, {1002, refs[k].name}});
    if (k == 2) ExpectFields(s, {{1040, 2}, {1002, refs[k].name}});
    if (k > 2) ExpectFields(s, {{1002, refs[k].name}, {1040, 2}});
    EXPECT_EQ(ItemTids(s), (Tids{112}));
    EXPECT_EQ(s.GetItemCount(112), 2);
    ExpectEntry(s, 0, refs[k].target0, refs[k].entry0);
    ExpectEntry(s, 1, 100, refs[k].entry1);
    s.CloseItem();
  }
  ExpectBlock(s, 104, 0, {{1024, 0x7E}, {1013, 0x1234}});

  // Channel items: every row of the logger's table, then the ECU strings.
  ASSERT_EQ(s.GetItemCount(100), 124);
  static constexpr uint16_t kEcuCodes[] = {0xDBD7, 0xDBDF, 0xDCD7};
  for (int i = 0; i < 124; ++i) {
    const std::size_t row = i <= 120 ? i : 127 + (i - 121);
    const uint16_t code = i < 120 ? 0xFC00 + 2 * i : i == 120 ? 0xD99C : kEcuCodes[i - 121];
    ExpectBlock(s, 100, i, {{1002, std::string(ChannelNameTable::Name(row))}, {1015, code}});
  }

  ASSERT_EQ(s.OpenItem(120, 0), ErrNone);
  EXPECT_EQ(ProbeText(s, 1002), "Logger Status");
  ASSERT_EQ(s.GetItemCount(110), 6);
  const struct { uint16_t mask, state; const char* text; } states[] = {
      {0, 6, "No Card"},          {1, 5, "Card In"},
      {2, 3, "Card Full"},        {4, 4, "Card Recording"},
      {8, 2, "Card Write Protected"}, {16, 1, "Setup Failure"}};
  for (int k = 0; k < 6; ++k)
    ExpectBlock(s, 110, k,
                {{1048, states[k].mask}, {1054, states[k].state}, {1007, states[k].text}});
  s.CloseItem();
  ExpectBlock(s, 125, 0, {{1002, "8 byte string"}, {1041, 8}});
}

TEST(LegacyConvert, OnlyDataFilesCarryARecording) {
  for (LegacyKind kind : {LegacyKind::kFirstSetup, LegacyKind::kFirstData, LegacyKind::kSecondSetup,
                          LegacyKind::kSecondDataV1, LegacyKind::kSecondDataV2}) {
    LegacyFileBuilder b(kind);
    b.Module(1, 9, {1, 2, 3, 4}).RecordingLength(0, 1000);
    LegacyResult r = Convert(b);
    ASSERT_EQ(r.code, ErrNone) << b.FileType();
    Tids want = kLoggerItems;
    if (b.IsData()) want.insert(want.end(), {135, 133});
    EXPECT_EQ(ItemTids(*r.session), want) << b.FileType();
    EXPECT_EQ(ValueTids(*r.session), b.IsData() ? Tids{1018} : Tids{});
  }
  // The mark is compared exactly: a data magic in capitals converts as setup.
  LegacyFileBuilder upper(LegacyKind::kFirstData);
  upper.Module(1, 9, {1, 2, 3, 4}).RecordingLength(0, 1000);
  for (int k = 0; k < 4; ++k) upper.Poke(11 + k, static_cast<uint8_t>("DATA"[k]));
  LegacyResult r = Convert(upper);
  ASSERT_EQ(r.code, ErrNone);
  EXPECT_EQ(ItemTids(*r.session), kLoggerItems);

  // Without modules, sensors (all with default names) or tables, those
  // items are still there, without blocks, in the logger's order.
  LegacyFileBuilder empty(LegacyKind::kSecondDataV2);
  r = Convert(empty);
  ASSERT_EQ(r.code, ErrNone);
  AbstractSession& s = *r.session;
  EXPECT_EQ(ItemTids(s), (Tids{107, 104, 101, 102, 106, 100, 120, 125, 135, 133}));
  EXPECT_EQ(s.GetItemCount(101), 0);
  EXPECT_EQ(s.GetItemCount(135), 0);
  EXPECT_EQ(s.GetItemCount(107), 4);  // status and ECU references only
  EXPECT_EQ(s.GetItemCount(100), 124);
  ASSERT_EQ(s.OpenItem(107, 0), ErrNone);
  EXPECT_EQ(ProbeText(s, 1002), "Logger Status");
}

TEST(LegacyConvert, SensorPassSkipsDefaultAndTableSensors) {
  LegacyFileBuilder b(LegacyKind::kSecondSetup);
  b.Channel(1, "Used", 3)      // sensor 3: used, default name
      .Channel(2, "Table", 9)  // sensor 9: table sensor
      .Sensor(3, "Sensor 3", 1, {1.5f, -2.25f, 100.0f, 0.125f})
      .Sensor(7, "Oil Temp", 0, {3.0f, 4.0f, 5.0f, 6.0f})  // unused, real name
      .Sensor(11, "Sensor X", 0, {1.0f, 0, 0, 0})          // unused, default name
      .TableSensor(9, "Sensor 9", 4, 1.0f, 0.0f, 10.0f)
      .Sensor(12, "sensor low", 2, {7.0f, 0, 0, 0})  // the test is case-sensitive
      .Module(1, 0)
      .Module(2, 0);
  LegacyResult r = Convert(b);
  ASSERT_EQ(r.code, ErrNone);
  AbstractSession& s = *r.session;
  ASSERT_EQ(s.GetItemCount(101), 3);
  ExpectBlock(
      s, 101, 0,
      {{1002, "Sensor 3"}, {1010, 1}, {1011, 1.5}, {1012, -2.25}, {1005, 100}, {1006, 0.125}});
  ExpectBlock(s, 101, 1,
              {{1002, "Oil Temp"}, {1010, 0}, {1011, 3}, {1012, 4}, {1005, 5}, {1006, 6}});
  ExpectBlock(s, 101, 2,
              {{1002, "sensor low"}, {1010, 2}, {1011, 7}, {1012, 0}, {1005, 0}, {1006, 0}});
}

TEST(LegacyConvert, TablePassWithAndWithoutPoints) {
  LegacyFileBuilder b(LegacyKind::kFirstSetup);
  b.Channel(3, "Boost In", 9)
      .TableSensor(9, "Boost Sens", 7, 1.9f, -5.0f, 250.0f)  // table 1 (integer part)
      .Table(1, "Boost", {{0, 0}, {10, 20}, {30, 40}, {0, 0}, {5, 0}}, 0.1f)
      .Table(2, "Table 2", {{1, 1}, {2, 2}, {3, 3}}, 1.0f)  // default name: skipped
      .Table(3, "Hollow", {{9, 9}, {0, 5}, {7, 0}}, 1.0f)   // x2 and y3 zero: skipped
      .Table(4, "Only Y3", {{0, 0}, {0, 0}, {0, 6}}, 2.0f)
      .Module(3, 4);
  LegacyResult r = Convert(b);
  ASSERT_EQ(r.code, ErrNone);
  AbstractSession& s = *r.session;
  EXPECT_EQ(s.GetItemCount(101), 0);  // the table sensor is described by its table
  ASSERT_EQ(s.OpenItem(107, 0), ErrNone);
  ExpectEntry(s, 0, 102, "Boost");
  s.CloseItem();
  ASSERT_EQ(s.GetItemCount(102), 2);
  ASSERT_EQ(s.OpenItem(102, 0), ErrNone);
  ExpectFields(s, {{1002, "Boost"}, {1010, 7}, {1005, -5}, {1006, 250}});
  const uint16_t points[][2] = {{0, 0}, {10, 20}, {30, 40}, {5, 0}};  // the empty fourth dropped
  ASSERT_EQ(s.GetItemCount(108), 4);
  for (int k = 0; k < 4; ++k)
    ExpectBlock(s, 108, k,
                {{1025, points[k][0]}, {1031, points[k][1] * static_cast<double>(0.1f)}});
  s.CloseItem();
  // A table no sensor names keeps the initial limits.
  ASSERT_EQ(s.OpenItem(102, 1), ErrNone);
  ExpectFields(s, {{1002, "Only Y3"}, {1010, 0}, {1005, 0}, {1006, 255}});
  ASSERT_EQ(s.GetItemCount(108), 2);
  ExpectBlock(s, 108, 1, {{1025, 0}, {1031, 12}});
}

TEST(LegacyConvert, ModuleAddressesDependOnTheFileType) {
  const std::vector<uint8_t> samples = {0x11, 0x22, 0x33, 0x44};
  for (LegacyKind kind : {LegacyKind::kSecondDataV1, LegacyKind::kSecondDataV2}) {
    LegacyFileBuilder b(kind);
    // Far enough out that b0 is not zero, so the two address rules differ.
    b.Module(1, 9, samples).RecordingLength(0, 1000).DataStart(0x12345);
    const auto address = LegacyAddressBytes(kind == LegacyKind::kSecondDataV1, 0x12345);
    ASSERT_NE(address[0], 0);
    LegacyResult r = Convert(b);
    ASSERT_EQ(r.code, ErrNone);
    AbstractSession& s = *r.session;
    ASSERT_EQ(s.OpenItem(106, 0), ErrNone);
    EXPECT_EQ(ValueTids(s), (Tids{1028}));
    EXPECT_EQ(ProbeBytes(s, 1028), std::vector<uint8_t>(address.begin(), address.end()));
    s.CloseItem();
    ASSERT_EQ(s.OpenItem(135, 0), ErrNone);
    EXPECT_EQ(ProbeBytes(s, 1063), samples) << b.FileType();
  }
}

TEST(LegacyConvert, SameTreeUnderEveryPolicy) {
  LegacyFileBuilder b(LegacyKind::kFirstData);
  b.Channel(2, "Rpm", 5).Sensor(5, "Rpm Sens", 0, {1, 2, 3, 4}).Module(2, 9, {9, 8, 7, 6});
  b.RecordingLength(0, 1500);
  for (PolicyKind kind : {PolicyKind::kMemory, PolicyKind::kMapped, PolicyKind::kStreamed}) {
    LegacyResult r = Convert(b, kind);
    if (r.session == nullptr) continue;  // policy not in this build
    ASSERT_EQ(r.code, ErrNone);
    AbstractSession& s = *r.session;
    EXPECT_EQ(ProbeU32(s, 1018), 1500u);
    ASSERT_EQ(s.OpenItem(135, 0), ErrNone);
    EXPECT_EQ(ProbeBytes(s, 1063), (std::vector<uint8_t>{9, 8, 7, 6}));
    s.CloseItem();
    ASSERT_EQ(s.OpenItem(101, 0), ErrNone);
    EXPECT_EQ(ProbeText(s, 1002), "Rpm Sens");
  }
}

}  // namespace
}  // namespace kestron4::test
