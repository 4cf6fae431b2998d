// The per-answer check of a hit's folders, over a stand-in for the client's rights: Wine does
// not enforce folder rights (and the tests run as a user who may list everything), so the
// rule is shown here with an oracle that refuses chosen folders.
#include "core/ListingCheck.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace {

struct Oracle {
  std::set<std::u16string> refused;
  std::map<std::u16string, int> asked;
  ListingCheck::CanList Fn() {
    return [this](const std::u16string& folder) {
      ++asked[folder];
      return refused.count(folder) == 0;
    };
  }
};

TEST(ListingCheck, EveryFolderFromTheScopeDownMayBeListed) {
  Oracle oracle;
  oracle.refused = {u"C:\\Data\\Secret"};
  ListingCheck check({u"C:\\Data"}, oracle.Fn());
  const std::pair<const char16_t*, bool> cases[] = {
      {u"C:\\Data\\report.txt", true},
      {u"C:\\Data\\Open\\a.txt", true},
      {u"C:\\Data\\Secret\\b.txt", false},
      // Listable itself, but its path names the folder above it.
      {u"C:\\Data\\Secret\\Public\\c.txt", false},
      {u"C:\\Data\\Secret\\Public\\Deeper\\d.txt", false},
      {u"C:\\Data\\Secret", true},  // the folder itself is listed in a folder the client may list
  };
  for (const auto& [path, allowed] : cases) EXPECT_EQ(check.Allows(path), allowed);
  // Each folder once per answer; nothing above the scope, nothing below a refused folder.
  for (const auto& [folder, times] : oracle.asked) EXPECT_EQ(times, 1) << folder.size();
  EXPECT_EQ(oracle.asked.count(u"C:\\"), 0u);
  EXPECT_EQ(oracle.asked.count(u"C:\\Data\\Secret\\Public"), 0u);
  EXPECT_EQ(oracle.asked.size(), 3u);  // C:\Data, C:\Data\Open, C:\Data\Secret
}

TEST(ListingCheck, DriveRootsAndSeveralScopes) {
  Oracle oracle;
  oracle.refused = {u"D:\\"};
  ListingCheck check({u"C:\\", u"D:\\", u"\\\\server\\share"}, oracle.Fn());
  EXPECT_TRUE(check.Allows(u"C:\\a.txt"));
  EXPECT_TRUE(check.Allows(u"C:\\Folder\\b.txt"));
  EXPECT_FALSE(check.Allows(u"D:\\Folder\\b.txt"));
  EXPECT_TRUE(check.Allows(u"\\\\server\\share\\dir\\c.txt"));
  EXPECT_EQ(oracle.asked.count(u"C:\\"), 1u);  // a drive root keeps its backslash
  EXPECT_EQ(oracle.asked.count(u"\\\\server"), 0u);
  EXPECT_FALSE(check.Allows(u""));
  EXPECT_FALSE(check.Allows(u"name-without-folder"));
}

}  // namespace
