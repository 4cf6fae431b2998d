#include <gtest/gtest.h>

#include <vector>

#include "core/SearchMessages.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(const IMessageData& m) {
  const TMemoryStream& s = m->Data().Storage();
  return Bytes(s.Data(), s.Data() + s.Size());
}

std::vector<std::u16string> Names(const IMessageData& m) {
  std::vector<std::u16string> names;
  auto e = m->Data().GetEnumerator();
  while (e.MoveNext()) names.push_back(e.Current());
  return names;
}

TEST(SearchMessages, CancelRequestIsTwoEntriesOf62Bytes) {
  IMessageData m = BuildCancelRequest(1234);
  EXPECT_EQ(m->ID(), u"");
  const Bytes b = BytesOf(m);
  ASSERT_EQ(b.size(), 62u);
  const Bytes searchBox = {0x12, 0, 0, 0, 'S', 0, 'e', 0, 'a', 0, 'r', 0, 'c', 0, 'h', 0, 'B', 0, 'o', 0, 'x', 0,
                           4, 0, 0, 0, 0, 0, 0, 0, 0xD2, 0x04, 0, 0};
  EXPECT_EQ(Bytes(b.begin() + 28, b.end()), searchBox);
  EXPECT_EQ(b[24], 3);
  EXPECT_EQ(Names(m), (std::vector<std::u16string>{u"Action", u"SearchBox"}));
}

TEST(SearchMessages, TestAidSearchRequestIs154Bytes) {
  IMessageData m = BuildSearchRequest(u"D:\\", u"shell111111111111111", 0x00010203);
  const Bytes b = BytesOf(m);
  ASSERT_EQ(b.size(), 154u);
  EXPECT_EQ(Names(m), (std::vector<std::u16string>{u"Action", u"Dir", u"Wildcard", u"SearchBox"}));
  // "Dir" entry: 28 .. 52, its value "D:\" at 46.
  EXPECT_EQ(Bytes(b.begin() + 28, b.begin() + 52),
            (Bytes{6, 0, 0, 0, 'D', 0, 'i', 0, 'r', 0, 6, 0, 0, 0, 0, 0, 0, 0, 'D', 0, ':', 0, '\\', 0}));
  EXPECT_EQ(Bytes(b.end() - 4, b.end()), (Bytes{3, 2, 1, 0}));
  TSearchMessage d = DecodeSearchMessage(m->Data());
  EXPECT_EQ(d.Action, 1);
  EXPECT_EQ(d.Dir, u"D:\\");
  EXPECT_EQ(d.Wildcard, u"shell111111111111111");
  EXPECT_EQ(d.SearchBox, 0x00010203u);
  EXPECT_EQ(d.FileName, u"");
}

TEST(SearchMessages, BuildersWriteTheirFieldsInOrder) {
  struct Case {
    IMessageData msg;
    std::uint8_t action;
    std::vector<std::u16string> names;
  };
  const Case cases[] = {
      {BuildChannelReport(1024), 5, {u"Action", u"SearchBox"}},
      {BuildAnswerBegin(7), 1, {u"Action", u"SearchBox"}},
      {BuildFoundItem(u"C:\\a.txt", u"a", 7), 2, {u"Action", u"FileName", u"Wildcard", u"SearchBox"}},
      {BuildAnswerEnd(7), 3, {u"Action", u"SearchBox"}},
      {BuildUpdateAnnouncement(u"C:\\up.exe", u"2.0"), 4, {u"Action", u"FileName", u"Version"}},
      {BuildSearchRequest(u"C:\\", u"", 9), 1, {u"Action", u"Dir", u"SearchBox"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Names(c.msg), c.names);
    EXPECT_EQ(DecodeSearchMessage(c.msg->Data()).Action, c.action);
  }
  TSearchMessage u = DecodeSearchMessage(BuildUpdateAnnouncement(u"C:\\up.exe", u"2.0")->Data());
  EXPECT_EQ(u.FileName, u"C:\\up.exe");
  EXPECT_EQ(u.Version, u"2.0");
  EXPECT_EQ(u.SearchBox, 0u);
  EXPECT_EQ(DecodeSearchMessage(BuildChannelReport(1024)->Data()).SearchBox, 1024u);
}

TEST(SearchMessages, DecodeUsesLowByteOfActionAndAnyFieldOrder) {
  TStreamStorage s;
  s.WriteString(u"Extra", u"ignored");
  s.WriteCardinal(u"SearchBox", 77);
  s.WriteString(u"Wildcard", u"w");
  s.WriteString(u"FileName", u"C:\\f");
  s.WriteCardinal(u"Action", 257);
  TStreamStorage raw;
  raw.Assign(s);
  TSearchMessage d = DecodeSearchMessage(raw);
  EXPECT_EQ(d.Action, 1);
  EXPECT_EQ(d.SearchBox, 77u);
  EXPECT_EQ(d.FileName, u"C:\\f");
  EXPECT_EQ(d.Wildcard, u"w");

  TStreamStorage empty;
  TSearchMessage e = DecodeSearchMessage(empty);
  EXPECT_EQ(e.Action, 0);
  EXPECT_EQ(e.SearchBox, 0u);
  EXPECT_TRUE(e.FileName.empty() && e.Wildcard.empty() && e.Version.empty() && e.Dir.empty());
}

}  // namespace
