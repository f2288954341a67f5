#include <gtest/gtest.h>

#include "session/session_test_tree.h"

namespace kestron4 {
namespace {

using namespace kestron4::testing;

// True when the search answered ok and left the cursor on where; then back to
// the start.
auto Landed(TestTree& t, ItemBlock* start) {
  return [&t, start](bool ok, ItemBlock* where) {
    const bool landed = ok && t.at() == where;
    t.Go(start);
    return landed;
  };
}

TEST(Lookup, LocalSearchMatchesKeysInEveryEncoding) {
  TestTree t;
  SessionCore& s = t.s();
  ItemBlock* a = t.Add(t.root(), kChannels, "A");
  ItemBlock* zoe = t.Add(t.root(), kChannels);
  t.PutUtf8(zoe, kName, "Zo\xC3\xAB");
  ItemBlock* cafe = t.Add(t.root(), kChannels, "Caf\xE9");  // 8-bit, unmarked
  t.Put(t.Add(t.root(), 50), kTidData, "abc", 3);           // a blob without its size
  ItemBlock* sized = t.Add(t.root(), 50);
  const uint32_t three = 3;
  t.Put(sized, kTidDataSize, &three);
  t.Put(sized, kTidData, "xyz", 3);
  auto landed = Landed(t, t.root());
  EXPECT_TRUE(landed(s.FindLocalType(kChannels, 0, nullptr), a));
  EXPECT_TRUE(landed(s.FindLocalType(kChannels, kName, "Caf\xE9"), cafe));
  EXPECT_TRUE(landed(s.FindTypeUTF8(kChannels, kName, "Zo\xC3\xAB"), zoe));
  EXPECT_TRUE(landed(s.FindType(kChannels, kName, "Zo\xC3\xAB"), zoe));
  EXPECT_TRUE(landed(s.FindTypeUTF8(kChannels, kName, "Caf\xC3\xA9"), cafe));
  EXPECT_TRUE(landed(s.FindTypeUTF16(kChannels, kName, u"Caf\u00e9"), cafe));
  EXPECT_TRUE(landed(s.FindLocalType(50, kTidData, "ignored"), sized));
  EXPECT_TRUE(landed(!s.FindType(kChannels, kName, "Caf\xC3\xA9"), t.root()));
  EXPECT_TRUE(landed(!s.FindLocalType(kChannels, kName, "C"), t.root()));
  EXPECT_TRUE(landed(!s.FindLocalType(106, 0, nullptr), t.root()));
}

TEST(Lookup, DeepSearchOrderAndQuickFindsShallowPass) {
  TestTree t;
  SessionCore& s = t.s();
  // root/10/20/30 and root/30 with equal keys; the shallower wins.
  ItemBlock* ten = t.Add(t.root(), 10);
  ItemBlock* deep = t.Add(t.Add(ten, 20), 30);
  ItemBlock* shallow = t.Add(t.root(), 30);
  t.Put(deep, 10000, "KKKK");
  t.Put(shallow, 10000, "KKKK");
  EXPECT_TRUE(Landed(t, t.root())(s.FindType(30, 10000, "KKKK"), shallow));
  auto fromTen = Landed(t, ten);
  t.Go(ten);
  EXPECT_TRUE(fromTen(s.FindType(30, 10000, "KKKK"), deep));
  t.Go(deep);  // the block itself is never a candidate
  EXPECT_TRUE(Landed(t, deep)(!s.FindType(30, 0, nullptr), deep));
  // From deep inside, a quick find still tries the top levels first.
  const uint16_t key = 7, other = 8;
  ItemBlock* two = t.Add(ten, 2);
  ItemBlock* inner = t.Add(two, 100);
  ItemBlock* level2 = t.Add(ten, 100);
  t.Put(inner, 8000, &key);
  t.Put(level2, 8000, &key);
  auto fromTwo = Landed(t, two);
  t.Go(two);
  EXPECT_TRUE(fromTwo(s.QuickFind(100, 8000, &key), level2));
  EXPECT_TRUE(fromTwo(!s.QuickFind(100, 8000, &other), two));
}

TEST(Lookup, DeepTreeSearchDoesNotRecurse) {
  TestTree t;
  ItemBlock* block = t.root();
  for (int i = 0; i < 3000; ++i) block = t.Add(block, 1);
  ItemBlock* target = t.Add(block, 2);
  EXPECT_TRUE(Landed(t, t.root())(t.s().FindType(2, 0, nullptr), target));
}

}  // namespace
}  // namespace kestron4
