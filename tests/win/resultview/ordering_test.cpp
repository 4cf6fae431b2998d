// Found items arriving through the main form's handler: the order of rows (folders ahead of
// files), items of an older query, the end of an answer, an emptied query, and paths from
// the service that cannot be trusted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MainForm.h"
#include "ResultViewTestSupport.h"
#include "win/common/WideText.h"

namespace {

constexpr char16_t kQuery[] = u"rep";

class Intake : public ::testing::Test {
 protected:
  Intake() : host_(0, 0, 700, 400, ::GetSysColor(COLOR_WINDOW)) {
    rec_.Edit = std::make_unique<TImageEdit>();
    rec_.Edit->SetParentWindow(host_.get());
    rec_.Edit->SetText(kQuery);
    rec_.ResultView = std::make_unique<TListViewEx>();
    List().SetParentWindow(host_.get());
    List().SetBounds(0, 30, 700, 370);
    List().Panel().Show();
    List().SetStatusLabel(true, true);  // a search was started
    rec_.ResultDirIndex = -1;           // an answer began
  }

  TListViewEx& List() { return *rec_.ResultView; }
  void Add(const std::wstring& path, const std::u16string& wildcard = kQuery) {
    TfrmRuvoSearch::AddSearchResult(nullptr, &rec_, U(path), wildcard, u"rep");
  }
  void End() { TfrmRuvoSearch::AddSearchResult(nullptr, &rec_, u"", u"", u""); }
  std::vector<std::wstring> Names() {
    std::vector<std::wstring> names;
    for (std::size_t i = 0; i < List().Count(); ++i) names.push_back(W(List().Node(i).FileName));
    return names;
  }
  std::wstring LabelText() { return testing_text(List().StatusLabel()); }
  static std::wstring testing_text(HWND w) {
    wchar_t buf[256] = L"";
    ::GetWindowTextW(w, buf, 256);
    return buf;
  }

  TfrmListView form_;
  TestHost host_;
  TWindowRec rec_;
  TempFolder dir_{L"ruvo-intake"};
};

struct Step {
  enum Kind { kFile, kFolder, kOlderQuery, kEnd } kind;
  const wchar_t* name;
};

struct OrderCase {
  const char* what;
  std::vector<Step> steps;
  std::vector<std::wstring> rows;
};

class Ordering : public Intake, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(Ordering, RowsInOrder) {
  for (const Step& s : GetParam().steps) {
    switch (s.kind) {
      case Step::kFile:
        Add(dir_.File(s.name));
        break;
      case Step::kFolder:
        Add(dir_.Folder(s.name));
        break;
      case Step::kOlderQuery:
        Add(dir_.File(s.name), u"re");
        break;
      case Step::kEnd:
        End();
        break;
    }
  }
  EXPECT_EQ(Names(), GetParam().rows) << GetParam().what;
  // Any accepted item hides the "searching" label; the end after items changes nothing.
  EXPECT_FALSE(::IsWindowVisible(List().StatusLabel()));
  EXPECT_FALSE(List().StatusLabelVisible());
}

using S = Step;
INSTANTIATE_TEST_SUITE_P(
    Cases, Ordering,
    ::testing::Values(
        OrderCase{"folders first", {{S::kFolder, L"rep d1"}, {S::kFolder, L"rep d2"}, {S::kFile, L"rep f1"}},
                  {L"rep d1", L"rep d2", L"rep f1"}},
        OrderCase{"folders between files",
                  {{S::kFile, L"rep f1"}, {S::kFolder, L"rep d1"}, {S::kFile, L"rep f2"}, {S::kFolder, L"rep d2"},
                   {S::kFile, L"rep f3"}},
                  {L"rep d1", L"rep d2", L"rep f1", L"rep f2", L"rep f3"}},
        OrderCase{"folders after files",
                  {{S::kFile, L"rep f1"}, {S::kFile, L"rep f2"}, {S::kFolder, L"rep d1"}, {S::kFolder, L"rep d2"}},
                  {L"rep d1", L"rep d2", L"rep f1", L"rep f2"}},
        OrderCase{"older query left out",
                  {{S::kFile, L"rep f1"}, {S::kOlderQuery, L"rep old"}, {S::kFolder, L"rep d1"}},
                  {L"rep d1", L"rep f1"}},
        OrderCase{"end after items", {{S::kFile, L"rep f1"}, {S::kEnd, L""}, {S::kEnd, L""}}, {L"rep f1"}}));

TEST_F(Intake, EndOfAnEmptyAnswerShowsNoMatch) {
  ASSERT_EQ(LabelText(), TListViewEx::kSearchingText);
  Add(dir_.File(L"rep old"), u"re");  // an older query's item: nothing listed
  End();
  EXPECT_EQ(List().Count(), 0u);
  EXPECT_TRUE(::IsWindowVisible(List().StatusLabel()));
  EXPECT_EQ(LabelText(), TListViewEx::kNoMatchText);
  // Centred in the list.
  RECT label{};
  ::GetWindowRect(List().StatusLabel(), &label);
  RECT list{};
  ::GetWindowRect(List().Handle(), &list);
  EXPECT_NEAR((label.left - list.left) + (label.right - label.left) / 2, 350, 1);
}

TEST_F(Intake, QueryComparedTrimmedAndIgnoringCase) {
  Add(dir_.File(L"rep a"), u"  REP ");
  EXPECT_EQ(List().Count(), 1u);
}

TEST_F(Intake, EmptiedQueryHidesAndClearsWhileItemsArrive) {
  Add(dir_.File(L"rep f1"));
  Add(dir_.File(L"rep f2"));
  ASSERT_EQ(List().Count(), 2u);
  ASSERT_TRUE(::IsWindowVisible(List().Panel().Handle()));
  rec_.Edit->SetText(u"  ");
  Add(dir_.File(L"rep f3"));
  EXPECT_EQ(List().Count(), 0u);
  EXPECT_FALSE(::IsWindowVisible(List().Panel().Handle()));
  EXPECT_FALSE(List().StatusLabelVisible());
  Add(dir_.File(L"rep f4"));
  End();
  EXPECT_EQ(List().Count(), 0u);
  EXPECT_FALSE(::IsWindowVisible(List().Panel().Handle()));
  EXPECT_FALSE(::IsWindowVisible(List().StatusLabel()));
}

TEST_F(Intake, NodeFilledFromThePath) {
  const std::wstring file = dir_.File(L"sub\\rep data.bin", 5000);
  Add(file);
  const std::wstring folder = dir_.Folder(L"rep folder");
  Add(folder);
  ASSERT_EQ(List().Count(), 2u);
  const TShellObjectData& d = List().Node(1);
  EXPECT_EQ(W(d.FullPath), file);
  EXPECT_EQ(W(d.FileName), L"rep data.bin");
  EXPECT_EQ(W(d.FileDir), dir_.Path() + L"sub");
  EXPECT_EQ(W(d.Match), L"rep");
  EXPECT_EQ(d.FileSize, 5000);
  EXPECT_EQ(d.Attributes, ::GetFileAttributesW(file.c_str()));
  EXPECT_GE(d.ImageIndex, 0);
  // The local date of the file's last write, to the second.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(::GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data));
  SYSTEMTIME utc{}, local{};
  ::FileTimeToSystemTime(&data.ftLastWriteTime, &utc);
  ::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
  double expected = 0;
  ::SystemTimeToVariantTime(&local, &expected);
  EXPECT_NEAR(d.ModifyTime, expected, 1.5 / 86400);
  const TShellObjectData& f = List().Node(0);
  EXPECT_TRUE(f.IsFolder());
  EXPECT_EQ(f.FileSize, 0);
  EXPECT_GT(f.ModifyTime, 40000.0);
}

TEST_F(Intake, LongPathsAreReadWithTheExtendedPrefix) {
  std::wstring relative;
  while (relative.size() < 300) relative += L"a long folder name\\";
  const std::wstring file = dir_.File(relative + L"rep deep.txt", 777);
  ASSERT_GT(file.size(), 320u);
  Add(file);
  ASSERT_EQ(List().Count(), 1u);
  EXPECT_EQ(List().Node(0).FileSize, 777);
  EXPECT_GT(List().Node(0).ModifyTime, 40000.0);
  EXPECT_GE(List().Node(0).ImageIndex, 0);
  EXPECT_EQ(W(List().Node(0).FileName), L"rep deep.txt");
}

struct BadPath {
  const char* what;
  std::wstring path;  // relative to the test folder when it starts with "~"
};

class UntrustedPaths : public Intake, public ::testing::WithParamInterface<BadPath> {};

TEST_P(UntrustedPaths, AreDropped) {
  dir_.File(L"rep real.txt");
  std::wstring path = GetParam().path;
  if (!path.empty() && path[0] == L'~') path = dir_.Path() + path.substr(1);
  Add(path);
  EXPECT_EQ(List().Count(), 0u) << GetParam().what;
  // The search goes on: the label still says so, and a good item after it is listed.
  EXPECT_TRUE(List().StatusLabelVisible());
  Add(dir_.File(L"rep good.txt"));
  EXPECT_EQ(List().Count(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UntrustedPaths,
    ::testing::Values(BadPath{"relative", L"rep real.txt"}, BadPath{"drive relative", L"C:rep real.txt"},
                      BadPath{"rooted without drive", L"\\rep real.txt"},
                      BadPath{"embedded NUL naming an existing folder", std::wstring(L"~rep real.txt\0x", 16)},
                      BadPath{"wildcard", L"~rep *.txt"}, BadPath{"question mark", L"~rep real.tx?"},
                      BadPath{"misplaced colon", L"~rep:real.txt"}, BadPath{"pipe", L"~rep|real.txt"},
                      BadPath{"control character", L"~rep\treal.txt"}, BadPath{"device", L"\\\\.\\C:"},
                      BadPath{"vanished", L"~rep gone.txt"},
                      BadPath{"over 32767 characters", L"C:\\" + std::wstring(40000, L'a')}));

}  // namespace
