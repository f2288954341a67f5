// The referenced blocks of the configuration export: the four groups, their
// numbering, and the content written for each kind of referenced item.
#include <vector>

#include "export/qf73_fixture.h"

namespace kestron4::testing_qf73 {
namespace {

class Qf73Referenced : public Qf73Fixture {
 protected:
  // A section whose entries refer (reference 1) to the given targets, in order.
  void SectionReferring(std::initializer_list<uint32_t> targets) {
    Enter(105);
    Enter(109);
    for (const uint32_t target : targets) {
      Enter(110);
      Ref(1, target);
      Leave();
    }
    Leave();
    Leave();
  }
};

// Channels take their type and identity fields from the module their holding
// block stands for; the item referring to them has entries but no type entry.
TEST_F(Qf73Referenced, ChannelsFollowTheCodeOfTheirModule) {
  // Channels in blocks 0 (two), 1, 2 and 5 of item 500.
  std::vector<uint32_t> channels;
  for (int block = 0; block < 6; ++block) {
    Enter(500);
    if (block == 0) {
      Enter(100);
      PutText(1002, "c0");
      Put16(1124, 0x1234);
      Put16(1059, 5);
      Put32(1143, 9);
      Put16(8001, 3);
      channels.push_back(Target(10));
      Leave();
      Enter(100);
      PutText(1002, "c1");
      PutBytes(1144, {1, 2, 3, 4});
      Put16(1059, 6);
      channels.push_back(Target(11));
      Leave();
    } else if (block != 3 && block != 4) {
      Enter(100);
      PutText(1002, block == 1 ? "c2" : block == 2 ? "c3" : "c5");
      if (block == 1) Put16(1029, 0x0102);
      if (block == 5) Put16(1029, 7);
      channels.push_back(Target(10 + block + 1));
      Leave();
    }
    Leave();
  }
  Enter(23);
  for (const uint8_t code : {1, 255, 0}) {
    Enter(143);
    Put8(1091, code);
    Leave();
  }
  Enter(160);
  PutText(1064, "x.bin");
  const uint32_t holder = Target(1);
  for (uint16_t c = 0; c < channels.size(); ++c) Ref(c + 1, channels[c]);
  Ref(9, channels[0]);  // the same channel again: one block
  Leave();
  Enter(105);
  Enter(109);
  Enter(110);
  Ref(1, holder, "x");
  Leave();
  Leave();
  Leave();

  const Qf73Parts parts = ExportAndSplit();
  ASSERT_EQ(parts.referenced, 6);
  ASSERT_EQ(parts.ref_blocks.size(), 6u);
  const Bytes c0 = Bytes()
                       .Tag16(1040, 19)
                       .Text(1002, "c0")
                       .U16(1059)
                       .Raw({0x12, 0x34})
                       .Tag8(1125, 1)
                       .Tag16(8001, 3)
                       .Tag32(kKey, 10)
                       .U16(0);
  const Bytes c1 = Bytes()
                       .Tag16(1040, 19)
                       .Text(1002, "c1")
                       .U16(1143)
                       .Raw({2, 1, 4, 3})
                       .Tag8(1125, 1)
                       .U16(1144)
                       .Raw({1, 2, 3, 4})
                       .Tag16(1059, 6)
                       .Tag32(kKey, 11)
                       .U16(0);
  const Bytes c2 = Bytes().Tag16(1040, 51).Text(1002, "c2").Tag16(1029, 0x0102).U16(0);
  const Bytes c3 = Bytes().Tag16(1040, 3).Text(1002, "c3").Tag16(1029, 0).U16(0);
  // Its block sits at position 5, past the three module codes: default code.
  const Bytes c5 = Bytes().Tag16(1040, 3).Text(1002, "c5").Tag16(1029, 7).U16(0);
  // Entries but none numbered 65: written as an item holding its own data.
  const Bytes x = Bytes().Tag16(1040, 17).Text(1002, "x.bin").U16(0);
  EXPECT_EQ(Hex(parts.ref_blocks[0]), Hex(c0.v()));
  EXPECT_EQ(Hex(parts.ref_blocks[1]), Hex(c1.v()));
  EXPECT_EQ(Hex(parts.ref_blocks[2]), Hex(c2.v()));
  EXPECT_EQ(Hex(parts.ref_blocks[3]), Hex(c3.v()));
  EXPECT_EQ(Hex(parts.ref_blocks[4]), Hex(c5.v()));
  EXPECT_EQ(Hex(parts.ref_blocks[5]), Hex(x.v()));
  // The entry's reference field names the holder after the five channels.
  const Bytes group = Bytes().Tag16(1041, 1).Record("x", 5, 1).Tag8(1014, 0).U16(0);
  EXPECT_EQ(Hex(parts.section_blocks[0]),
            Hex(Bytes().Tag16(109, 1).Tag16(152, 0).U16(0).Block(group).v()));
}


// Targets found inside a referenced item go to B (kind 123), C (other kinds)
// or D (kind 107); an entry numbered 70 of another kind is not followed.
TEST_F(Qf73Referenced, ReferencedItemsFeedGroupsBCAndD) {
  Enter(23);
  Enter(117);
  Put16(8001, 77);
  PutText(1002, "type name is not written");
  const uint32_t type = Target(20);
  Leave();
  Enter(123);
  PutText(1002, "b");
  Put16(1049, 0x0102);
  const uint32_t plain = Target(21);
  Leave();
  Enter(153);
  PutText(1064, "c-alt");
  Put16(8001, 1);
  const uint32_t other = Target(22);
  Leave();
  Enter(153);
  const uint32_t ignored = Target(23);
  Leave();
  Enter(107);
  S().InsertValue(1063, "zz", 2);  // a blob without its size cannot be read
  const uint32_t nested = Target(24);
  Leave();
  Enter(160);
  PutText(1002, "why");
  Put16(1124, 0x0A0B);
  PutBytes(1144, {1, 2, 3, 4});
  Put16(1040, 99);
  const uint32_t item = Target(25);
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
  ASSERT_EQ(parts.ref_blocks.size(), 4u);
  EXPECT_EQ(Hex(parts.ref_blocks[0]),
            Hex(Bytes().Tag16(1040, 13).Text(1002, "b").Tag16(1049, 0x0102).U16(0).v()));
  EXPECT_EQ(Hex(parts.ref_blocks[1]), Hex(Bytes()
                                              .Tag16(1040, 20)
                                              .Text(1002, "c-alt")
                                              .Tag16(8001, 1)
                                              .Tag32(kKey, 22)
                                              .U16(0)
                                              .v()));
  const Bytes why = Bytes()
                        .Tag16(1040, 7)
                        .Text(1002, "why")
                        .U16(1124)
                        .Raw({0x0A, 0x0B})
                        .U16(1144)
                        .Raw({2, 1, 4, 3})
                        .Tag32(kKey, 25)
                        .Tag16(8001, 77)  // the type item's values but its name
                        .Tag32(kKey, 20)
                        .U16(0);
  EXPECT_EQ(Hex(parts.ref_blocks[2]), Hex(why.v()));
  EXPECT_EQ(Hex(parts.ref_blocks[3]), Hex(Bytes().Tag16(1040, 17).U16(0).v()));
  // The main section's field: first block of D, after B and C.
  const Bytes group = Bytes().Tag16(1041, 1).U16(0);
  EXPECT_EQ(Hex(parts.section_blocks[0]),
            Hex(Bytes().Tag16(109, 1).Tag16(152, 0).U16(0).Block(group).v()));
}

// The content copied from the item a type entry leads to, kind by kind.
TEST_F(Qf73Referenced, KindContentComesFromTheTypeTarget) {
  Enter(23);
  Enter(102);
  Put8(1010, 1);
  Enter(108);
  Put16(1025, 3);
  PutF64(1031, 1.5);
  Leave();
  Enter(108);
  PutF64(1026, 2.5);  // no y: x again
  Leave();
  Enter(108);  // neither: zeros
  Leave();
  const uint32_t table = Target(30);
  Leave();
  Enter(120);
  Enter(110);
  Put16(1054, 2);
  PutText(1007, "L0");
  Put16(1048, 5);
  Leave();
  Enter(110);
  Put16(1054, 1);
  PutText(1002, "N1");
  Put32(10016, 0x11223344);
  Leave();
  Enter(110);  // same key as the first: after it; no label: empty
  Put16(1054, 2);
  Leave();
  const uint32_t list = Target(31);
  Leave();
  Enter(130);
  Enter(110);
  Put16(8001, 1);
  PutText(1002, "a");
  Leave();
  Enter(110);
  Leave();
  const uint32_t rows = Target(32);
  Leave();
  Enter(136);
  PutText(1064, "f");
  PutData("hi");
  const uint32_t data = Target(33);
  Leave();

  uint32_t items[5] = {};
  const char* const names[5] = {"d102", "d120", "d130", "d136", "lost"};
  const uint32_t types[4] = {table, list, rows, data};
  for (int i = 0; i < 5; ++i) {
    Enter(160);
    PutText(1002, names[i]);
    items[i] = Target(60 + i);
    if (i < 4) {
      Ref(65, types[i]);
    } else {
      RawRef(65, 130, 999);  // a type that cannot be reached: no content
    }
    Leave();
  }
  SectionReferring({items[0], items[1], items[2], items[3], items[4]});

  const Qf73Parts parts = ExportAndSplit();
  ASSERT_EQ(parts.ref_blocks.size(), 5u);
  const Bytes d102 = Bytes()
                         .Tag16(1040, 2)
                         .Text(1002, "d102")
                         .Tag32(kKey, 60)
                         .Tag8(1010, 1)
                         .Tag16(1041, 3)
                         .U16(1026).F64(3.0).U16(1031).F64(1.5)
                         .U16(1026).F64(2.5).U16(1031).F64(2.5)
                         .U16(1026).F64(0.0).U16(1031).F64(0.0)
                         .U16(0);
  const Bytes d120 = Bytes()
                         .Tag16(1040, 10)
                         .Text(1002, "d120")
                         .Tag32(kKey, 61)
                         .Tag16(1041, 3)
                         .Text(1007, "N1").Tag32(10016, 0x11223344)
                         .Text(1007, "L0").Tag16(1048, 5)
                         .U16(1007).U8(0)
                         .U16(0);
  const Bytes d130 = Bytes()
                         .Tag16(1040, 18)
                         .Text(1002, "d130")
                         .Tag32(kKey, 62)
                         .Tag16(1041, 2)
                         .Tag16(8001, 1).Text(1002, "a")
                         .U16(0);
  const Bytes d136 = Bytes()
                         .Tag16(1040, 17)
                         .Text(1002, "d136")
                         .Tag32(kKey, 63)
                         .Text(1002, "f").Tag32(1066, 2).U16(1063).Raw("hi", 2)
                         .U16(0);
  const Bytes lost = Bytes().Tag16(1040, 18).Text(1002, "lost").Tag32(kKey, 64).U16(0);
  EXPECT_EQ(Hex(parts.ref_blocks[0]), Hex(d102.v()));
  EXPECT_EQ(Hex(parts.ref_blocks[1]), Hex(d120.v()));
  EXPECT_EQ(Hex(parts.ref_blocks[2]), Hex(d130.v()));
  EXPECT_EQ(Hex(parts.ref_blocks[3]), Hex(d136.v()));
  EXPECT_EQ(Hex(parts.ref_blocks[4]), Hex(lost.v()));
}

// Kinds whose block goes on with content of the item itself: records of its
// entries' references, numbered after the groups are complete.
TEST_F(Qf73Referenced, CompositeKindsWriteRecordsOfTheirEntries) {
  Enter(500);
  Enter(100);
  PutText(1002, "chA");
  Target(41);
  Leave();
  Enter(100);  // only a scan that went on past kind 125 would collect it
  Target(55);
  Leave();
  Leave();
  Enter(23);
  for (const uint32_t id : {40, 48, 49}) {  // 48 and 49 must stay uncollected
    Enter(153);
    Target(id);
    Leave();
  }
  Enter(107);
  Target(42);
  Leave();
  Enter(123);
  PutText(1002, "bb");
  Target(43);
  Leave();
  Enter(121);
  PutText(1002, "rname");
  Put16(8001, 6);
  PutText(1007, "rl");
  Enter(110);
  PutText(1007, "a");
  PutText(1016, "V");
  Leave();
  Enter(110);
  PutText(1007, "b");
  Leave();
  const uint32_t r121 = Target(44);
  Leave();
  Enter(125);
  Put16(8001, 8);
  const uint32_t r125 = Target(45);
  Leave();
  Enter(186);
  Put16(8001, 9);
  const uint32_t r186 = Target(46);
  Leave();
  Enter(195);
  Put16(8001, 2);
  const uint32_t r195 = Target(47);
  Leave();

  Enter(160);  // kind 121: every entry is a type entry
  PutText(1002, "d121");
  const uint32_t d121 = Target(50);
  Ref(65, r121);
  RawRef(2, 153, 48);  // a type entry too: not followed
  Enter(110);
  Put16(1029, 1);
  RawRef(5, 100, 41, "ch");
  Leave();
  Enter(110);
  Put16(1029, 0);
  RawRef(5, 107, 42, "dd");
  RawRef(6, 153, 40, "cc");  // inner kinds other than 100 and 107 are not collected
  Leave();
  Enter(110);
  Put16(1029, 9);  // past the type item's entries
  Leave();
  Enter(110);
  Leave();
  Leave();

  Enter(160);  // kind 125 ends the scan
  PutText(1002, "d125");
  const uint32_t d125 = Target(51);
  Ref(65, r125);
  RawRef(2, 153, 49);  // after the end of the scan
  RawRef(3, 195, 47);
  Enter(110);
  RawRef(5, 100, 55, "nb");
  Leave();
  Leave();

  Enter(160);
  PutText(1002, "d186");
  const uint32_t d186 = Target(52);
  Ref(65, r186);
  RawRef(1, 153, 40, "r1");
  RawRef(2, 123, 43);
  RawRef(3, 153, 40, "r3");  // beyond the entry count: no record
  Enter(110);
  PutF64(1056, 4.5);
  Leave();
  Enter(110);
  Leave();
  Leave();

  Enter(160);
  PutText(1002, "d195");
  const uint32_t d195 = Target(53);
  Ref(65, r195);
  RawRef(9, 123, 43, nullptr, "nine");
  RawRef(1, 153, 40, "one");
  RawRef(4, 153, 40, "four");
  RawRef(70, 153, 40, "seventy");
  RawRef(1, 153, 40, "one-b");
  Enter(110);
  PutText(1007, "lbl0");
  Put16(8001, 4);
  RawRef(10, 100, 41, "in0");
  PutText(1002, "x");
  Leave();
  Enter(110);
  RawRef(20, 107, 42, "in1");
  RawRef(30, 153, 40, "in1b");
  Leave();
  Leave();
  SectionReferring({d121, d125, d186, d195});

  // A: chA 0; B: bb 1; C: the 153 target 2; D: d121 3, d125 4, d186 5,
  // d195 6, the 107 target 7.
  const Qf73Parts parts = ExportAndSplit();
  ASSERT_EQ(parts.referenced, 8);
  ASSERT_EQ(parts.ref_blocks.size(), 8u);
  EXPECT_EQ(Hex(parts.ref_blocks[0]),
            Hex(Bytes().Tag16(1040, 3).Text(1002, "chA").Tag16(1029, 0).U16(0).v()));
  const Bytes hash = Bytes().U16(1016).U8(2).Raw({'#', 0});
  const Bytes composite = Bytes()
                              .Tag16(1040, 11)
                              .Text(1002, "d121")
                              .Tag32(kKey, 50)
                              .Tag16(1041, 4)
                              .Text(1007, "b").Append(hash)
                              .Text(1007, "a").Text(1016, "V")
                              .Append(hash)
                              .Append(hash)
                              .Text(1007, "rl")
                              .Tag16(8001, 6)
                              .Tag32(kKey, 44)
                              .Record("ch", 0, 5)
                              .Record("dd", 7, 6)
                              .Record("cc", 0xFFFF, 7)
                              .U16(0);
  EXPECT_EQ(Hex(parts.ref_blocks[3]), Hex(composite.v()));
  const Bytes end = Bytes()
                        .Tag16(1040, 15)
                        .Text(1002, "d125")
                        .Tag32(kKey, 51)
                        .Tag16(8001, 8)
                        .Tag32(kKey, 45)
                        .U16(0);
  EXPECT_EQ(Hex(parts.ref_blocks[4]), Hex(end.v()));
  const Bytes counted = Bytes()
                            .Tag16(1040, 35)
                            .Text(1002, "d186")
                            .Tag32(kKey, 52)
                            .Tag16(8001, 9)
                            .Tag32(kKey, 46)
                            .Tag16(1041, 2)
                            .U16(1056).F64(4.5)
                            .Record("r1", 2, 1)
                            .U16(0);
  EXPECT_EQ(Hex(parts.ref_blocks[5]), Hex(counted.v()));
  const Bytes bus = Bytes()
                        .Tag16(1040, 40)
                        .Text(1002, "d195")
                        .Tag32(kKey, 53)
                        .Tag16(8001, 2)
                        .Tag32(kKey, 47)
                        .Tag16(1041, 2)
                        .Record("in0", 0, 10)
                        .Text(1007, "lbl0")
                        .Tag16(8001, 4)
                        .Record("in1", 7, 21)
                        .Record("in1b", 0xFFFF, 31)
                        .Record("one", 2, 1)
                        .Record("one-b", 2, 1)
                        .Record("four", 2, 4)
                        .Record("nine", 1, 9)
                        .U16(0);
  EXPECT_EQ(Hex(parts.ref_blocks[6]), Hex(bus.v()));
}

}  // namespace
}  // namespace kestron4::testing_qf73
