#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Crc32.h"
#include "core/HashListEx.h"
#include "core/TextUtils.h"

namespace {

struct Rec {
  explicit Rec(int v, int* freed = nullptr) : value(v), freedCount(freed) {}
  ~Rec() {
    if (freedCount) ++*freedCount;
  }
  int value;
  int* freedCount;
};

using List = THashListEx<Rec>;

TEST(TextCRC32, KnownValues) {
  EXPECT_EQ(TextCRC32(u""), 0u);
  EXPECT_EQ(TextCRC32(u"abc"), 0xCA6598D0u);
  EXPECT_EQ(TextCRC32(u"123456789"), 0x2DFD2D88u);
  // Only the low byte of each code unit counts.
  EXPECT_EQ(TextCRC32(u"\x0141"), TextCRC32(u"A"));
  EXPECT_NE(TextCRC32(u"\x00E9"), TextCRC32(u"\x00C9"));
}

TEST(ComputeQuickHash, KnownValues) {
  List list;
  EXPECT_EQ(list.ComputeQuickHash(u"abc"), 3014u);
  EXPECT_EQ(list.ComputeQuickHash(u""), 0u);
  EXPECT_EQ(list.ComputeQuickHash(u"\x0162\x0163\x0161"), list.ComputeQuickHash(u"bca"));
  // Wraps modulo 2^32 instead of overflowing.
  const std::u16string longName(100, u'\xFF');
  std::uint32_t h = 0;
  for (int i = 0; i < 100; ++i) h = h * 5u + 0xFFu;
  EXPECT_EQ(list.ComputeQuickHash(longName), h);
}

TEST(THashListEx, Defaults) {
  List list;
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Capacity(), 0);
  EXPECT_FALSE(list.AutoClearObjects());
  EXPECT_TRUE(list.NoCase());
  EXPECT_EQ(list.HashType(), htCRC32);
  EXPECT_FALSE(list.QuickHash());
  EXPECT_EQ(list.InsertDupesMode(), himReplace);
  EXPECT_FALSE(list.RaiseOnError());
}

TEST(THashListEx, CapacityGrowsAndHalves) {
  List list;
  Rec r(0);
  const std::vector<std::int32_t> expected{4, 8, 12, 28, 44, 60, 76, 95, 118, 147};
  std::vector<std::int32_t> seen;
  for (int i = 0; i < 147; ++i) {
    const bool full = list.Count() == list.Capacity();
    ASSERT_TRUE(list.AddItem(U16(std::to_string(i).c_str()), &r));
    if (full) seen.push_back(list.Capacity());
  }
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(list.Count(), 147);

  List small;
  for (int i = 0; i < 13; ++i) small.AddItem(U16(std::to_string(i).c_str()), &r);
  EXPECT_EQ(small.Capacity(), 28);
  small.Delete(0);
  EXPECT_EQ(small.Count(), 12);
  EXPECT_EQ(small.Capacity(), 14);
  EXPECT_EQ(small.GetName(0), u"1");
  EXPECT_EQ(small.GetName(11), u"12");
  // Halving stops at one slot: 0 entries is not below 1 div 2.
  while (small.Count() > 0) small.Delete(small.Count() - 1);
  EXPECT_EQ(small.Capacity(), 1);
}

TEST(THashListEx, CaseFoldsAsciiOnlyAndComparesHashesOnly) {
  List list;
  Rec a(1), b(2), c(3), d(4);
  list.AddItem(u"abc", &a);
  list.AddItem(u"ABC", &b);  // same key: replaces the value, keeps the first name
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.GetName(0), u"abc");
  EXPECT_EQ(list.GetValue(u"aBc"), &b);

  list.AddItem(u"\x00E9", &c);
  list.AddItem(u"\x00C9", &d);  // é and É: only ASCII folds, so two keys
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.GetValue(u"\x00E9"), &c);
  EXPECT_EQ(list.GetValue(u"\x00C9"), &d);

  // U+0141 and U+0041 share their low byte, so these names are one key.
  EXPECT_EQ(list.GetIndex(u"x\x0141y"), -1);
  list.AddItem(u"x\x0141y", &a);
  EXPECT_EQ(list.GetIndex(u"xAy"), 3);
  EXPECT_EQ(list.GetIndex(u"XAY"), 3);

  list.SetNoCase(false);  // not rehashed: the stored upper-case hash no longer matches "abc"
  EXPECT_EQ(list.GetIndex(u"abc"), -1);
  EXPECT_EQ(list.GetIndex(u"ABC"), 0);
}

TEST(THashListEx, ReplaceFiresOnDeleteWithOldValue) {
  int freed = 0;
  auto* oldRec = new Rec(1, &freed);
  auto* newRec = new Rec(2, &freed);
  std::vector<int> deleted;
  {
    List list;
    list.SetAutoClearObjects(true);
    list.OnDelete = [&](Rec* r) { deleted.push_back(r->value); };
    list.AddItem(u"1234", new Rec(0, &freed));
    list.AddItem(u"5678", oldRec);
    EXPECT_TRUE(list.AddItem(u"5678", newRec));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.GetIndex(u"5678"), 1);
    EXPECT_EQ(list.GetValue(u"5678"), newRec);
    EXPECT_EQ(deleted, std::vector<int>{1});
    EXPECT_EQ(freed, 0);  // a replaced value is reported, not freed
  }
  // Destruction clears: both held values reported in order and freed.
  EXPECT_EQ(deleted, (std::vector<int>{1, 0, 2}));
  EXPECT_EQ(freed, 2);
  delete oldRec;
}

TEST(THashListEx, DupesModes) {
  Rec a(1), b(2);
  {
    List list;
    list.SetInsertDupesMode(himIgnore);
    list.AddItem(u"k", &a);
    EXPECT_FALSE(list.AddItem(u"K", &b));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.GetValue(u"k"), &a);
  }
  {
    List list;
    list.SetInsertDupesMode(himRaise);
    list.AddItem(u"k", &a);
    EXPECT_FALSE(list.AddItem(u"k", &b));
    list.SetRaiseOnError(true);
    try {
      list.AddItem(u"k", &b);
      FAIL() << "no error";
    } catch (const EHashListError& e) {
      EXPECT_STREQ(e.what(), "Duplicate entry.");
    }
    EXPECT_EQ(list.Count(), 1);
  }
  for (THashInsertDupesMode mode : {himInsert, himMove}) {
    List list;
    list.SetInsertDupesMode(mode);
    list.AddItem(u"k", &a);
    EXPECT_TRUE(list.InsertItem(1, u"K", &b));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.GetValue(u"k"), &a);  // the lower index wins
    EXPECT_EQ(list.GetName(1), u"K");
  }
}

TEST(THashListEx, InsertAtFrontMovesOthersUp) {
  List list;
  Rec a(1), b(2), c(3), d(4);
  list.AddItem(u"a", &a);
  list.AddItem(u"b", &b);
  list.AddItem(u"c", &c);
  EXPECT_TRUE(list.InsertItem(0, u"d", &d));
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list.GetByIndex(0), &d);
  EXPECT_EQ(list.GetByIndex(1), &a);
  EXPECT_EQ(list.GetByIndex(2), &b);
  EXPECT_EQ(list.GetByIndex(3), &c);
  EXPECT_EQ(list.GetIndex(u"c"), 3);
}

struct ErrorCase {
  const char* what;
  void (*op)(List&);
  const char* text;
};

Rec gRec(0);

TEST(THashListEx, SilentFailuresAndRaisedTexts) {
  const ErrorCase cases[] = {
      {"GetIndex absent", [](List& l) { EXPECT_EQ(l.GetIndex(u"zz"), -1); }, "Hash is absent."},
      {"GetValue absent", [](List& l) { EXPECT_EQ(l.GetValue(u"zz"), nullptr); },
       "Hash is absent."},
      {"DeleteItem absent", [](List& l) { l.DeleteItem(u"zz"); }, "Hash is absent."},
      {"Insert at -1", [](List& l) { EXPECT_FALSE(l.InsertItem(-1, u"n", &gRec)); },
       "Invalid position for HashList."},
      {"Insert past end", [](List& l) { EXPECT_FALSE(l.InsertItem(3, u"n", &gRec)); },
       "Invalid position for HashList."},
      {"Delete -1", [](List& l) { l.Delete(-1); }, "Hash not found."},
      {"Delete Count", [](List& l) { l.Delete(2); }, "Hash not found."},
      {"GetByIndex -1", [](List& l) { EXPECT_EQ(l.GetByIndex(-1), nullptr); }, "Invalid Index."},
      {"GetByIndex Count", [](List& l) { EXPECT_EQ(l.GetByIndex(2), nullptr); }, "Invalid Index."},
      {"GetName Count", [](List& l) { EXPECT_EQ(l.GetName(2), u""); }, "Invalid Index."},
      {"GetName -5", [](List& l) { EXPECT_EQ(l.GetName(-5), u""); }, "Invalid Index."},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.what);
    Rec a(1), b(2);
    List list;
    list.AddItem(u"a", &a);
    list.AddItem(u"b", &b);
    c.op(list);  // silent
    EXPECT_EQ(list.Count(), 2);
    list.SetRaiseOnError(true);
    try {
      c.op(list);
      ADD_FAILURE() << "no error";
    } catch (const EHashListError& e) {
      EXPECT_STREQ(e.what(), c.text);
    }
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.GetByIndex(0), &a);
    EXPECT_EQ(list.GetByIndex(1), &b);
  }
}

TEST(THashListEx, DeleteAndClearEvents) {
  int freed = 0;
  std::vector<int> deleted;
  List list;
  list.OnDelete = [&](Rec* r) { deleted.push_back(r ? r->value : -1); };
  list.Clear();  // empty: nothing fires
  EXPECT_TRUE(deleted.empty());
  EXPECT_EQ(list.Capacity(), 0);

  list.SetAutoClearObjects(true);
  list.AddItem(u"1", new Rec(1, &freed));
  list.AddItem(u"2", new Rec(2, &freed));
  list.AddItem(u"3", nullptr);
  list.AddItem(u"4", new Rec(4, &freed));
  list.DeleteItem(u"2");
  EXPECT_EQ(deleted, std::vector<int>{2});
  EXPECT_EQ(freed, 1);
  EXPECT_EQ(list.GetIndex(u"3"), 1);
  list.Clear();
  EXPECT_EQ(deleted, (std::vector<int>{2, 1, -1, 4}));
  EXPECT_EQ(freed, 3);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Capacity(), 0);
}

TEST(THashListEx, HandlerMayUseTheListWhileDeleting) {
  Rec a(1), b(2), c(3);
  List list;
  std::vector<std::int32_t> countsSeen;
  list.OnDelete = [&](Rec* r) {
    countsSeen.push_back(list.Count());
    if (r == &a) list.DeleteItem(u"c");  // a handler removing another entry
  };
  list.AddItem(u"a", &a);
  list.AddItem(u"b", &b);
  list.AddItem(u"c", &c);
  list.Delete(0);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.GetByIndex(0), &b);
  list.AddItem(u"a", &a);
  list.Clear();
  EXPECT_EQ(countsSeen, (std::vector<std::int32_t>{2, 1, 0, 0}));
  EXPECT_EQ(list.Count(), 0);
}

TEST(THashListEx, HashTypeChangeClearsAndSwitchesHash) {
  std::vector<int> deleted;
  Rec a(1);
  List list;
  list.OnDelete = [&](Rec* r) { deleted.push_back(r->value); };
  list.AddItem(u"abc", &a);
  list.SetHashType(htMD5);  // differs: clears
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(deleted, std::vector<int>{1});
  list.AddItem(u"abc", &a);
  list.SetHashType(htMD5);  // same: keeps
  EXPECT_EQ(list.Count(), 1);

  list.SetQuickHash(true);
  EXPECT_EQ(list.HashType(), htQuick);
  EXPECT_EQ(list.Count(), 0);
  // The quick hash of "ABC" (folded) is 65*25 + 66*5 + 67 = 2022, as is that of "AC>".
  list.AddItem(u"abc", &a);
  EXPECT_EQ(list.GetIndex(u"ABC"), 0);
  EXPECT_EQ(list.GetIndex(u"ac>"), 0);
  EXPECT_EQ(list.GetIndex(u"ABD"), -1);
  list.SetQuickHash(false);
  EXPECT_EQ(list.GetIndex(u"ac>"), -1);
  EXPECT_EQ(list.HashType(), htCRC32);
  EXPECT_FALSE(list.QuickHash());
  list.SetHashType(htQuick);
  EXPECT_TRUE(list.QuickHash());
}

}  // namespace
