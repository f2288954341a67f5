// The referenced blocks of the configuration export: the four groups, their
// numbering, and the content written for each kind of referenced item.
#include <vector>

#include "export/qf73_fixture.h"

namespace kestron4::testing_qf73 {
namespace {

using Qf73Referenced = Qf73Fixture;

// Channels take their type and identity fields from the module their holding
// block stands for; the item referring to them has entries but no type entry.
TEST_F(Qf73Referenced, ChannelsFollowTheCodeOfTheirModule) {
  std::vector<uint32_t> channels;  // in blocks 0 (two), 1, 2 and 5 of item 500
  Enter(500);
  channels.push_back(
      Target(100, 10, {VText(1002, "c0"), V(1124, 0x1234), V(1059, 5), V(1143, 9), V(8001, 3)}));
  channels.push_back(Target(100, 11, {VText(1002, "c1"), VRaw(1144, "\1\2\3\4"), V(1059, 6)}));
  Leave();
  Enter(500);
  channels.push_back(Target(100, 12, {VText(1002, "c2"), V(1029, 0x0102)}));
  Leave();
  Enter(500);
  channels.push_back(Target(100, 13, {VText(1002, "c3")}));
  Leave();
  Item(500);
  Item(500);
  Enter(500);
  channels.push_back(Target(100, 15, {VText(1002, "c5"), V(1029, 7)}));
  Leave();
  Enter(23);
  for (const uint8_t code : {1, 255, 0}) Item(143, {V(1091, code)});
  Enter(160, {VText(1064, "x.bin")});
  const uint32_t holder = Mark(1);
  for (uint16_t c = 0; c < channels.size(); ++c) Ref(c + 1, channels[c]);
  Ref(9, channels[0]);  // the same channel again: one block
  Leave();
  SectionReferring({holder});

  const Qf73Parts parts = ExportAndSplit();
  ASSERT_EQ(parts.referenced, 6);
  // clang-format off
  const Bytes c0 = Bytes().T16(1040, 19).Text(1002, "c0").U16(1059).U8(0x12).U8(0x34)
                          .T8(1125, 1).T16(8001, 3).T32(kKey, 10).U16(0);
  const Bytes c1 = Bytes().T16(1040, 19).Text(1002, "c1").U16(1143).Raw("\2\1\4\3")
                          .T8(1125, 1).U16(1144).Raw("\1\2\3\4").T16(1059, 6).T32(kKey, 11)
                          .U16(0);
  // clang-format on
  EXPECT_EQ(parts.ref_blocks.at(0), c0.Hex());
  EXPECT_EQ(parts.ref_blocks.at(1), c1.Hex());
  EXPECT_EQ(parts.ref_blocks.at(2),
            Bytes().T16(1040, 51).Text(1002, "c2").T16(1029, 0x0102).U16(0).Hex());
  EXPECT_EQ(parts.ref_blocks.at(3),
            Bytes().T16(1040, 3).Text(1002, "c3").T16(1029, 0).U16(0).Hex());
  // Its block sits at position 5, past the three module codes: default code.
  EXPECT_EQ(parts.ref_blocks.at(4),
            Bytes().T16(1040, 3).Text(1002, "c5").T16(1029, 7).U16(0).Hex());
  // Entries but none numbered 65: written as an item holding its own data.
  EXPECT_EQ(parts.ref_blocks.at(5), Bytes().T16(1040, 17).Text(1002, "x.bin").U16(0).Hex());
}

// Targets found inside a referenced item go to B (kind 123), C (other kinds)
// or D (kind 107); an entry numbered 70 of another kind is not followed.
TEST_F(Qf73Referenced, ReferencedItemsFeedGroupsBCAndD) {
  Enter(23);
  const uint32_t type = Target(117, 20, {V(8001, 77), VText(1002, "not written")});
  const uint32_t plain = Target(123, 21, {VText(1002, "b"), V(1049, 0x0102)});
  const uint32_t other = Target(153, 22, {VText(1064, "c-alt"), V(8001, 1)});
  const uint32_t ignored = Target(153, 23);
  Enter(107);
  S().InsertValue(1063, "zz", 2);  // a blob without its size cannot be read
  const uint32_t nested = Mark(24);
  Leave();
  Enter(160, {VText(1002, "why"), V(1124, 0x0A0B), VRaw(1144, "\1\2\3\4"), V(1040, 99)});
  const uint32_t item = Mark(25);
  Ref(65, type);
  Ref(2, plain);
  Ref(3, other);
  Ref(4, nested);
  Ref(70, ignored);
  Ref(6, other);
  Leave();
  SectionReferring({item});

  const Qf73Parts parts = ExportAndSplit();
  ASSERT_EQ(parts.referenced, 4);  // B: plain; C: other; D: item, nested
  EXPECT_EQ(parts.ref_blocks.at(0),
            Bytes().T16(1040, 13).Text(1002, "b").T16(1049, 0x0102).U16(0).Hex());
  EXPECT_EQ(parts.ref_blocks.at(1),
            Bytes().T16(1040, 20).Text(1002, "c-alt").T16(8001, 1).T32(kKey, 22).U16(0).Hex());
  // clang-format off
  const Bytes why = Bytes().T16(1040, 7).Text(1002, "why").U16(1124).U8(0x0A).U8(0x0B)
                           .U16(1144).Raw("\2\1\4\3").T32(kKey, 25)
                           .T16(8001, 77).T32(kKey, 20)  // the type item's values but its name
                           .U16(0);
  // clang-format on
  EXPECT_EQ(parts.ref_blocks.at(2), why.Hex());
  EXPECT_EQ(parts.ref_blocks.at(3), Bytes().T16(1040, 17).U16(0).Hex());
}

// The content copied from the item a type entry leads to, kind by kind.
TEST_F(Qf73Referenced, KindContentComesFromTheTypeTarget) {
  Enter(23);
  Enter(102, {V(1010, 1)});
  Item(108, {V(1025, 3), V(1031, 1.5)});
  Item(108, {V(1026, 2.5)});  // no y: x again
  Item(108);                  // neither: zeros
  const uint32_t table = Mark(30);
  Leave();
  Enter(120);
  Item(110, {V(1054, 2), VText(1007, "L0"), V(1048, 5)});
  Item(110, {V(1054, 1), VText(1002, "N1"), V(10016, 0x11223344)});
  Item(110, {V(1054, 2)});  // same key as the first: after it; no label: empty
  const uint32_t list = Mark(31);
  Leave();
  Enter(130);
  Item(110, {V(8001, 1), VText(1002, "a")});
  Item(110);
  const uint32_t rows = Mark(32);
  Leave();
  const uint32_t data = Target(136, 33, {VText(1064, "f"), VData("hi")});
  const char* const names[] = {"d102", "d120", "d130", "d136", "lost"};
  const uint32_t types[] = {table, list, rows, data};
  std::vector<uint32_t> items;
  for (uint32_t i = 0; i < 5; ++i) {
    Enter(160, {VText(1002, names[i])});
    items.push_back(Mark(60 + i));
    if (i < 4) {
      Ref(65, types[i]);
    } else {
      RawRef(65, 130, 999);  // a type that cannot be reached: no content
    }
    Leave();
  }
  SectionReferring({items[0], items[1], items[2], items[3], items[4]});

  const Qf73Parts parts = ExportAndSplit();
  ASSERT_EQ(parts.referenced, 5);
  // clang-format off
  const Bytes d102 = Bytes().T16(1040, 2).Text(1002, "d102").T32(kKey, 60).T8(1010, 1)
                            .T16(1041, 3).F64(1026, 3.0).F64(1031, 1.5)
                            .F64(1026, 2.5).F64(1031, 2.5).F64(1026, 0.0).F64(1031, 0.0).U16(0);
  const Bytes d120 = Bytes().T16(1040, 10).Text(1002, "d120").T32(kKey, 61).T16(1041, 3)
                            .Text(1007, "N1").T32(10016, 0x11223344)
                            .Text(1007, "L0").T16(1048, 5).T8(1007, 0).U16(0);
  const Bytes d130 = Bytes().T16(1040, 18).Text(1002, "d130").T32(kKey, 62).T16(1041, 2)
                            .T16(8001, 1).Text(1002, "a").U16(0);
  const Bytes d136 = Bytes().T16(1040, 17).Text(1002, "d136").T32(kKey, 63)
                            .Text(1002, "f").T32(1066, 2).U16(1063).Raw("hi").U16(0);
  // clang-format on
  EXPECT_EQ(parts.ref_blocks.at(0), d102.Hex());
  EXPECT_EQ(parts.ref_blocks.at(1), d120.Hex());
  EXPECT_EQ(parts.ref_blocks.at(2), d130.Hex());
  EXPECT_EQ(parts.ref_blocks.at(3), d136.Hex());
  EXPECT_EQ(parts.ref_blocks.at(4),
            Bytes().T16(1040, 18).Text(1002, "lost").T32(kKey, 64).U16(0).Hex());
}

// Kinds whose block goes on with content of the item itself: records of its
// entries' references, numbered once the groups are complete.
TEST_F(Qf73Referenced, CompositeKindsWriteRecordsOfTheirEntries) {
  Enter(500);
  Target(100, 41, {VText(1002, "chA")});
  Target(100, 55);  // only a scan that went on past kind 125 would collect it
  Leave();
  Enter(23);
  for (const uint32_t id : {40, 48, 49}) Target(153, id);  // 48, 49 stay uncollected
  Target(107, 42);
  Target(123, 43, {VText(1002, "bb")});
  Enter(121, {VText(1002, "rname"), V(8001, 6), VText(1007, "rl")});
  Item(110, {VText(1007, "a"), VText(1016, "V")});
  Item(110, {VText(1007, "b")});
  const uint32_t r121 = Mark(44);
  Leave();
  const uint32_t r125 = Target(125, 45, {V(8001, 8)});
  const uint32_t r186 = Target(186, 46, {V(8001, 9)});
  const uint32_t r195 = Target(195, 47, {V(8001, 2)});
  const uint32_t r203 = Target(203, 56);

  Enter(160, {VText(1002, "d121")});  // kind 121: every entry is a type entry
  const uint32_t d121 = Mark(50);
  Ref(65, r121);
  RawRef(2, 153, 48);  // a type entry too: not followed
  Enter(110, {V(1029, 1)});
  RawRef(5, 100, 41, "ch");
  Leave();
  Enter(110, {V(1029, 0)});
  RawRef(5, 107, 42, "dd");
  RawRef(6, 153, 40, "cc");  // inner kinds other than 100 and 107: not collected
  Leave();
  Item(110, {V(1029, 9)});  // past the type item's entries
  Item(110);
  Leave();

  Enter(160, {VText(1002, "d125")});  // kind 125 ends the scan
  const uint32_t d125 = Mark(51);
  Ref(65, r125);
  RawRef(2, 153, 49);
  RawRef(3, 195, 47);
  Enter(110);
  RawRef(5, 100, 55, "nb");
  Leave();
  Leave();

  Enter(160, {VText(1002, "d186")});
  const uint32_t d186 = Mark(52);
  Ref(65, r186);
  RawRef(1, 153, 40, "r1");
  RawRef(2, 123, 43);
  RawRef(3, 153, 40, "r3");  // beyond the entry count: no record
  Item(110, {V(1056, 4.5)});
  Item(110);
  Leave();

  Enter(160, {VText(1002, "d195")});
  const uint32_t d195 = Mark(53);
  Ref(65, r195);
  RawRef(9, 123, 43, nullptr, "nine");
  RawRef(1, 153, 40, "one");
  RawRef(4, 153, 40, "four");
  RawRef(70, 153, 40, "seventy");
  RawRef(1, 153, 40, "one-b");
  Enter(110, {VText(1007, "lbl0"), V(8001, 4)});
  RawRef(10, 100, 41, "in0");
  Put(VText(1002, "x"));
  Leave();
  Enter(110);
  RawRef(20, 107, 42, "in1");
  RawRef(30, 153, 40, "in1b");
  Leave();
  Leave();

  Enter(160, {VText(1002, "d203")});
  const uint32_t d203 = Mark(57);
  Ref(65, r203);
  Enter(110, {VText(1007, "z")});
  RawRef(3, 107, 42, "in2");
  Leave();
  Leave();

  // Kind 121 by its entry 65, but an earlier type entry of kind 125 ends the
  // scan: the inner entry's record has nothing kept for it.
  Enter(160, {VText(1002, "late")});
  const uint32_t late = Mark(58);
  RawRef(2, 125, 45);
  Ref(65, r121);
  Enter(110, {V(1029, 1)});
  RawRef(5, 107, 42, "in3");
  Leave();
  Leave();
  SectionReferring({d121, d125, d186, d195, d203, late});

  // A: chA 0; B: bb 1; C: the 153 of key 40 2; D: d121 3, d125 4, d186 5,
  // d195 6, d203 7, late 8, the 107 target 9.
  const Qf73Parts parts = ExportAndSplit();
  ASSERT_EQ(parts.referenced, 10);
  EXPECT_EQ(parts.ref_blocks.at(0),
            Bytes().T16(1040, 3).Text(1002, "chA").T16(1029, 0).U16(0).Hex());
  const Bytes hash = Bytes().U16(1016).U8(2).Raw("#", 2);
  // clang-format off
  const Bytes d121_block = Bytes().T16(1040, 11).Text(1002, "d121").T32(kKey, 50).T16(1041, 4)
      .Text(1007, "b").Add(hash).Text(1007, "a").Text(1016, "V").Add(hash).Add(hash)
      .Text(1007, "rl").T16(8001, 6).T32(kKey, 44)
      .Record("ch", 0, 5).Record("dd", 9, 6).Record("cc", 0xFFFF, 7).U16(0);
  const Bytes d125_block = Bytes().T16(1040, 15).Text(1002, "d125").T32(kKey, 51)
      .T16(8001, 8).T32(kKey, 45).U16(0);
  const Bytes d186_block = Bytes().T16(1040, 35).Text(1002, "d186").T32(kKey, 52)
      .T16(8001, 9).T32(kKey, 46).T16(1041, 2).F64(1056, 4.5).Record("r1", 2, 1).U16(0);
  const Bytes d195_block = Bytes().T16(1040, 40).Text(1002, "d195").T32(kKey, 53)
      .T16(8001, 2).T32(kKey, 47).T16(1041, 2)
      .Record("in0", 0, 10).Text(1007, "lbl0").T16(8001, 4)
      .Record("in1", 9, 21).Record("in1b", 0xFFFF, 31)
      .Record("one", 2, 1).Record("one-b", 2, 1).Record("four", 2, 4).Record("nine", 1, 9)
      .U16(0);
  const Bytes d203_block = Bytes().T16(1040, 45).Text(1002, "d203").T32(kKey, 57)
      .T32(kKey, 56).T16(1041, 1).Record("in2", 9, 3).Text(1007, "z").U16(0);
  const Bytes late_block = Bytes().T16(1040, 11).Text(1002, "late").T32(kKey, 58).T16(1041, 1)
      .Text(1007, "b").Add(hash).Text(1007, "rl").T16(8001, 6).T32(kKey, 44)
      .Record("in3", 0xFFFF, 5).U16(0);
  // clang-format on
  EXPECT_EQ(parts.ref_blocks.at(7), d203_block.Hex());
  EXPECT_EQ(parts.ref_blocks.at(8), late_block.Hex());
  EXPECT_EQ(parts.ref_blocks.at(3), d121_block.Hex());
  EXPECT_EQ(parts.ref_blocks.at(4), d125_block.Hex());
  EXPECT_EQ(parts.ref_blocks.at(5), d186_block.Hex());
  EXPECT_EQ(parts.ref_blocks.at(6), d195_block.Hex());
}

}  // namespace
}  // namespace kestron4::testing_qf73
