// The C++ wrapper: ownership of sessions, errors as exceptions with the
// library's code and text, and the byte-exact value calls it adds.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "api/session_registry.h"
#include "kestron4/kestron4.hpp"
#include "support/scratch_dir.h"

namespace kestron4 {
namespace {

// The code of the kstrn::Error that call throws; -1 when it throws nothing.
template <typename Call>
int64_t CodeOf(Call&& call) {
  try {
    call();
  } catch (const kstrn::Error& e) {
    return e.code();
  }
  return -1;
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
  try {
    kstrn::Session::Open(dir.File("bad.kst"));
    ADD_FAILURE() << "opened a 18-byte file";
  } catch (const kstrn::Error& e) {
    EXPECT_EQ(e.code(), KSTRN_ErrFileAccess);
    EXPECT_STREQ(e.what(), "Kestron Error 1: Error accessing file");
  }
  EXPECT_EQ(CodeOf([&] { kstrn::Session::Open(dir.File("missing.kst")); }), KSTRN_ErrFileNotFound);
  EXPECT_EQ(RegisteredSessionCount(), before);
}

TEST(CppWrapperTest, ValuesGoInAndComeOutExactlyOrNotAtAll) {
  kstrn::Session s = kstrn::Session::Create();
  s.InsertNumber<uint32_t>(10000, 0x01020304);
  s.InsertText(2001, "Öl");
  s.InsertValue(2002, std::string("raw\0", 4));
  s.InsertValue(1003, std::string("\x01\x02\x03\x04\x05", 5));
  s.InsertData(std::vector<uint8_t>{9, 8, 7});
  EXPECT_EQ(s.ValueTids(), (std::vector<uint16_t>{10000, 2001, 2002, 1003, 1066, 1063}));
  EXPECT_EQ(s.Number<uint32_t>(10000), 0x01020304u);
  EXPECT_EQ(s.Text(2001), "Öl");
  EXPECT_EQ(s.Text(2002), "raw");
  EXPECT_EQ(s.StoredBytes(2001), (std::vector<uint8_t>{5, 0xC3, 0x96, 'l', 0, 3}));
  EXPECT_EQ(s.Value(1063), (std::vector<uint8_t>{9, 8, 7}));
  EXPECT_EQ(s.StoredSize(s.FindValue(1063), 1000), 3u) << "a wrong guess is corrected";
  EXPECT_EQ(s.StoredSize(s.FindValue(1003)), 5u);
  // Nothing is cut or padded behind the caller's back.
  EXPECT_EQ(CodeOf([&] { s.InsertValue(10000, std::string("\x01\x02", 2)); }), 0);
  EXPECT_EQ(CodeOf([&] { s.InsertValue(2003, std::string(256, 'x')); }), 0);
  EXPECT_EQ(CodeOf([&] { s.InsertValue(2003, kstrn::ByteView()); }), 0);
  EXPECT_EQ(CodeOf([&] { s.InsertValue(105, "x"); }), 0);
  EXPECT_EQ(CodeOf([&] { s.Number<uint16_t>(10000); }), 0);
  EXPECT_EQ(CodeOf([&] { s.Text(10000); }), 0);
  uint8_t none[4];
  EXPECT_EQ(CodeOf([&] { s.ReadStored(s.FindValue(1063), 1, none, 3); }), 0);
  EXPECT_EQ(CodeOf([&] { s.InsertText(2003, std::string(300, 'y')); }), KSTRN_ErrDataSize);
  EXPECT_EQ(s.Text(2003).size(), 253u) << "the library stores the cut text";
  EXPECT_EQ(CodeOf([&] { s.StoredBytes(2999); }), KSTRN_ErrValueNotFound);
  EXPECT_EQ(CodeOf([&] { s.ValueSize(2999); }), KSTRN_ErrValueNotFound);
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
  EXPECT_THROW(s.Find(105, 8000, kstrn::ByteView("\x07", 1)), kstrn::Error) << "short key";
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
  EXPECT_THROW(again.CreateStream(), kstrn::Error) << "not a streamed session";
  EXPECT_THROW(kstrn::Session::OpenStreamed(std::string("bad\xff")), kstrn::Error);
}

TEST(CppWrapperTest, DecompressWantsTheExactSize) {
  const std::string text(5000, 'z');
  EXPECT_EQ(kstrn::Decompress(kstrn::Compress(text), text.size()), std::vector<uint8_t>(5000, 'z'));
  EXPECT_THROW(kstrn::Decompress(kstrn::Compress(text), text.size() - 1), kstrn::Error);
  // A run item that expands 4111-fold must stay inside the output buffer.
  const std::string bomb("\x40\x80\x00\x00\x0f\xff\x41", 7);
  EXPECT_THROW(kstrn::Decompress(bomb, 10), kstrn::Error);
  EXPECT_EQ(kstrn::Decompress(bomb, 4111).size(), 4111u);
}

}  // namespace
}  // namespace kestron4
