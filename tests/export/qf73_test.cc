// The configuration export: header, main sections, trailer, failures and
// what the export leaves behind in the session.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>

#include "export/qf73/qf73_export.h"
#include "export/qf73_fixture.h"
#include "export/qf73_forwarding_session.h"
#include "session/last_error.h"

namespace kestron4::testing_qf73 {
namespace {

Bytes Header(uint32_t length, uint16_t modules, uint16_t named, uint16_t sections,
             uint16_t referenced) {
  Bytes b;
  b.Raw("QF73 v3.00 file\x1a", 16).U32(length).Tag16(143, modules);
  if (named != 0) b.Tag16(163, named);
  return b.Tag16(105, sections).Tag16(107, referenced).U16(0);
}

const Bytes kEmptySection = Bytes().Tag16(109, 0).Tag16(152, 0).U16(0);

using Qf73Export = Qf73Fixture;

TEST_F(Qf73Export, WithoutModulesOrNamedEntriesTheWholeFileIsTheMinimalOne) {
  Enter(23);
  Enter(105);
  const std::vector<uint8_t> expected = Header(37, 1, 0, 1, 0)
                                            .U32(5)
                                            .Tag8(1091, 3)
                                            .U16(0)
                                            .Block(kEmptySection)
                                            .v();
  ASSERT_TRUE(Export());
  const std::vector<uint8_t> file = ReadFile();
  EXPECT_EQ(Hex(file), Hex(expected));
  EXPECT_EQ(file.size(), 57u);  // the length at 16 is the file length - 20
}

TEST_F(Qf73Export, ModulesAndNamedEntriesAppearInHeaderAndBlocks) {
  Enter(23);
  Enter(143);
  Put8(1091, 1);
  Put16(8001, 0x1234);
  PutText(4000, "long");  // long-variable values keep their 16-bit length
  Leave();
  Enter(143);  // no values: an empty block
  Leave();
  Enter(163);
  PutText(1002, "alpha");
  Put16(8002, 5);  // only the name of a named entry is written
  Leave();
  Enter(163);
  Leave();
  Enter(105);
  Leave();
  Enter(105);
  Leave();
  // A second configuration is ignored.
  Leave();
  Enter(23);
  Enter(143);

  const Bytes module0 =
      Bytes().Tag8(1091, 1).Tag16(8001, 0x1234).U16(4000).U16(5).Raw("long", 5).U16(0);
  const Bytes named0 = Bytes().Text(1002, "alpha").U16(0);
  Bytes body;
  body.Block(module0).Block(Bytes().U16(0)).Block(named0).Block(Bytes().U16(0));
  body.Block(kEmptySection).Block(kEmptySection);
  const uint32_t length = 16 + 4 + 4 + 4 + 4 + 6 + static_cast<uint32_t>(body.v().size()) - 20;
  const std::vector<uint8_t> expected = Header(length, 2, 2, 2, 0).Append(body).v();
  ASSERT_TRUE(Export());
  EXPECT_EQ(Hex(ReadFile()), Hex(expected));
}

TEST_F(Qf73Export, ColoursAreConvertedInSectionsGroupsAndEntriesOnly) {
  Enter(23);
  Enter(105);
  Put32(10001, 0x00FFFFFF);  // white
  Put32(10002, 0x000000FF);  // red
  Put32(10006, 0x00123456);
  Put16(8001, 7);
  Enter(109);
  PutText(1002, "group name is not written");
  Put8(1014, 9);
  Put32(10003, 0x0000FF00);  // green
  Enter(110);
  Put32(10004, 0x00FF0000);  // blue
  PutText(1002, "entry name is not written");
  Put32(10005, 0x00808080);
  Leave();
  Leave();
  Enter(152);
  Put32(10001, 0x00FFFFFF);  // an ordered entry copies its values
  Leave();

  const Bytes entry = Bytes().Tag16(1034, 0x001F).Tag16(1060, 0x8410);
  const Bytes group = Bytes().Tag16(1032, 0x07E0).Tag16(1041, 1).Append(entry).U16(0);
  const Bytes ordered = Bytes().Tag32(10001, 0x00FFFFFF).U16(0);
  const Bytes section = Bytes()
                            .Tag16(109, 1)
                            .Tag16(152, 1)
                            .Tag16(1043, 0xFFFF)
                            .Tag16(1033, 0xF800)
                            .Tag16(1061, 0x51A2)
                            .Tag16(8001, 7)
                            .U16(0)
                            .Block(group)
                            .Block(ordered);
  const Qf73Parts parts = ExportAndSplit();
  ASSERT_EQ(parts.section_blocks.size(), 1u);
  EXPECT_EQ(Hex(parts.section_blocks[0]), Hex(section.v()));
}

// Entries, direct reference entries and ordered entries of one section, all
// leading into group D.
TEST_F(Qf73Export, MainSectionReferencesAreNumberedAcrossGroupD) {
  Enter(23);
  Enter(160);
  const uint32_t t1 = Target(1);
  PutText(1064, "t1.bin");
  PutData("abc");
  Leave();
  Enter(160);
  const uint32_t t2 = Target(2);
  Leave();
  Enter(160);
  const uint32_t t4 = Target(4);
  Leave();

  Enter(105);
  Enter(109);
  PutText(1002, "grp");
  Put8(1014, 9);
  Put16(8001, 5);
  Enter(110);  // entry 1: named reference to t1
  Put16(8001, 1);
  Ref(1, t1, "e0");
  Leave();
  Enter(110);  // entry 2: unnamed reference to t1: collected, no record
  Ref(1, t1);
  Leave();
  Enter(110);  // entry 3: named reference to t2
  Ref(1, t2, "e2");
  Leave();
  Enter(110);  // entry 4: no reference
  Leave();
  // Direct entries, written sorted by number; the two 7s keep their order.
  RawRef(7, 160, 2, nullptr, "alt7");
  RawRef(3, 160, 99, "n3");  // leads nowhere: 0x7FFF, not counted
  RawRef(5, 160, 4);         // unnamed: collected only
  RawRef(7, 160, 4, "dup7");  // same number: follows the first 7
  Leave();
  Enter(152);  // ordered second (1054 = 2)
  Put16(1054, 2);
  Put16(8001, 20);
  Ref(66, t4, "o1");
  Leave();
  Enter(152);  // ordered first
  Put16(1054, 1);
  PutText(1002, "skip");
  Leave();
  Enter(152);  // ordered third: same key as the first, after it
  Put16(1054, 2);
  Ref(66, t1);
  Leave();

  const Bytes group = Bytes()
                          .Tag16(8001, 5)
                          .Tag16(1041, 4)
                          .Tag16(8001, 1)
                          .Record("e0", 0, 1)
                          .Tag8(1014, 9)
                          .Record("e2", 1, 3)
                          .Tag8(1014, 9)
                          .Record("n3", 0x7FFF, 3)
                          .Tag8(1014, 9)
                          .Record("alt7", 1, 7)
                          .Tag8(1014, 9)
                          .Record("dup7", 1, 7)
                          .Tag8(1014, 9)
                          .U16(0);
  const Bytes first = Bytes().Tag16(1054, 1).U16(0);
  const Bytes third = Bytes().Tag16(1054, 2).U16(0);
  // The ordered entry's record carries its entry's number (66).
  const Bytes second = Bytes().Record("o1", 2, 66).Tag16(1054, 2).Tag16(8001, 20).U16(0);
  const Bytes section = Bytes()
                            .Tag16(109, 1)
                            .Tag16(152, 3)
                            .U16(0)
                            .Block(group)
                            .Block(first)
                            .Block(second)
                            .Block(third);
  const Qf73Parts parts = ExportAndSplit();
  ASSERT_EQ(parts.section_blocks.size(), 1u);
  EXPECT_EQ(Hex(parts.section_blocks[0]), Hex(section.v()));
  // t1, t2, t4 once each, in the order first met; kind 136 without entries.
  ASSERT_EQ(parts.referenced, 3);
  ASSERT_EQ(parts.ref_blocks.size(), 3u);
  EXPECT_EQ(Hex(parts.ref_blocks[0]), Hex(Bytes()
                                              .Tag16(1040, 17)
                                              .Text(1002, "t1.bin")
                                              .Tag32(1066, 3)
                                              .U16(1063)
                                              .Raw("abc", 3)
                                              .U16(0)
                                              .v()));
  EXPECT_EQ(Hex(parts.ref_blocks[1]), Hex(Bytes().Tag16(1040, 17).U16(0).v()));
}

TEST_F(Qf73Export, TrailerAlignsBlobsAndPatchesTheirOffsets) {
  Enter(23);
  Enter(105);
  Enter(109);
  Put32(10012, 2);  // the third blob
  Enter(110);
  Put32(10012, 0);  // the first blob
  Leave();
  Enter(110);
  Put32(10012, 7);  // names no blob: keeps its ordinal
  Leave();
  Leave();
  Leave();
  Enter(199);
  PutData("abcde");
  Leave();
  Enter(199);  // no blob: still aligned, nothing appended
  Leave();
  Enter(199);
  PutData("xy");
  Leave();

  ASSERT_TRUE(Export());
  const std::vector<uint8_t> file = ReadFile();
  const Qf73Parts parts = SplitQf73(file);
  ASSERT_EQ(parts.error, "");
  // The length at 16 stops where the blocks end.
  EXPECT_EQ(parts.length, parts.trailer - 20);
  const std::size_t first = (parts.trailer + 3) / 4 * 4;
  const std::size_t third = (first + 5 + 3) / 4 * 4;
  ASSERT_EQ(file.size(), third + 2);
  EXPECT_EQ(std::string(file.begin() + first, file.begin() + first + 5), "abcde");
  EXPECT_EQ(std::string(file.begin() + third, file.end()), "xy");
  for (std::size_t i = parts.trailer; i < first; ++i) EXPECT_EQ(file[i], 0);
  for (std::size_t i = first + 5; i < third; ++i) EXPECT_EQ(file[i], 0);

  const Bytes group = Bytes()
                          .Tag32(10012, static_cast<uint32_t>(third))
                          .Tag16(1041, 2)
                          .Tag32(10012, static_cast<uint32_t>(first))
                          .Tag32(10012, 7)
                          .U16(0);
  const Bytes section = Bytes().Tag16(109, 1).Tag16(152, 0).U16(0).Block(group);
  ASSERT_EQ(parts.section_blocks.size(), 1u);
  EXPECT_EQ(Hex(parts.section_blocks[0]), Hex(section.v()));
}

// Nothing to export: no file, the caller's last error is untouched.
TEST_F(Qf73Export, WithoutConfigurationOrSectionsNoFileIsCreated) {
  SetLastError(ErrValueNotFound);
  EXPECT_FALSE(Export());  // no item 23
  EXPECT_FALSE(FileExists());
  EXPECT_EQ(GetLastError(), ErrValueNotFound);

  Enter(23);
  Enter(143);
  Leave();
  Leave();
  Leave();
  EXPECT_FALSE(Export());  // item 23 without item 105
  EXPECT_FALSE(FileExists());
  EXPECT_EQ(GetLastError(), ErrValueNotFound);
}

TEST_F(Qf73Export, AFileThatCannotBeWrittenGivesCode1AndLeavesNoPartialFile) {
  Enter(23);
  Enter(105);
  Leave();
  Leave();
  SetLastError(ErrNone);
  EXPECT_FALSE(ExportQF73v3(S(), nullptr));
  EXPECT_EQ(GetLastError(), ErrFileAccess);

  SetLastError(ErrNone);
  const std::string missing_dir = dir_ + "/missing/config.qf73";
  const std::u16string missing16(missing_dir.begin(), missing_dir.end());
  EXPECT_FALSE(ExportQF73v3(S(), missing16.c_str()));
  EXPECT_EQ(GetLastError(), ErrFileAccess);

  // A directory where the file should go: the directory stays as it was.
  ASSERT_EQ(mkdir(path_.c_str(), 0700), 0);
  SetLastError(ErrNone);
  EXPECT_FALSE(Export());
  EXPECT_EQ(GetLastError(), ErrFileAccess);
  struct stat st;
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  rmdir(path_.c_str());
}

TEST_F(Qf73Export, AnExistingFileIsReplacedWhole) {
  {
    std::ofstream old(path_, std::ios::binary);
    old << std::string(4096, 'x');
  }
  Enter(23);
  Enter(105);
  ASSERT_TRUE(Export());
  EXPECT_EQ(ReadFile().size(), 57u);
}

// The cursor, the bookmarks and the last error are as before, whatever the
// outcome.
TEST_F(Qf73Export, SessionStateIsRestoredAfterSuccessAndFailure) {
  const uint32_t at_root = S().AddBookMark();
  Enter(23);
  Enter(160);
  const uint32_t target = Target(1);
  Leave();
  Enter(105);
  Enter(109);
  Enter(110);
  Ref(1, target, "r");
  Ref(2, target);
  Leave();
  const uint32_t at_group = S().AddBookMark();
  const ItemBlock* const here = S().GetCurrentBlock();

  for (const bool succeed : {true, false}) {
    SCOPED_TRACE(succeed ? "success" : "failure");
    if (!succeed) {
      std::remove(path_.c_str());
      ASSERT_EQ(mkdir(path_.c_str(), 0700), 0);
    }
    SetLastError(ErrBadCount);
    EXPECT_EQ(Export(), succeed);
    EXPECT_EQ(GetLastError(), succeed ? ErrBadCount : ErrFileAccess);
    EXPECT_EQ(S().GetCurrentBlock(), here);
    // The caller's bookmarks still lead where they did ...
    EXPECT_TRUE(S().GotoBookMark(at_root));
    uint32_t index = 0;
    EXPECT_EQ(S().GetParentTID(&index), 0);
    EXPECT_TRUE(S().GotoBookMark(at_group));
    EXPECT_EQ(S().GetCurrentBlock(), here);
    // ... and none of the export's own is left.
    const uint32_t next = S().AddBookMark();
    for (uint32_t n = at_group + 1; n < next; ++n) EXPECT_FALSE(S().RemoveBookMark(n)) << n;
    EXPECT_TRUE(S().RemoveBookMark(next));
    if (!succeed) rmdir(path_.c_str());
  }
}

// A session that reports names longer than a size byte can hold, and
// cannot deliver value 8001.
class OddValues : public ForwardingSession {
 public:
  using ForwardingSession::ForwardingSession;
  bool long_names = false;
  ErrorCode GetValSize(Tid tid, uint32_t* size) override {
    const ErrorCode code = inner_.GetValSize(tid, size);
    if (code == ErrNone && tid == 1002 && long_names) *size = 300;
    return code;
  }
  ErrorCode GetValue(Tid tid, void* destination) override {
    return tid == 8001 ? ErrValueNotFound : inner_.GetValue(tid, destination);
  }
};

TEST_F(Qf73Export, ValuesTheSessionCannotDeliverAreLeftOutAndOverlongNamesRefused) {
  Enter(23);
  Enter(143);
  Put16(8001, 1);
  Put16(8002, 2);
  Leave();
  Enter(163);
  PutText(1002, "n");
  Leave();
  Enter(105);
  OddValues odd(S());
  SetLastError(ErrBadCount);
  ASSERT_TRUE(ExportQF73v3(odd, path16_.c_str()));
  EXPECT_EQ(GetLastError(), ErrBadCount);
  const Qf73Parts parts = SplitQf73(ReadFile());
  ASSERT_EQ(parts.module_blocks.size(), 1u);
  EXPECT_EQ(Hex(parts.module_blocks[0]), Hex(Bytes().Tag16(8002, 2).U16(0).v()));

  // A size byte cannot say 300: the export fails and the old file stays.
  odd.long_names = true;
  EXPECT_FALSE(ExportQF73v3(odd, path16_.c_str()));
  EXPECT_EQ(GetLastError(), ErrFileAccess);
  EXPECT_EQ(SplitQf73(ReadFile()).module_blocks, parts.module_blocks);
}

}  // namespace
}  // namespace kestron4::testing_qf73
