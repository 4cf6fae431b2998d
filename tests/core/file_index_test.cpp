#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <set>

#include "core/FileIndex.h"
#include "core/FileIndexQuery.h"
#include "core/FileIndexText.h"
#include "core/TextFold.h"
#include "core/TextUtils.h"

namespace {
using Id = FileIndex::EntryId;

std::set<std::u16string> Paths(const FileIndex& index, const std::vector<Id>& ids) {
  std::set<std::u16string> out;
  for (Id id : ids) out.insert(index.PathOf(id));
  return out;
}

TEST(FileIndexText, Wtf8RoundTripsEveryKindOfUnit) {
  const std::u16string cases[] = {
      u"", u"plain.txt", u"Caf\u00e9", u"\u4e2d\u6587\u540d.doc", u"emoji \U0001F600",
      std::u16string(1, char16_t(0xD800)) + u"lone-high", u"lone-low" + std::u16string(1, char16_t(0xDC01)),
  };
  for (const auto& s : cases) EXPECT_EQ(FromWtf8(ToWtf8(s)), s);
  EXPECT_EQ(ToWtf8(u"abc").size(), 3u);  // ASCII costs one byte per character
}

TEST(FileIndexText, MalformedBytesNeverReadPastTheEnd) {
  EXPECT_EQ(FromWtf8(std::string("\xE4\xB8", 2)), u"\uFFFD");
  EXPECT_EQ(FromWtf8(std::string("a\xFF" "b")), u"a\uFFFDb");
  EXPECT_EQ(FromWtf8(std::string("\xC3(")), u"\uFFFD(");
}

struct QueryCase {
  const char16_t* query;
  const char16_t* name;
  bool match;
};

TEST(NameQuery, SubstringAndWildcardTable) {
  const QueryCase cases[] = {
      {u"rep", u"Report.docx", true},      {u"REP", u"report.docx", true},
      {u"port.d", u"Report.docx", true},   {u"xyz", u"Report.docx", false},
      {u"*.txt", u"Notes.TXT", true},      {u"*.txt", u"notes.txt.bak", false},
      {u"a?c", u"ABC", true},              {u"a?c", u"ABBC", false},
      {u"abc", u"xabcx", true},            {u"a*c", u"xxabbcxx", false},
      {u"*a*b", u"xxAyyB", true},          {u"a*b*c", u"abxbyc", true},
      {u"*?x", u"abx", true},              {u"*?x", u"x", false},
      {u"*", u"anything", true},           {u"?", u"ab", false},
      {u"?", u"a", true},                  {u"a*a", u"a", false},
      {u"a*a", u"aa", true},               {u"*o*o*", u"foo", true},
      {u"r*t.*x", u"Report.docx", true},   {u"r*t.*x", u"Report.docxy", false},
      {u"\u00e9t\u00e9", u"\u00c9T\u00c9.txt", true}, {u"*\U0001F600*", u"a\U0001F600b", true},
      {u"", u"anything", false},
      // Half of a surrogate pair in the query: matched on code units, inside a pair too.
      {u"\xDE00", u"a\xD83D\xDE00" u"b", true},  {u"*\xDE00", u"\xD83D\xDE00", true},
      {u"\xD83D?", u"\xD83D\xDE00", true},   {u"\xDE00", u"plain", false},
  };
  for (const auto& c : cases) {
    const NameQuery q(c.query);
    EXPECT_EQ(q.Matches(c.name), c.match) << Utf16ToUtf8(c.query) << " / " << Utf16ToUtf8(c.name);
    EXPECT_EQ(q.MatchesStored(ToWtf8(FoldLower(c.name)), ToWtf8(c.name)), c.match) << Utf16ToUtf8(c.query);
  }
}

class FileIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = index.AddRoot(u"C:\\Data\\");
    docs = index.Add(root, u"Docs", true);
    report = index.Add(docs, u"Report.docx", false);
    notes = index.Add(docs, u"notes.TXT", false);
    music = index.Add(root, u"Music", true);
    song = index.Add(music, u"Report Song.mp3", false);
  }
  FileIndex index;
  Id root{}, docs{}, report{}, notes{}, music{}, song{};
};

TEST_F(FileIndexTest, PathsAndLookupsIgnoreCase) {
  EXPECT_EQ(index.PathOf(root), u"C:\\Data");
  EXPECT_EQ(index.PathOf(report), u"C:\\Data\\Docs\\Report.docx");
  EXPECT_EQ(index.FindPath(u"c:\\data\\DOCS\\report.DOCX"), report);
  EXPECT_EQ(index.FindPath(u"C:\\Data\\Docs\\"), docs);
  EXPECT_EQ(index.FindPath(u"C:\\Data"), root);
  EXPECT_EQ(index.FindPath(u"C:\\DataX\\Docs"), FileIndex::kNone);
  EXPECT_EQ(index.FindPath(u"C:\\Data\\Nope"), FileIndex::kNone);
  EXPECT_EQ(index.FindChild(docs, u"NOTES.txt"), notes);
  EXPECT_EQ(index.Count(), 5u);
  EXPECT_EQ(index.AddRoot(u"c:\\data"), root);
}

TEST_F(FileIndexTest, DriveRootsKeepTheirBackslash) {
  FileIndex drives;
  const Id c = drives.AddRoot(u"C:");
  const Id win = drives.Add(c, u"Windows", true);
  EXPECT_EQ(drives.PathOf(c), u"C:\\");
  EXPECT_EQ(drives.PathOf(win), u"C:\\Windows");
  EXPECT_EQ(drives.FindPath(u"c:\\windows"), win);
  EXPECT_EQ(drives.FindPath(u"C:\\"), c);
}

TEST_F(FileIndexTest, SearchHonoursScopeFoldersAndCap) {
  const std::vector<Id> all{root};
  EXPECT_EQ(Paths(index, index.Search(NameQuery(u"report"), all, 100)),
            (std::set<std::u16string>{u"C:\\Data\\Docs\\Report.docx", u"C:\\Data\\Music\\Report Song.mp3"}));
  EXPECT_EQ(Paths(index, index.Search(NameQuery(u"report"), {music}, 100)),
            (std::set<std::u16string>{u"C:\\Data\\Music\\Report Song.mp3"}));
  // Folders match like files; the scope folder itself is not an item.
  EXPECT_EQ(Paths(index, index.Search(NameQuery(u"DOC"), all, 100)),
            (std::set<std::u16string>{u"C:\\Data\\Docs", u"C:\\Data\\Docs\\Report.docx"}));
  EXPECT_EQ(Paths(index, index.Search(NameQuery(u"doc"), {docs}, 100)),
            (std::set<std::u16string>{u"C:\\Data\\Docs\\Report.docx"}));
  EXPECT_EQ(index.Search(NameQuery(u"*"), all, 3).size(), 3u);
  EXPECT_TRUE(index.Search(NameQuery(u"report"), {report}, 100).empty());  // a file is no scope
  EXPECT_TRUE(index.Search(NameQuery(u""), all, 100).empty());
}

TEST_F(FileIndexTest, ScopeGivenTwiceStaysItsOwnRoot) {
  const Id other = index.AddRoot(u"D:\\");
  index.Add(other, u"report.txt", false);
  // As many scopes as roots, but not every root: the other root's items stay out.
  EXPECT_EQ(Paths(index, index.Search(NameQuery(u"report"), {root, root}, 100)),
            (std::set<std::u16string>{u"C:\\Data\\Docs\\Report.docx", u"C:\\Data\\Music\\Report Song.mp3"}));
  EXPECT_EQ(index.Search(NameQuery(u"report"), {root, other}, 100).size(), 3u);
}

TEST_F(FileIndexTest, CancelledSearchStopsEarly) {
  for (int i = 0; i < 20000; ++i) index.Add(docs, u"file" + Utf8ToUtf16(std::to_string(i)), false);
  std::atomic<bool> cancel{true};
  EXPECT_LT(index.Search(NameQuery(u"file"), {root}, 100000, &cancel).size(), 20000u);
  cancel = false;
  EXPECT_EQ(index.Search(NameQuery(u"file"), {root}, 100000, &cancel).size(), 20000u);
}

TEST_F(FileIndexTest, RemoveTakesTheSubtreeAndSlotsAreReused) {
  index.Remove(docs);
  EXPECT_FALSE(index.IsLive(docs));
  EXPECT_FALSE(index.IsLive(report));
  EXPECT_EQ(index.Count(), 2u);
  EXPECT_EQ(index.FindPath(u"C:\\Data\\Docs"), FileIndex::kNone);
  EXPECT_TRUE(index.Search(NameQuery(u"notes"), {root}, 100).empty());
  const Id again = index.Add(root, u"Docs2", true);
  EXPECT_TRUE(again == docs || again == report || again == notes);
  EXPECT_EQ(index.PathOf(again), u"C:\\Data\\Docs2");
  index.Remove(root);  // a root is emptied, not dropped
  EXPECT_TRUE(index.IsLive(root));
  EXPECT_EQ(index.Count(), 0u);
}

TEST_F(FileIndexTest, ChildrenAreTheLiveEntriesRightBelow) {
  const auto sorted = [](std::vector<Id> ids) {
    std::sort(ids.begin(), ids.end());
    return ids;
  };
  EXPECT_EQ(sorted(index.Children(root)), sorted({docs, music}));
  EXPECT_EQ(sorted(index.Children(docs)), sorted({report, notes}));
  index.Remove(report);
  EXPECT_EQ(index.Children(docs), std::vector<Id>{notes});
  ASSERT_TRUE(index.Move(notes, music, u"notes.TXT"));
  EXPECT_TRUE(index.Children(docs).empty());
  EXPECT_EQ(sorted(index.Children(music)), sorted({song, notes}));
  EXPECT_TRUE(index.Children(song).empty());    // a file
  EXPECT_TRUE(index.Children(report).empty());  // gone
  EXPECT_TRUE(index.Children(FileIndex::kNone).empty());
}

TEST_F(FileIndexTest, MoveRenamesAndReparents) {
  ASSERT_TRUE(index.Move(docs, root, u"Papers"));
  EXPECT_EQ(index.PathOf(report), u"C:\\Data\\Papers\\Report.docx");
  EXPECT_EQ(index.FindPath(u"C:\\Data\\Docs"), FileIndex::kNone);
  ASSERT_TRUE(index.Move(notes, music, u"Lyrics.txt"));
  EXPECT_EQ(index.FindPath(u"C:\\Data\\Music\\lyrics.TXT"), notes);
  EXPECT_EQ(index.FindChild(docs, u"notes.TXT"), FileIndex::kNone);
  EXPECT_FALSE(index.Move(docs, report, u"x"));  // not a folder
  EXPECT_FALSE(index.Move(root, docs, u"x"));    // roots stay
  const Id inner = index.Add(docs, u"Inner", true);
  EXPECT_FALSE(index.Move(docs, inner, u"x"));  // not below itself
  EXPECT_FALSE(index.Move(report, docs, u""));  // names are never empty
}

TEST_F(FileIndexTest, BadNamesAndIdsAreRefused) {
  EXPECT_EQ(index.Add(report, u"child", false), FileIndex::kNone);  // parent is a file
  EXPECT_EQ(index.Add(12345, u"child", false), FileIndex::kNone);
  EXPECT_EQ(index.Add(docs, u"", false), FileIndex::kNone);
  EXPECT_EQ(index.Add(docs, std::u16string(FileIndex::kMaxNameBytes + 1, u'a'), false), FileIndex::kNone);
  EXPECT_EQ(index.PathOf(99999), u"");
  index.Remove(99999);
  EXPECT_EQ(index.Count(), 5u);
}

TEST_F(FileIndexTest, PathsOfManyMatchesPathOfEach) {
  const Id drive = index.AddRoot(u"D:");
  const Id top = index.Add(drive, u"top.txt", false);
  const Id chinese = index.Add(music, u"\u6587\u6863.txt", false);
  // Deeper than the path builder's inline chain.
  Id deep = root;
  for (int i = 0; i < 40; ++i) {
    char name[8];
    std::snprintf(name, sizeof name, "d%d", i);
    deep = index.Add(deep, Utf8ToUtf16(name), true);
  }
  const Id leaf = index.Add(deep, u"leaf", false);
  const Id gone = index.Add(docs, u"gone", false);
  index.Remove(gone);
  // Same-folder runs, alternating folders, roots, a dead entry and an unknown id.
  const std::vector<Id> ids{report, notes, song, chinese, report, root, drive, top, leaf, gone, 99999, notes};
  const std::vector<std::u16string> paths = index.PathsOf(ids);
  ASSERT_EQ(paths.size(), ids.size());
  for (std::size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(paths[i], index.PathOf(ids[i])) << i;
  EXPECT_EQ(paths[7], u"D:\\top.txt");
  EXPECT_EQ(paths[9], u"");
  EXPECT_EQ(paths[8].substr(0, 14), u"C:\\Data\\d0\\d1\\");
  EXPECT_TRUE(index.PathsOf({}).empty());
}

TEST_F(FileIndexTest, AHitIsCheckedAgainAfterItsSlotIsReused) {
  const NameQuery query(u"*.docx");
  const std::vector<Id> hits = index.Search(query, {root}, 100);
  ASSERT_EQ(hits, std::vector<Id>{report});
  index.Remove(report);
  const Id other = index.Add(docs, u"other.txt", false);
  ASSERT_EQ(other, report);  // the freed slot is taken again
  EXPECT_FALSE(index.NameMatches(report, query));
  EXPECT_TRUE(index.NameMatches(report, NameQuery(u"other")));
  EXPECT_FALSE(index.NameMatches(99999, NameQuery(u"other")));
}

TEST(FileIndex, PoolCompactionKeepsEveryName) {
  FileIndex index;
  const Id root = index.AddRoot(u"D:\\");
  std::vector<Id> keep;
  for (int round = 0; round < 4; ++round) {
    std::vector<Id> temp;
    for (int i = 0; i < 5000; ++i)
      temp.push_back(index.Add(root, u"temporary-file-name-" + Utf8ToUtf16(std::to_string(i)), false));
    keep.push_back(index.Add(root, u"Keep" + Utf8ToUtf16(std::to_string(round)), false));
    for (Id id : temp) index.Remove(id);
  }
  EXPECT_EQ(index.Count(), 4u);
  for (int round = 0; round < 4; ++round) EXPECT_EQ(index.Name(keep[round]), u"Keep" + Utf8ToUtf16(std::to_string(round)));
  EXPECT_EQ(index.Search(NameQuery(u"KEEP"), {root}, 10).size(), 4u);
  index.ShrinkToFit();
  EXPECT_LT(index.MemoryBytes(), 200000u);
}

TEST(FileIndex, StaysUnderSixtyFourBytesPerEntry) {
  FileIndex index;
  const Id root = index.AddRoot(u"C:\\");
  for (int d = 0; d < 100; ++d) {
    const Id dir = index.Add(root, u"Folder Number " + Utf8ToUtf16(std::to_string(d)), true);
    for (int f = 0; f < 1000; ++f) index.Add(dir, u"Document_" + Utf8ToUtf16(std::to_string(f)) + u".pdf", false);
  }
  index.ShrinkToFit();
  EXPECT_LT(index.MemoryBytes() / index.Count(), 64u);
}
}  // namespace
