// The tree a converted setup file produces: logger skeleton, channel
// references, settings, sensors, tables, module addresses, channel items.
#include "format/legacy/legacy_convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "export/channel_names.h"
#include "format/legacy/legacy_name.h"
#include "support/legacy_file_builder.h"
#include "support/legacy_probe.h"

namespace kestron4::test {
namespace {

using Tids = std::vector<Tid>;

// In reference entry k of the current channel reference.
void ExpectEntry(AbstractSession& s, int k, uint16_t number, uint16_t target,
                 const std::string& name) {
  ASSERT_EQ(s.OpenItem(112, k), ErrNone);
  EXPECT_EQ(ValueTids(s), (Tids{1052, 1024, 1002}));
  EXPECT_EQ(ProbeU16(s, 1052), number);
  EXPECT_EQ(ProbeU16(s, 1024), target);
  EXPECT_EQ(ProbeText(s, 1002), name);
  s.CloseItem();
}

LegacyResult Convert(const LegacyFileBuilder& b, PolicyKind kind = PolicyKind::kMemory) {
  return ConvertBytes(b.Build(), b.FileType(), kind);
}

TEST(LegacyName, EndsAfterLastPrintableAndCutsAtControlBytes) {
  const auto name = [](const char* raw) {
    uint8_t field[12];
    std::memcpy(field, raw, 12);
    return legacy::LegacyName(field);
  };
  EXPECT_EQ(name("Oil Temp    "), "Oil Temp");
  EXPECT_EQ(name("A B  C      "), "A B  C");
  EXPECT_EQ(name("ABCDEFGHIJKL"), "ABCDEFGHIJKL");
  EXPECT_EQ(name("            "), "            ");  // nothing printable: all twelve kept
  EXPECT_EQ(name("AB\x01"
                 "CD       "),
            "AB");
  EXPECT_EQ(name("AB}C        "), "AB");    // 0x7D cuts ...
  EXPECT_EQ(name("AB  }       "), "AB  ");  // ... yet counts as printable for the end
  EXPECT_EQ(name("AB~~~~~~~~~~"), "AB");    // 0x7E is not printable here
  EXPECT_EQ(name("\0\0\0\0\0\0\0\0\0\0\0\0"), "");
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
  EXPECT_EQ(ItemTids(s), (Tids{107, 104, 101, 102, 106, 100, 120, 125}));
  EXPECT_TRUE(ValueTids(s).empty());
  EXPECT_EQ(s.GetItemCount(107), 2 + 4);
  EXPECT_EQ(s.GetItemCount(106), 2);
  EXPECT_EQ(s.GetItemCount(100), 124);
  s.GotoRoot();
  EXPECT_EQ(ItemTids(s), (Tids{2}));
  EXPECT_EQ(s.GetItemCount(2), 1);
  ASSERT_EQ(s.OpenItem(2, 0), ErrNone);

  ASSERT_EQ(s.OpenItem(107, 0), ErrNone);
  EXPECT_EQ(ValueTids(s), (Tids{1050, 1040, 1002}));
  EXPECT_EQ(ProbeU8(s, 1050), 6);
  EXPECT_EQ(ProbeU16(s, 1040), 1);
  EXPECT_EQ(ProbeText(s, 1002), "Oil Press");
  EXPECT_EQ(ItemTids(s), (Tids{112}));
  EXPECT_EQ(s.GetItemCount(112), 2);
  ExpectEntry(s, 0, 65, 101, "Press Sens");
  ExpectEntry(s, 1, 1, 100, "Analogue 5");
  s.CloseItem();
  ASSERT_EQ(s.OpenItem(107, 1), ErrNone);
  EXPECT_EQ(ProbeU8(s, 1050), 16);
  EXPECT_EQ(ProbeText(s, 1002), "Wheel Spd");
  ExpectEntry(s, 0, 65, 101, "Sensor 4");
  ExpectEntry(s, 1, 1, 100, "CAN 1");
  s.CloseItem();

  ASSERT_EQ(s.OpenItem(107, 2), ErrNone);
  EXPECT_EQ(ValueTids(s), (Tids{1040, 1002}));
  EXPECT_EQ(ProbeU16(s, 1040), 2);
  EXPECT_EQ(ProbeText(s, 1002), "Logger Status");
  ExpectEntry(s, 0, 65, 120, "Logger Status");
  ExpectEntry(s, 1, 1, 100, "Logger Status Raw");
  s.CloseItem();
  for (int k = 0; k < 3; ++k) {
    const std::string ecu = "ECU String " + std::to_string(k + 1);
    ASSERT_EQ(s.OpenItem(107, 3 + k), ErrNone);
    EXPECT_EQ(ValueTids(s), (Tids{1002, 1040}));
    EXPECT_EQ(ProbeText(s, 1002), ecu);
    EXPECT_EQ(ProbeU16(s, 1040), 2);
    ExpectEntry(s, 0, 65, 125, "8 byte string");
    ExpectEntry(s, 1, 1, 100, ecu);
    s.CloseItem();
  }

  ASSERT_EQ(s.OpenItem(104, 0), ErrNone);
  EXPECT_EQ(ValueTids(s), (Tids{1024, 1013}));
  EXPECT_EQ(ProbeU16(s, 1024), 0x7E);
  EXPECT_EQ(ProbeU16(s, 1013), 0x1234);
  s.CloseItem();

  for (std::size_t i = 0; i < 124; ++i) {
    ASSERT_EQ(s.OpenItem(100, static_cast<int32_t>(i)), ErrNone);
    const std::size_t row = i <= 120 ? i : 127 + (i - 121);
    static constexpr uint16_t kEcuCodes[] = {0xDBD7, 0xDBDF, 0xDCD7};
    uint16_t code = static_cast<uint16_t>(0xFC00 + 2 * i);
    if (i == 120) code = 0xD99C;
    if (i > 120) code = kEcuCodes[i - 121];
    EXPECT_EQ(ValueTids(s), (Tids{1002, 1015}));
    EXPECT_EQ(ProbeText(s, 1002), ChannelNameTable::Name(row)) << i;
    EXPECT_EQ(ProbeU16(s, 1015), code) << i;
    s.CloseItem();
  }

  ASSERT_EQ(s.OpenItem(120, 0), ErrNone);
  EXPECT_EQ(ProbeText(s, 1002), "Logger Status");
  ASSERT_EQ(s.GetItemCount(110), 6);
  const struct {
    uint16_t mask, state;
    const char* text;
  } kStates[] = {{0, 6, "No Card"},
                 {1, 5, "Card In"},
                 {2, 3, "Card Full"},
                 {4, 4, "Card Recording"},
                 {8, 2, "Card Write Protected"},
                 {16, 1, "Setup Failure"}};
  for (int k = 0; k < 6; ++k) {
    ASSERT_EQ(s.OpenItem(110, k), ErrNone);
    EXPECT_EQ(ValueTids(s), (Tids{1048, 1054, 1007}));
    EXPECT_EQ(ProbeU16(s, 1048), kStates[k].mask);
    EXPECT_EQ(ProbeU16(s, 1054), kStates[k].state);
    EXPECT_EQ(ProbeText(s, 1007), kStates[k].text);
    s.CloseItem();
  }
  s.CloseItem();
  ASSERT_EQ(s.OpenItem(125, 0), ErrNone);
  EXPECT_EQ(ValueTids(s), (Tids{1002, 1041}));
  EXPECT_EQ(ProbeText(s, 1002), "8 byte string");
  EXPECT_EQ(ProbeU16(s, 1041), 8);
}

TEST(LegacyConvert, OnlyDataFilesCarryARecording) {
  const LegacyKind kinds[] = {LegacyKind::kFirstSetup, LegacyKind::kFirstData,
                              LegacyKind::kSecondSetup, LegacyKind::kSecondDataV1,
                              LegacyKind::kSecondDataV2};
  for (LegacyKind kind : kinds) {
    LegacyFileBuilder b(kind);
    b.Module(1, 9, {1, 2, 3, 4}).RecordingLength(0, 1000);
    LegacyResult r = Convert(b);
    ASSERT_EQ(r.code, ErrNone) << b.FileType();
    const Tids items = ItemTids(*r.session);
    const bool recorded = std::find(items.begin(), items.end(), 135) != items.end();
    EXPECT_EQ(recorded, b.IsData()) << b.FileType();
    EXPECT_EQ(std::find(items.begin(), items.end(), 133) != items.end(), b.IsData());
    EXPECT_EQ(ValueTids(*r.session).size(), b.IsData() ? 1u : 0u);
  }
  // The mark is compared exactly: a data magic written in capitals converts
  // as a setup file.
  LegacyFileBuilder upper(LegacyKind::kFirstData);
  upper.Module(1, 9, {1, 2, 3, 4}).RecordingLength(0, 1000);
  for (int k = 0; k < 4; ++k) upper.Poke(11 + k, static_cast<uint8_t>("DATA"[k]));
  LegacyResult r = Convert(upper);
  ASSERT_EQ(r.code, ErrNone);
  EXPECT_EQ(ItemTids(*r.session), (Tids{107, 104, 101, 102, 106, 100, 120, 125}));
}

TEST(LegacyConvert, NoModules) {
  LegacyFileBuilder b(LegacyKind::kSecondDataV2);
  LegacyResult r = Convert(b);
  ASSERT_EQ(r.code, ErrNone);
  AbstractSession& s = *r.session;
  // No modules, no sensors (every one has its default name), no tables: those
  // items are present without blocks, in the logger's order.
  EXPECT_EQ(ItemTids(s), (Tids{107, 104, 101, 102, 106, 100, 120, 125, 135, 133}));
  EXPECT_EQ(s.GetItemCount(101), 0);
  EXPECT_EQ(s.GetItemCount(135), 0);
  EXPECT_EQ(ValueTids(s), (Tids{1018}));
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
  const struct {
    const char* name;
    uint8_t byte;
    float f[4];
  } kExpected[] = {{"Sensor 3", 1, {1.5f, -2.25f, 100.0f, 0.125f}},
                   {"Oil Temp", 0, {3.0f, 4.0f, 5.0f, 6.0f}},
                   {"sensor low", 2, {7.0f, 0, 0, 0}}};
  for (int k = 0; k < 3; ++k) {
    ASSERT_EQ(s.OpenItem(101, k), ErrNone);
    EXPECT_EQ(ValueTids(s), (Tids{1002, 1010, 1011, 1012, 1005, 1006}));
    EXPECT_EQ(ProbeText(s, 1002), kExpected[k].name);
    EXPECT_EQ(ProbeU8(s, 1010), kExpected[k].byte);
    EXPECT_EQ(ProbeF64(s, 1011), kExpected[k].f[0]);
    EXPECT_EQ(ProbeF64(s, 1012), kExpected[k].f[1]);
    EXPECT_EQ(ProbeF64(s, 1005), kExpected[k].f[2]);
    EXPECT_EQ(ProbeF64(s, 1006), kExpected[k].f[3]);
    s.CloseItem();
  }
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
  ExpectEntry(s, 0, 65, 102, "Boost");
  s.CloseItem();

  ASSERT_EQ(s.GetItemCount(102), 2);
  ASSERT_EQ(s.OpenItem(102, 0), ErrNone);
  EXPECT_EQ(ValueTids(s), (Tids{1002, 1010, 1005, 1006}));
  EXPECT_EQ(ProbeText(s, 1002), "Boost");
  EXPECT_EQ(ProbeU8(s, 1010), 7);
  EXPECT_EQ(ProbeF64(s, 1005), -5.0);
  EXPECT_EQ(ProbeF64(s, 1006), 250.0);
  const struct { uint16_t x, y; } kPoints[] = {{0, 0}, {10, 20}, {30, 40}, {5, 0}};
  ASSERT_EQ(s.GetItemCount(108), 4);
  for (int k = 0; k < 4; ++k) {
    ASSERT_EQ(s.OpenItem(108, k), ErrNone);
    EXPECT_EQ(ValueTids(s), (Tids{1025, 1031}));
    EXPECT_EQ(ProbeU16(s, 1025), kPoints[k].x);
    EXPECT_EQ(ProbeF64(s, 1031), kPoints[k].y * static_cast<double>(0.1f));
    s.CloseItem();
  }
  s.CloseItem();

  // A table no sensor names keeps the initial limits.
  ASSERT_EQ(s.OpenItem(102, 1), ErrNone);
  EXPECT_EQ(ProbeText(s, 1002), "Only Y3");
  EXPECT_EQ(ProbeU8(s, 1010), 0);
  EXPECT_EQ(ProbeF64(s, 1005), 0.0);
  EXPECT_EQ(ProbeF64(s, 1006), 255.0);
  ASSERT_EQ(s.GetItemCount(108), 2);
  ASSERT_EQ(s.OpenItem(108, 1), ErrNone);
  EXPECT_EQ(ProbeU16(s, 1025), 0);
  EXPECT_EQ(ProbeF64(s, 1031), 12.0);
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
