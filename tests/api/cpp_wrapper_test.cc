// The C++ wrapper: ownership of sessions, errors as exceptions with the
// library's code and text, the kind and width checks of every insert, the
// opens by path, and the TID dictionary.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "api/error_text.h"
#include "api/session_registry.h"
#include "kestron4/kestron4.hpp"
#include "support/caller_file.h"
#include "support/scratch_dir.h"

namespace kestron4 {
namespace {

// The code and text of the kstrn::Error that call throws; code -1 when it
// throws nothing.
template <typename Call>
std::pair<int64_t, std::string> ErrorOf(Call&& call) {
  try {
    call();
  } catch (const kstrn::Error& e) {
    return {e.code(), e.what()};
  }
  return {-1, ""};
}
template <typename Call>
int64_t CodeOf(Call&& call) {
  return ErrorOf(call).first;
}

TEST(CppWrapperTest, SessionsAreClosedByTheirOwnerEvenWhenOpenFails) {
  const std::size_t before = RegisteredSessionCount();
  {
    kstrn::Session a = kstrn::Session::Create();
    kstrn::Session b = std::move(a);
    EXPECT_EQ(a.handle(), nullptr);
    kstrn::Session c = kstrn::Session::Create();
    c = std::move(b);  // c's first session is closed here
    EXPECT_EQ(RegisteredSessionCount(), before + 1);
    KSTRN_CloseSession(c.release());
  }
  EXPECT_EQ(RegisteredSessionCount(), before);
  // A failed open leaves a session inside the library; the wrapper closes it.
  ScratchDir dir;
  WriteWholeFile(dir.File("bad.kst"), "KESTRON v1.00 file");
  EXPECT_EQ(ErrorOf([&] { kstrn::Session::Open(dir.File("bad.kst")); }),
            std::make_pair(int64_t{KSTRN_ErrFileAccess},
                           std::string("Kestron Error 1: Error accessing file")));
  EXPECT_EQ(CodeOf([&] { kstrn::Session::Open(dir.File("missing.kst")); }), KSTRN_ErrFileNotFound);
  EXPECT_EQ(RegisteredSessionCount(), before);
}

TEST(CppWrapperTest, ValuesGoInAndComeOutExactly) {
  kstrn::Session s = kstrn::Session::Create();
  s.InsertNumber<uint32_t>(10000, 0x01020304);
  s.InsertText(2001, "Öl");
  s.InsertValue(2002, std::string("raw\0", 4));
  s.InsertValue(1003, std::string("\x01\x02\x03\x04\x05", 5));
  s.InsertData(std::vector<uint8_t>{9, 8, 7});
  s.InsertText(4001, u"\u00e9t\u00e9");
  EXPECT_EQ(s.ValueTids(), (std::vector<uint16_t>{10000, 2001, 2002, 1003, 1066, 1063, 4001}));
  EXPECT_EQ(s.Number<uint32_t>(10000), 0x01020304u);
  EXPECT_EQ(s.Text(2001), "Öl");
  EXPECT_EQ(s.Text16(2001), u"Öl");
  EXPECT_EQ(s.Text(4001), "été");
  EXPECT_EQ(s.Text(2002), "raw");
  EXPECT_EQ(s.StoredBytes(2001), (std::vector<uint8_t>{5, 0xC3, 0x96, 'l', 0, 3}));
  EXPECT_EQ(s.Value(1063), (std::vector<uint8_t>{9, 8, 7}));
  EXPECT_EQ(s.StoredSize(s.FindValue(1063), 1000), 3u) << "a wrong guess is corrected";
  EXPECT_EQ(s.StoredSize(s.FindValue(1003)), 5u);
  s.AllocData(6);
  s.WriteData(2, "abcd");
  EXPECT_EQ(s.Value(1063), (std::vector<uint8_t>{0, 0, 'a', 'b', 'c', 'd'}));
  EXPECT_EQ(CodeOf([&] { s.WriteData(3, "abcd"); }), KSTRN_ErrBadCount);
  EXPECT_EQ(CodeOf([&] { s.InsertText(2003, std::string(300, 'y')); }), KSTRN_ErrDataSize);
  EXPECT_EQ(s.Text(2003).size(), 253u) << "the library stores the cut text";
}

// Every insert and typed read checks the TID's kind and width before the
// library sees the call; a refused call changes nothing.
TEST(CppWrapperTest, WrongKindsAndWidthsAreRefusedWithoutStoring) {
  kstrn::Session s = kstrn::Session::Create();
  s.InsertValue(2001, "abcd");
  s.InsertNumber<uint32_t>(10000, 7);
  const std::vector<uint8_t> before = s.SaveToBuffer();
  const struct {
    std::function<void()> call;
    const char* says;
  } kCases[] = {
      {[&] { s.InsertText(10001, "abc"); }, "value 10001 (a 4-byte number) does not hold text"},
      {[&] { s.InsertText(105, u"x"); }, "TID 105 (an item, not a value) does not hold text"},
      {[&] { s.InsertText(2002, std::string("a\0b", 3)); }, "holds a NUL"},
      {[&] { s.InsertNumber<uint32_t>(2002, 5); }, "does not hold a number"},
      {[&] { s.InsertNumber<double>(1063, 1.0); }, "(the blob) does not hold a number"},
      {[&] { s.InsertValue(10001, std::string("\x01\x02", 2)); }, "does not hold 2 bytes"},
      {[&] { s.InsertValue(1003, "four"); }, "(a 5-byte number) does not hold 4 bytes"},
      {[&] { s.InsertValue(2003, std::string(256, 'x')); }, "takes 1 to 255 bytes, not 256"},
      {[&] { s.InsertValue(2003, kstrn::ByteView()); }, "takes 1 to 255 bytes, not 0"},
      {[&] { s.ChangeTid(10000); }, "does not name an item"},
      {[&] { s.Number<uint32_t>(2001); }, "(text or bytes, up to 255) does not hold a number"},
      {[&] { s.Text(10000); }, "does not hold text"},
      {[&] { s.Find(105, 8000, kstrn::ByteView("\x07", 1)); }, "takes 2 bytes, not 1"},
      {[&] { s.Save(std::string("a\0b", 3)); }, "path holds a NUL"},
      {[&] { kstrn::ValCompare(2000, "\5ab", "\5abcde"); }, "takes 6 bytes, not 3"},
  };
  for (const auto& c : kCases) {
    const auto [code, what] = ErrorOf(c.call);
    EXPECT_EQ(code, 0) << c.says;
    EXPECT_NE(what.find(c.says), std::string::npos) << what << " / " << c.says;
  }
  EXPECT_EQ(s.SaveToBuffer(), before);
}

TEST(CppWrapperTest, CursorLookupReferencesAndSaving) {
  ScratchDir dir;
  kstrn::Session s = kstrn::Session::Create();
  s.InsertItemBlocks(105, 3);
  for (int i = 0; i < 3; ++i) {
    s.OpenItem(105, i);
    s.InsertText(2001, "channel " + std::to_string(i));
    s.InsertNumber<uint16_t>(8000, static_cast<uint16_t>(i * 10));
    s.CloseItem();
  }
  EXPECT_FALSE(s.Parent().has_value());
  const uint16_t twenty = 20;
  EXPECT_TRUE(s.Find(105, 8000, kstrn::ByteView(&twenty, 2)));
  EXPECT_EQ(s.Parent()->index, 2u);
  EXPECT_EQ(s.Text(2001), "channel 2");
  EXPECT_FALSE(s.NextItem()) << "the last block";
  s.GotoRoot();
  EXPECT_FALSE(s.FindLocalText(105, 2001, "channel 9"));
  EXPECT_TRUE(s.FindText(105, 2001, "channel 0"));
  const uint32_t mark = s.AddBookmark();
  s.GotoRoot();
  s.InsertItemBlocks(107, 1);
  s.OpenItem(107, 0);
  s.CreateReference(mark, 3, 2001);
  s.GotoReference(3);
  EXPECT_EQ(s.Text(2001), "channel 0");
  s.GotoRoot();
  EXPECT_EQ(s.CheckIntegrity(), 1u);
  s.DeleteItem(105, 0);
  EXPECT_EQ(CodeOf([&] { s.CheckIntegrity(); }), KSTRN_ErrRefNotFound);
  // Saved to a buffer or a file: the same bytes, which open again.
  const std::vector<uint8_t> saved = s.SaveToBuffer();
  EXPECT_EQ(saved.size(), s.SaveSize());
  s.Save(dir.File("a.kst"));
  const std::string file = ReadWholeFile(dir.File("a.kst"));
  EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.end()), saved);
  kstrn::Session again = kstrn::Session::OpenBuffer(saved);
  EXPECT_EQ(again.ItemCount(105), 2);
  again.OpenItem(107, 0);
  EXPECT_EQ(kstrn::Session::OpenBuffer(again.SerializeItem()).ItemTids(),
            std::vector<uint16_t>{112});
  EXPECT_THROW(again.ExportQF73(dir.File("x.qf73")), kstrn::Error) << "no configuration";
}

// Failures the library reports, however it reports them, reach the caller
// with the library's code and its text, word for word.
TEST(CppWrapperTest, ErrorsCarryTheLibrarysCodeAndText) {
  for (const uint32_t code : {0u, 1u, 12u, 19u, 20u, 0x80000000u}) {
    char text[128];
    EXPECT_EQ(kstrn::ErrorText(code), FormatErrorText(code, text, sizeof text));
  }
  ScratchDir dir;
  kstrn::Session built = kstrn::Session::Create();
  built.InsertData("blob bytes");
  built.Save(dir.File("a.kst"));
  kstrn::Session streamed = kstrn::Session::OpenStreamed(dir.File("a.kst"));
  kstrn::Session memory = kstrn::Session::Create();
  uint8_t out[16];
  const struct {
    std::function<void()> call;
    uint32_t code;
  } kCases[] = {
      {[&] { streamed.CreateStream().Read(streamed.FindValue(1063), 5, out, 6); }, 12},
      {[&] { memory.CreateStream(); }, 4},
      {[&] { kstrn::Session::OpenMapped(dir.File("missing.kst")); }, 9},
      {[&] { kstrn::Session::OpenStreamed(dir.Path() + "/no/such"); }, 9},
      {[&] { kstrn::Session::OpenMapped(dir.Path()); }, 1},
      {[&] { memory.StoredBytes(2999); }, 7},
      {[&] { memory.ExportSession(1, dir.File("x")); }, 14},
      {[&] { memory.InsertDataFile(dir.File("missing.bin")); }, 9},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(ErrorOf(c.call), std::make_pair(int64_t{c.code}, kstrn::ErrorText(c.code)));
  }
}

TEST(CppWrapperTest, PathOpensDescriptorsAndTheMoveToMemory) {
  ScratchDir dir;
  WriteWholeFile(dir.File("outside.bin"), "head:0123456789");
  kstrn::Session s = kstrn::Session::Create();
  s.InsertText(2001, "saved");
  s.InsertDataFile(dir.File("outside.bin"), 5);  // the rest of the file
  CallerFile file(dir.File("b.kst"), kOpenWrite | kOpenCreate | kOpenTruncate);
  ASSERT_TRUE(file.ok());
  s.SaveToDescriptor(file.get());
  file.Close();
  kstrn::Session mapped = kstrn::Session::OpenMapped(dir.File("b.kst"));
  kstrn::Session streamed = kstrn::Session::OpenStreamed(dir.File("b.kst"));
  EXPECT_EQ(streamed.StoredPointer(1063), nullptr) << "still in the file";
  for (kstrn::Session* opened : {&mapped, &streamed}) opened->MoveToRAM();
  WriteWholeFile(dir.File("b.kst"), "");  // the sessions no longer need it
  for (kstrn::Session* opened : {&mapped, &streamed}) {
    EXPECT_EQ(opened->Text(2001), "saved");
    const std::vector<uint8_t> blob = opened->Value(1063);
    EXPECT_EQ(std::string(blob.begin(), blob.end()), "0123456789");
  }
}

// The edits the wrapper passes on reach the right block and session; the
// referring blocks are listed by a count, then a sized call.
TEST(CppWrapperTest, MovesCopiesAndReferringBlocks) {
  kstrn::Session s = kstrn::Session::Create();
  s.InsertItemBlocks(105, 2);
  s.OpenItem(105, 0);
  s.InsertText(2001, "first");
  const uint32_t mark = s.AddBookmark();
  s.MoveCurrentItem(1);
  s.GotoItem(0);
  EXPECT_FALSE(s.BookmarksEquivalent(mark, s.AddBookmark()));
  s.GotoRoot();
  s.InsertItemBlocks(107, 2);
  for (int i = 0; i < 2; ++i) {
    s.OpenItem(107, i);
    s.CreateReference(mark, 1, 2001);
    s.CloseItem();
  }
  s.GotoBookmark(mark);
  EXPECT_EQ(s.Parent()->index, 1u);
  EXPECT_EQ(s.ReferringBlocks(2001).size(), 2u);
  s.RenameKeyText(2001, "renamed");
  kstrn::Session other = kstrn::Session::Create();
  s.CopyBlockTo(other);
  other.OpenItem(105, 0);
  EXPECT_EQ(other.Text(2001), "renamed");
  s.GotoRoot();
  EXPECT_EQ(s.CheckIntegrity(), 2u) << "the references follow the rename";
  s.GotoBookmark(mark);
  s.ChangeTid(106);
  s.GotoRoot();
  EXPECT_EQ(CodeOf([&] { s.CheckIntegrity(); }), KSTRN_ErrRefNotFound) << "moved away";
}

TEST(CppWrapperTest, TidDictionaryLookups) {
  kstrn::Names names = kstrn::Names::Load(KESTRON4_SOURCE_DIR "/tests/api/tids_fixture.tsv");
  names.AddText(
      "2001\tlabel\tf32\tlater files win\n10000-10999\tnarrow\tu16\t\n"
      "1000-13999\tany_value\thex\twide: loses to narrower ranges\n",
      "later");
  const struct {
    uint16_t tid;
    const char* name;
    const char* display;
  } kCases[] = {
      {2001, "label", "f32"},   {2002, "short_text", "text"}, {10010, "rate", "i32"},
      {10500, "narrow", "u16"}, {11000, "u32_value", "u32"},  {1500, "any_value", "hex"},
      {7, "seven", "hex"},      {15000, "", "item"},          {1063, "any_value", "hex"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(names.Name(c.tid), c.name) << c.tid;
    EXPECT_EQ(names.Display(c.tid), c.display) << c.tid;
  }
  // A range's name stands for its first TID.
  EXPECT_EQ((std::vector{names.Tid("label"), names.Tid("short_text"), names.Tid("nothing"),
                         names.Parse("10010"), names.Parse("rate"), names.Parse("65536")}),
            (std::vector<std::optional<uint16_t>>{2001, 2000, {}, 10010, 10010, {}}));
  EXPECT_EQ(kstrn::Names::DefaultDisplay(1063), "blob");
  EXPECT_EQ(kstrn::Names::DefaultDisplay(1003), "hex");

  const struct {
    const char* text;
    const char* says;
  } kBad[] = {
      {"2001\tname\ttext\n", "x:1: 4 TAB-separated fields expected, found 3"},
      {"# c\n\n5\tok\t-\td\n-5\tneg\t-\t\n", "x:4: '-5' is not a TID"},
      {"70000\tbig\t-\t\n", "'70000' is not a TID"},
      {"10-5\tback\t-\t\n", "'10-5' is not a TID"},
      {"5\t9lives\t-\t\n", "'9lives' is not a name"},
      {"5\tok\tfloat\t\n", "'float' is not a display kind"},
      {"5\tok\t-\t\xff\n", "x:1: not UTF-8"},
  };
  for (const auto& c : kBad) {
    const std::string what = ErrorOf([&] { names.AddText(c.text, "x"); }).second;
    EXPECT_NE(what.find(c.says), std::string::npos) << what << " / " << c.says;
  }
  EXPECT_EQ(names.Name(5), "item") << "a refused text adds nothing";
  EXPECT_THROW(kstrn::Names::Load(KESTRON4_SOURCE_DIR "/no/such.tsv"), kstrn::Error);
}

TEST(CppWrapperTest, DecompressWantsTheExactSize) {
  const std::string text(5000, 'z');
  EXPECT_EQ(kstrn::Decompress(kstrn::Compress(text), text.size()), std::vector<uint8_t>(5000, 'z'));
  EXPECT_THROW(kstrn::Decompress(kstrn::Compress(text), text.size() - 1), kstrn::Error);
  // A run item that expands 4111-fold must stay inside the output buffer.
  const std::string bomb("\x40\x80\x00\x00\x0f\xff\x41", 7);
  EXPECT_THROW(kstrn::Decompress(bomb, 10), kstrn::Error);
  EXPECT_EQ(kstrn::Decompress(bomb, 4111).size(), 4111u);
  EXPECT_TRUE(kstrn::CompareValues(2000, "AB", std::string("AB\0\x03", 4)));
  EXPECT_FALSE(kstrn::ValCompare(10000, "abcd", "abce"));
}

}  // namespace
}  // namespace kestron4
