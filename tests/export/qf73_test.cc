// The configuration export: header, main sections, trailer, failures and
// what the export leaves behind in the session.
#include <cstdio>
#include <filesystem>

#include "export/qf73/qf73_export.h"
#include "export/qf73_fixture.h"
#include "session/last_error.h"
#include "session/session_core.h"

namespace kestron4::testing_qf73 {
namespace {

Bytes Header(uint32_t length, uint16_t modules, uint16_t named, uint16_t sections) {
  Bytes b;
  b.Raw("QF73 v3.00 file\x1a", 16).U32(length).T16(143, modules);
  if (named != 0) b.T16(163, named);
  return b.T16(105, sections).T16(107, 0).U16(0);
}

const Bytes kEmptySection = Bytes().T16(109, 0).T16(152, 0).U16(0);

using Qf73Export = Qf73Fixture;

TEST_F(Qf73Export, HeaderWithAndWithoutModulesAndNamedEntries) {
  Enter(23);
  Enter(105);
  ASSERT_TRUE(Export());
  // Without item 143 one module of code 3 is described; no 163 pair.
  Bytes minimal = Header(37, 1, 0, 1).U32(5).T8(1091, 3).U16(0).Block(kEmptySection);
  EXPECT_EQ(Hex(ReadFile()), minimal.Hex());  // 57 bytes: the length at 16 is 57 - 20

  Leave();
  Enter(143, {V(1091, 1), V(8001, 0x1234), VText(4000, "long")});
  Leave();
  Item(143);
  Item(163, {VText(1002, "alpha"), V(8002, 5)});  // only the name is written
  Item(163);
  Item(105);
  Leave();
  Enter(23);  // a second configuration is ignored
  Item(143);
  ASSERT_TRUE(Export());
  // Long-variable values keep their 16-bit length.
  const Bytes module0 = Bytes().T8(1091, 1).T16(8001, 0x1234).T16(4000, 5).Raw("long", 5).U16(0);
  Bytes body;
  body.Block(module0).Block(Bytes().U16(0)).Block(Bytes().Text(1002, "alpha").U16(0));
  body.Block(Bytes().U16(0)).Block(kEmptySection).Block(kEmptySection);
  const auto length = static_cast<uint32_t>(38 + body.size() - 20);
  EXPECT_EQ(Hex(ReadFile()), Header(length, 2, 2, 2).Add(body).Hex());
}

TEST_F(Qf73Export, ColoursAreConvertedInSectionsGroupsAndEntriesOnly) {
  Enter(23);
  Enter(105, {V(10001, 0xFFFFFF), V(10002, 0xFF), V(10006, 0x123456), V(8001, 7)});
  Enter(109, {VText(1002, "not written"), V(1014, 9), V(10003, 0xFF00)});
  Item(110, {V(10004, 0xFF0000), VText(1002, "not written"), V(10005, 0x808080)});
  Leave();
  Item(152, {V(10001, 0xFFFFFF)});

  // clang-format off
  const Bytes group = Bytes().T16(1032, 0x07E0).T16(1041, 1)
                             .T16(1034, 0x001F).T16(1060, 0x8410).U16(0);
  const Bytes section = Bytes().T16(109, 1).T16(152, 1)
                               .T16(1043, 0xFFFF).T16(1033, 0xF800).T16(1061, 0x51A2)
                               .T16(8001, 7).U16(0)
                               .Block(group).Block(Bytes().T32(10001, 0xFFFFFF).U16(0));
  // clang-format on
  EXPECT_EQ(ExportAndSplit().section_blocks.at(0), section.Hex());
}

// Entries, direct reference entries and ordered entries of one section, all
// leading into group D.
TEST_F(Qf73Export, MainSectionReferencesAreNumberedAcrossGroupD) {
  Enter(23);
  const uint32_t t1 = Target(160, 1, {VText(1064, "t1.bin"), VData("abc")});
  const uint32_t t2 = Target(160, 2);
  const uint32_t t4 = Target(160, 4);
  Enter(105);
  Enter(109, {VText(1002, "grp"), V(1014, 9), V(8001, 5)});
  Enter(110, {V(8001, 1)});
  Ref(1, t1, "e0");
  Leave();
  Enter(110);
  Ref(1, t1);  // unnamed: collected, no record
  Leave();
  Enter(110);
  Ref(1, t2, "e2");
  Leave();
  Item(110);
  // Direct entries, written sorted by number; the two 7s keep their order.
  RawRef(7, 160, 2, nullptr, "alt7");
  RawRef(3, 160, 99, "n3");   // leads nowhere: 0x7FFF, not counted
  RawRef(5, 160, 4);          // unnamed: collected only
  RawRef(7, 160, 4, "dup7");  // same number: follows the first 7
  Leave();
  Enter(109);  // no group byte: written as 0
  Enter(110);
  Ref(1, t2, "g2");
  Leave();
  Leave();
  Enter(152, {V(1054, 2), V(8001, 20)});
  Ref(66, t4, "o1");
  Leave();
  Item(152, {V(1054, 1), VText(1002, "not written")});
  Enter(152, {V(1054, 2)});  // same key as the first 2: after it
  Ref(66, t1);
  Leave();

  // clang-format off
  const Bytes group = Bytes().T16(8001, 5).T16(1041, 4)
                             .T16(8001, 1).Record("e0", 0, 1).T8(1014, 9)
                             .Record("e2", 1, 3).T8(1014, 9)
                             .Record("n3", 0x7FFF, 3).T8(1014, 9)
                             .Record("alt7", 1, 7).T8(1014, 9)
                             .Record("dup7", 1, 7).T8(1014, 9).U16(0);
  const Bytes section = Bytes().T16(109, 2).T16(152, 3).U16(0).Block(group)
      .Block(Bytes().T16(1041, 1).Record("g2", 1, 1).T8(1014, 0).U16(0))
      .Block(Bytes().T16(1054, 1).U16(0))
      .Block(Bytes().Record("o1", 2, 66).T16(1054, 2).T16(8001, 20).U16(0))
      .Block(Bytes().T16(1054, 2).U16(0));
  // clang-format on
  const Qf73Parts parts = ExportAndSplit();
  EXPECT_EQ(parts.section_blocks.at(0), section.Hex());
  // t1, t2, t4 once each, in the order first met; items without reference
  // entries hold their own data (kind 136).
  ASSERT_EQ(parts.referenced, 3);
  const Bytes t1_block =
      Bytes().T16(1040, 17).Text(1002, "t1.bin").T32(1066, 3).U16(1063).Raw("abc").U16(0);
  EXPECT_EQ(parts.ref_blocks.at(0), t1_block.Hex());
  EXPECT_EQ(parts.ref_blocks.at(1), Bytes().T16(1040, 17).U16(0).Hex());
}

TEST_F(Qf73Export, TrailerAlignsBlobsAndPatchesTheirOffsets) {
  Enter(23);
  Enter(105);
  Enter(109, {V(10012, 2)});  // the third blob
  Item(110, {V(10012, 0)});   // the first blob
  Item(110, {V(10012, 7)});   // names no blob: keeps its ordinal
  Leave();
  Leave();
  Item(199, {VData("abcde")});
  Item(199);  // no blob: aligned, nothing appended
  Item(199, {VData("xy")});

  ASSERT_TRUE(Export());
  const std::vector<uint8_t> file = ReadFile();
  const Qf73Parts parts = SplitQf73(file);
  ASSERT_EQ(parts.error, "");
  EXPECT_EQ(parts.length, parts.trailer - 20);  // the blobs are not counted
  const std::size_t first = (parts.trailer + 3) / 4 * 4;
  const std::size_t third = (first + 5 + 3) / 4 * 4;
  ASSERT_EQ(file.size(), third + 2);
  EXPECT_EQ(std::string(file.begin() + first, file.begin() + first + 5), "abcde");
  EXPECT_EQ(std::string(file.begin() + third, file.end()), "xy");
  for (std::size_t i = parts.trailer; i < first; ++i) EXPECT_EQ(file[i], 0);
  for (std::size_t i = first + 5; i < third; ++i) EXPECT_EQ(file[i], 0);
  const Bytes group = Bytes()
                          .T32(10012, static_cast<uint32_t>(third))
                          .T16(1041, 2)
                          .T32(10012, static_cast<uint32_t>(first))
                          .T32(10012, 7)
                          .U16(0);
  EXPECT_EQ(parts.section_blocks.at(0), Bytes().T16(109, 1).T16(152, 0).U16(0).Block(group).Hex());
}

// Refusals leave no file: with nothing to export the caller's last error is
// untouched, a path that cannot be written gives code 1.
TEST_F(Qf73Export, RefusalsLeaveNoFile) {
  SetLastError(ErrValueNotFound);
  EXPECT_FALSE(Export());  // no item 23
  Enter(23);
  EXPECT_FALSE(Export());  // item 23 without item 105
  EXPECT_EQ(GetLastError(), ErrValueNotFound);
  Enter(105);
  const std::string missing = dir_.File("missing/config.qf73");
  const std::u16string missing16(missing.begin(), missing.end());
  for (const char16_t* path : {static_cast<const char16_t*>(nullptr), missing16.c_str()}) {
    SetLastError(ErrNone);
    EXPECT_FALSE(ExportQF73v3(S(), path));
    EXPECT_EQ(GetLastError(), ErrFileAccess);
  }
  EXPECT_TRUE(dir_.List().empty());
  WriteWholeFile(path_, std::string(4096, 'x'));
  ASSERT_TRUE(Export());  // an existing file is replaced whole
  EXPECT_EQ(ReadFile().size(), 57u);
}

// The cursor, the bookmarks and the last error are as before, whatever the
// outcome.
TEST_F(Qf73Export, SessionStateIsRestoredAfterSuccessAndFailure) {
  const uint32_t at_root = S().AddBookMark();
  Enter(23);
  const uint32_t target = Target(160, 1);
  Enter(105);
  Enter(109);
  Enter(110);
  Ref(1, target, "r");
  Leave();
  const uint32_t at_group = S().AddBookMark();
  const ItemBlock* const here = S().GetCurrentBlock();

  for (const bool succeed : {true, false}) {
    SCOPED_TRACE(succeed ? "success" : "failure");
    if (!succeed) {  // a directory where the file should go
      std::remove(path_.c_str());
      ASSERT_TRUE(std::filesystem::create_directory(path_));  // removed with the scratch directory
    }
    SetLastError(ErrBadCount);
    EXPECT_EQ(Export(), succeed);
    EXPECT_EQ(GetLastError(), succeed ? ErrBadCount : ErrFileAccess);
    EXPECT_EQ(S().GetCurrentBlock(), here);
    // The caller's bookmarks still lead where they did, none of the
    // export's own is left.
    EXPECT_TRUE(S().GotoBookMark(at_root));
    EXPECT_EQ(S().GetCurrentTID(), 0);
    EXPECT_TRUE(S().GotoBookMark(at_group));
    const uint32_t next = S().AddBookMark();
    for (uint32_t n = at_group + 1; n < next; ++n) EXPECT_FALSE(S().RemoveBookMark(n)) << n;
    EXPECT_TRUE(S().RemoveBookMark(next));
  }
}

// A session that cannot deliver value 8001 and, when asked, reports names of
// another size.
class OddValues : public SessionCore {
 public:
  uint32_t name_size = 0;
  ErrorCode GetValSize(Tid tid, uint32_t* size) override {
    const ErrorCode code = SessionCore::GetValSize(tid, size);
    if (code == ErrNone && tid == 1002 && name_size != 0) *size = name_size;
    return code;
  }
  ErrorCode GetValue(Tid tid, void* destination) override {
    return tid == 8001 ? ErrValueNotFound : SessionCore::GetValue(tid, destination);
  }
};

TEST_F(Qf73Export, UndeliverableValuesAreLeftOutAndOverlongNamesRefused) {
  auto odd = std::make_unique<OddValues>();
  OddValues& odd_ref = *odd;
  session_ = std::move(odd);
  Enter(23);
  Item(143, {V(8001, 1), V(8002, 2)});
  Item(163, {VText(1002, "n")});
  Item(105);
  SetLastError(ErrBadCount);
  const Qf73Parts parts = ExportAndSplit();
  EXPECT_EQ(GetLastError(), ErrBadCount);
  EXPECT_EQ(parts.module_blocks.at(0), Bytes().T16(8002, 2).U16(0).Hex());

  // A size byte says 255 at most: a longer name fails the export, and the
  // old file stays.
  odd_ref.name_size = 255;
  EXPECT_TRUE(Export());
  odd_ref.name_size = 256;
  EXPECT_FALSE(Export());
  EXPECT_EQ(GetLastError(), ErrFileAccess);
  EXPECT_EQ(SplitQf73(ReadFile()).module_blocks, parts.module_blocks);
}

}  // namespace
}  // namespace kestron4::testing_qf73
