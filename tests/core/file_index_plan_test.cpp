// The index's two ways of answering (trigram postings and the straight scan) against each other
// and against a direct walk of the live entries, on a fixed tree and after many changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/BlockSet.h"
#include "core/FileIndex.h"
#include "core/FileIndexQuery.h"
#include "core/NameTrigrams.h"
#include "core/TextFold.h"
#include "core/TextUtils.h"

namespace {
using Id = FileIndex::EntryId;
using Plan = FileIndex::SearchPlan;
constexpr std::size_t kAll = static_cast<std::size_t>(-1);

std::string Show(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) out += c < 0x80 ? std::string(1, static_cast<char>(c)) : "\\u" + std::to_string(c);
  return out;
}

// An index and every id it ever handed out, so a walk can visit them all.
struct Tree {
  FileIndex index;
  std::vector<Id> roots;
  std::vector<Id> folders;
  Id maxId = 0;

  Id Add(Id parent, const std::u16string& name, bool folder) {
    const Id id = index.Add(parent, name, folder);
    if (id == FileIndex::kNone) return id;
    maxId = std::max(maxId, id);
    if (folder) folders.push_back(id);
    return id;
  }

  // What a search must return: the live entries below a scope whose names match, in id order.
  std::vector<Id> Walk(const NameQuery& query, const std::vector<Id>& scopes, std::size_t cap) const {
    std::vector<Id> out;
    for (Id id = 0; id <= maxId && out.size() < cap; ++id) {
      if (!index.IsLive(id) || index.Parent(id) == FileIndex::kNone) continue;
      const bool inside = std::any_of(scopes.begin(), scopes.end(), [&](Id s) {
        return index.IsFolder(s) && s != id && index.IsWithin(id, s);
      });
      if (inside && query.Matches(index.Name(id))) out.push_back(id);
    }
    return out;
  }

  // Every plan gives the walk's answer.
  void Check(const std::u16string& text, const std::vector<Id>& scopes, std::size_t cap) const {
    const NameQuery query(text);
    const std::vector<Id> expected = Walk(query, scopes, cap);
    for (Plan plan : {Plan::kScan, Plan::kPostings, Plan::kAuto})
      ASSERT_EQ(index.Search(query, scopes, cap, nullptr, plan), expected)
          << "query " << Show(text) << ", plan " << static_cast<int>(plan) << ", cap " << cap;
  }
};

// Names with case that folds to other bytes (É, Σ, the Kelvin sign, dotted İ), Chinese,
// characters outside the BMP and lone surrogates.
const char16_t* const kStems[] = {
    u"Report",        u"report-final", u"Caf\u00C9",       u"caf\u00E9 au lait", u"\u03A3igma",
    u"\u212Aelvin",   u"\u0130stanbul", u"\u6587\u6863",   u"\u4E2D\u6587\u6587\u6863", u"smile\U0001F600",
    u"\U0001F600\U0001F601", u"budget", u"notes draft", u"ab",           u"x",
};
const char16_t* const kExts[] = {u".txt", u".docx", u"", u".TXT", u".h"};

std::u16string NameFor(std::mt19937& rng, int serial) {
  std::u16string name = kStems[rng() % std::size(kStems)];
  if (rng() % 3 == 0) name += std::u16string(1, char16_t(0xD800 + rng() % 2 * 0x400 + 7));  // a lone half
  name += u"_" + Utf8ToUtf16(std::to_string(serial % 997));
  return name + kExts[rng() % std::size(kExts)];
}

// Substring and wildcard queries, Chinese, surrogate pairs and halves, one and two characters,
// patterns without a three-byte literal run, and queries nothing matches.
const char16_t* const kQueries[] = {
    u"report",      u"REPORT-F",    u"caf\u00E9",   u"CAF\u00C9 AU", u"\u03C3igma",    u"kelvin",
    u"\u212A",      u"i\u0307stan", u"\u0130stanbul", u"\u6587",     u"\u6587\u6863",  u"\u4E2D\u6587\u6587",
    u"\U0001F600",  u"e\U0001F600", u"\xDE00",      u"\xD83D",       u"_12",           u"_123",
    u"t_4",         u"a",           u"ab",          u"_1",           u"*.txt",         u"*.TXT",
    u"report*",     u"*_9?.h",      u"b?dget*",     u"*\u6587*",     u"*\U0001F600*",  u"*e\U0001F600*",
    u"?",           u"??",          u"*",           u"*a*b*",        u"a?b",           u"*_1*.h",
    u"r*t-f*.docx", u"xyz",         u"zzz",         u"*.none",       u"notes draft",   u"s d",
};

void CheckAll(const Tree& t, std::size_t cap) {
  const std::vector<std::vector<Id>> scopes{
      {t.roots[0]}, {t.roots[0], t.roots[1]}, {t.folders[3]}, {t.folders[1], t.folders[5], t.roots[1]}};
  for (const char16_t* q : kQueries)
    for (const auto& s : scopes) t.Check(q, s, cap);
}

Tree Generated(std::size_t entries, unsigned seed) {
  Tree t;
  t.roots = {t.index.AddRoot(u"C:\\"), t.index.AddRoot(u"D:\\Data")};
  t.folders = t.roots;
  std::mt19937 rng(seed);
  for (std::size_t i = 0; i < entries; ++i) {
    const Id parent = t.folders[rng() % t.folders.size()];
    t.Add(parent, NameFor(rng, static_cast<int>(i)), rng() % 8 == 0);
  }
  return t;
}

TEST(FileIndexPlan, BothPlansGiveTheWalksAnswerToEveryQuery) {
  const Tree t = Generated(3000, 7);
  // The table is not vacuous: most queries have hits, some have none.
  std::size_t withHits = 0;
  for (const char16_t* q : kQueries) withHits += !t.Walk(NameQuery(q), {t.roots[0]}, kAll).empty();
  EXPECT_GT(withHits, std::size(kQueries) * 3 / 4);
  for (std::size_t cap : {std::size_t{1}, std::size_t{7}, kAll}) CheckAll(t, cap);
}

TEST(FileIndexPlan, PostingsStayRightThroughInterleavedChanges) {
  Tree t = Generated(2000, 11);
  std::mt19937 rng(99);
  const auto anyLive = [&]() -> Id {
    for (int tries = 0; tries < 1000; ++tries) {
      const Id id = rng() % (t.maxId + 1);
      if (t.index.IsLive(id) && t.index.Parent(id) != FileIndex::kNone) return id;
    }
    return FileIndex::kNone;
  };
  // One of the newer folders, which hold small subtrees (the roots stay).
  const auto anyFolder = [&] { return t.folders[t.folders.size() / 2 + rng() % (t.folders.size() / 2)]; };
  for (int step = 1; step <= 3000; ++step) {
    switch (rng() % 4) {
      case 0:
      case 1: {  // an add, often into a slot a delete freed
        const Id parent = t.folders[rng() % t.folders.size()];
        if (t.index.IsFolder(parent)) t.Add(parent, NameFor(rng, step), rng() % 8 == 0);
        break;
      }
      case 2: {  // a rename, sometimes to another folder, sometimes only a change of case
        const Id id = anyLive();
        if (id == FileIndex::kNone) break;
        const Id to = rng() % 3 == 0 ? t.folders[rng() % t.folders.size()] : t.index.Parent(id);
        std::u16string name = rng() % 4 == 0 ? FoldLower(t.index.Name(id)) : NameFor(rng, step);
        t.index.Move(id, to, name);
        break;
      }
      case 3: {  // a delete, mostly of a file, now and then of one of the newer folders
        const Id id = rng() % 10 == 0 ? anyFolder() : anyLive();
        const auto newer = t.folders.begin() + static_cast<std::ptrdiff_t>(t.folders.size() / 2);
        const bool oldFolder = t.index.IsFolder(id) && std::find(newer, t.folders.end(), id) == t.folders.end();
        if (id != FileIndex::kNone && !oldFolder) t.index.Remove(id);
        break;
      }
    }
    if (step % 1000 == 0) CheckAll(t, kAll);
  }
  EXPECT_GT(t.index.Count(), 1500u);  // the changes left a tree to search
  CheckAll(t, 5);
}

// Enough names share trigrams for their chunks to be bitmaps; removals one by one thin them
// out, and a big folder's removal rebuilds the postings from what stays.
TEST(FileIndexPlan, DenseTrigramsAndBigRemovals) {
  Tree t;
  t.roots = {t.index.AddRoot(u"C:\\"), t.index.AddRoot(u"E:\\")};
  t.folders = t.roots;
  const Id big = t.Add(t.roots[0], u"Big", true);
  const Id small = t.Add(t.roots[0], u"Small", true);
  for (int i = 0; i < 45000; ++i) t.Add(i % 5 ? big : small, u"common_" + Utf8ToUtf16(std::to_string(i)), false);
  t.folders.push_back(t.Add(t.roots[1], u"common folder", true));
  const auto check = [&] {
    t.Check(u"common", {t.roots[0], t.roots[1]}, 10);
    for (const char16_t* q : {u"mon_4", u"_4499", u"*_1?", u"n_44999", u"folder"})
      t.Check(q, {t.roots[0], t.roots[1]}, kAll);
  };
  check();
  for (Id id = 0; id <= t.maxId; ++id)
    if (t.index.IsLive(id) && t.index.Parent(id) == big && id % 3 == 0) t.index.Remove(id);
  check();
  t.index.Remove(big);  // most of what is left: the postings are built again
  check();
  EXPECT_EQ(t.index.Search(NameQuery(u"common"), {t.roots[0]}, kAll).size(), 9000u);
  t.index.ShrinkToFit();
  check();
}

TEST(BlockSet, MembersSurviveListsTurningIntoBitmapsAndBack) {
  BlockSet set;
  std::set<std::uint32_t> model;
  std::mt19937 rng(5);
  // Dense in the first chunk, sparse in the later ones.
  for (int i = 0; i < 30000; ++i) {
    const std::uint32_t n = i % 3 ? rng() % 9000 : rng() % (1u << 20);
    set.Insert(n);
    model.insert(n);
  }
  const auto same = [&] {
    ASSERT_EQ(set.Count(), model.size());
    std::size_t listed = 0;
    for (const BlockSet::Chunk& c : set.Chunks()) {
      listed += c.count;
      EXPECT_EQ(c.bitmap, c.data.size() == BlockSet::kBitmapWords);
    }
    EXPECT_EQ(listed, model.size());
    for (std::uint32_t n = 0; n < 12000; ++n) ASSERT_EQ(set.Contains(n), model.count(n) == 1) << n;
    for (std::uint32_t n : model) ASSERT_TRUE(set.Contains(n));
  };
  same();
  EXPECT_FALSE(set.IsSparse());
  EXPECT_TRUE(set.Chunks().front().bitmap);
  for (int i = 0; i < 40000; ++i) {
    const std::uint32_t n = rng() % 9000;
    set.Erase(n);
    model.erase(n);
  }
  same();
  EXPECT_FALSE(set.Chunks().front().bitmap);
  for (std::uint32_t n : std::vector<std::uint32_t>(model.begin(), model.end())) {
    set.Erase(n);
    model.erase(n);
  }
  EXPECT_TRUE(set.Empty());
  EXPECT_TRUE(set.Chunks().empty());
}

TEST(NameTrigrams, IntersectionVisitsTheCommonBlocksInOrderAndStopsWhenAsked) {
  BlockSet dense, sparse, mixed;
  std::vector<std::uint32_t> expected;
  for (std::uint32_t n = 0; n < 200000; ++n) {
    if (n % 2 == 0) dense.Insert(n);
    if (n % 7 == 0) sparse.Insert(n);
    if (n < 60000 || n % 3 == 0) mixed.Insert(n);
    if (n % 2 == 0 && n % 7 == 0 && (n < 60000 || n % 3 == 0)) expected.push_back(n);
  }
  std::vector<std::uint32_t> seen;
  NameTrigrams::Intersect({&dense, &sparse, &mixed}, [&](std::uint32_t b) {
    seen.push_back(b);
    return true;
  });
  EXPECT_EQ(seen, expected);
  seen.clear();
  NameTrigrams::Intersect({&mixed, &dense}, [&](std::uint32_t b) {
    seen.push_back(b);
    return seen.size() < 5;
  });
  EXPECT_EQ(seen, (std::vector<std::uint32_t>{0, 2, 4, 6, 8}));
  // A set of a few members spread wide stays one list, and meets chunked ones.
  BlockSet few;
  for (std::uint32_t n : {14u, 63000u, 70000u, 140000u, 199997u}) few.Insert(n);
  EXPECT_TRUE(few.IsSparse());
  seen.clear();
  NameTrigrams::Intersect({&dense, &few, &sparse}, [&](std::uint32_t b) {
    seen.push_back(b);
    return true;
  });
  EXPECT_EQ(seen, (std::vector<std::uint32_t>{14u, 63000u, 70000u, 140000u}));
}

TEST(NameTrigrams, KeysAreTheDistinctTrigramsOfTheBytes) {
  std::vector<NameTrigrams::Key> keys;
  NameTrigrams::KeysOf("abab", keys);
  EXPECT_EQ(keys.size(), 2u);  // "aba" and "bab"
  NameTrigrams::KeysOf("ab", keys);
  EXPECT_EQ(keys.size(), 2u);
  keys.clear();
  NameTrigrams::KeysOf("\xe6\x96\x87", keys);  // one Chinese character is one trigram
  EXPECT_EQ(keys, std::vector<NameTrigrams::Key>{0x8796e6u});
}
}  // namespace
