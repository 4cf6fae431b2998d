#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "core/StreamStorage.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(const TStreamStorage& s) { return Bytes(s.Storage().Data(), s.Storage().Data() + s.Storage().Size()); }

// Raw entry building blocks for buffers the writers never produce.
void PutI32(Bytes& b, std::int32_t v) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
  b.insert(b.end(), p, p + 4);
}
void PutI64(Bytes& b, std::int64_t v) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
  b.insert(b.end(), p, p + 8);
}
void PutName(Bytes& b, std::u16string_view name) {
  PutI32(b, static_cast<std::int32_t>(name.size() * 2));
  const auto* p = reinterpret_cast<const std::uint8_t*>(name.data());
  b.insert(b.end(), p, p + name.size() * 2);
}
void PutCardinalEntry(Bytes& b, std::u16string_view name, std::uint32_t v) {
  PutName(b, name);
  PutI64(b, 4);
  const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
  b.insert(b.end(), p, p + 4);
}

void LoadRaw(TStreamStorage& s, const Bytes& b) {
  s.Clear();
  s.Storage().Append(b.data(), b.size());
  s.Storage().SetPosition(0);
}

TEST(StreamStorage, EmptyStorageReadsDefaults) {
  TStreamStorage s;
  EXPECT_EQ(s.Storage().Size(), 0);
  EXPECT_FALSE(s.ReadBoolean(u"x"));
  EXPECT_EQ(s.ReadCardinal(u"x"), 0u);
  EXPECT_EQ(s.ReadInteger(u"x"), 0);
  EXPECT_EQ(s.ReadDateTime(u"x"), 0.0);
  EXPECT_EQ(s.ReadReal(u"x"), 0.0);
  EXPECT_EQ(s.ReadString(u"x"), u"");
  EXPECT_EQ(s.ReadUTF8String(u"x"), "");
  EXPECT_EQ(s.ReadStream(u"x")->Data().Size(), 0);
  EXPECT_FALSE(s.Exists(u"x"));
}

TEST(StreamStorage, CardinalEntryIsByteExact) {
  TStreamStorage s;
  s.WriteCardinal(u"Action", 1);
  const Bytes expected = {0x0C, 0, 0, 0, 0x41, 0, 0x63, 0, 0x74, 0, 0x69, 0, 0x6F, 0, 0x6E, 0,
                          0x04, 0, 0, 0, 0, 0, 0, 0, 0x01, 0, 0, 0};
  EXPECT_EQ(BytesOf(s), expected);
}

TEST(StreamStorage, EveryKindRoundTrips) {
  TStreamStorage s;
  TMemoryStream blob;
  const std::uint8_t raw[] = {9, 8, 7, 0, 255};
  blob.Write(raw, sizeof raw);
  s.WriteBoolean(u"b", true);
  s.WriteCardinal(u"c", 0xFFFFFFFFu);
  s.WriteInteger(u"i", -123456);
  s.WriteDateTime(u"d", 45000.75);
  s.WriteReal(u"r", -2.5e-300);
  s.WriteUnicodeString(u"u", u"\u4F60\u597D \U0001F600");
  s.WriteString(u"s", u"plain");
  s.WriteUTF8String(u"8", "\xE4\xBD\xA0 bytes\xFF");
  s.WriteStream(u"st", blob);
  EXPECT_EQ(blob.Position(), 5) << "the written stream's position is left alone";

  // Copied in raw, so every read goes through the scanner as well.
  TStreamStorage r;
  r.Assign(s);
  for (TStreamStorage* st : {&s, &r}) {
    EXPECT_EQ(st->ReadUTF8String(u"8"), "\xE4\xBD\xA0 bytes\xFF");
    EXPECT_TRUE(st->ReadBoolean(u"b"));
    EXPECT_EQ(st->ReadCardinal(u"c"), 0xFFFFFFFFu);
    EXPECT_EQ(st->ReadInteger(u"i"), -123456);
    EXPECT_EQ(st->ReadDateTime(u"d"), 45000.75);
    EXPECT_EQ(st->ReadReal(u"r"), -2.5e-300);
    EXPECT_EQ(st->ReadUnicodeString(u"u"), u"\u4F60\u597D \U0001F600");
    EXPECT_EQ(st->ReadString(u"s"), u"plain");
    IStorageStream copy = st->ReadStream(u"st");
    ASSERT_EQ(copy->Data().Size(), 5);
    EXPECT_EQ(std::memcmp(copy->Data().Data(), raw, 5), 0);
  }
}

TEST(StreamStorage, EmptyNameOrValueWritesNothing) {
  TStreamStorage s;
  TMemoryStream empty;
  s.WriteString(u"Wildcard", u"");
  s.WriteUTF8String(u"u8", "");
  s.WriteStream(u"st", empty);
  s.WriteCardinal(u"", 5);
  s.WriteBoolean(u"", true);
  EXPECT_EQ(s.Storage().Size(), 0);
  EXPECT_FALSE(s.Exists(u"Wildcard"));
  EXPECT_EQ(s.ReadString(u"Wildcard"), u"");
}

TEST(StreamStorage, DuplicateNameRaisesAndLeavesStorageUnchanged) {
  TStreamStorage s;
  s.WriteCardinal(u"Action", 1);
  try {
    s.WriteCardinal(u"Action", 2);
    FAIL() << "no error raised";
  } catch (const EStreamStorageError& e) {
    EXPECT_STREQ(e.what(), "Value with name \"Action\" already exists");
  }
  EXPECT_EQ(s.Storage().Size(), 28);
  EXPECT_THROW(s.WriteString(u"Action", u"x"), EStreamStorageError);
  EXPECT_EQ(s.Storage().Size(), 28);
  EXPECT_EQ(s.ReadCardinal(u"Action"), 1u);
  s.WriteCardinal(u"action", 2);  // names are case-sensitive
  EXPECT_EQ(s.ReadCardinal(u"action"), 2u);
}

TEST(StreamStorage, IgnoreDuplicatesAppendsAndReadersKeepTheFirst) {
  TStreamStorage s;
  s.SetIgnoreDuplicates(true);
  s.WriteCardinal(u"Action", 1);
  s.WriteCardinal(u"Action", 2);
  EXPECT_EQ(s.Storage().Size(), 56);
  EXPECT_EQ(s.ReadCardinal(u"Action"), 1u);
  TStreamStorage r;
  r.Assign(s);
  EXPECT_EQ(r.ReadCardinal(u"Action"), 1u);
}

TEST(StreamStorage, DuplicateOfAnUnscannedRawEntryIsDetected) {
  TStreamStorage src;
  src.WriteCardinal(u"Action", 1);
  TStreamStorage s;
  s.Assign(src);
  EXPECT_THROW(s.WriteCardinal(u"Action", 2), EStreamStorageError);
  s.WriteCardinal(u"SearchBox", 7);
  EXPECT_EQ(s.ReadCardinal(u"Action"), 1u);
  EXPECT_EQ(s.ReadCardinal(u"SearchBox"), 7u);
  EXPECT_EQ(s.Storage().Size(), 28 + 34);
}

TEST(StreamStorage, ReadsOutOfOrderAndCaseSensitively) {
  Bytes b;
  PutName(b, u"FileName");
  PutI64(b, 6);
  b.insert(b.end(), {'a', 0, 'b', 0, 'c', 0});
  PutCardinalEntry(b, u"SearchBox", 99);
  PutCardinalEntry(b, u"Action", 2);
  TStreamStorage s;
  LoadRaw(s, b);
  EXPECT_EQ(s.ReadCardinal(u"SearchBox"), 99u);
  EXPECT_EQ(s.ReadString(u"FileName"), u"abc");  // indexed by the first scan
  EXPECT_EQ(s.ReadCardinal(u"action"), 0u);
  EXPECT_EQ(s.ReadCardinal(u"Action"), 2u);
  EXPECT_TRUE(s.Exists(u"Action"));
  EXPECT_FALSE(s.Exists(u"ACTION"));
}

TEST(StreamStorage, ReadsDoNotDependOnTheBufferPosition) {
  TStreamStorage s;
  s.WriteCardinal(u"A", 1);
  s.WriteString(u"B", u"bee");
  for (std::int64_t pos : {std::int64_t{0}, std::int64_t{3}, s.Storage().Size()}) {
    s.Storage().SetPosition(pos);
    EXPECT_EQ(s.ReadString(u"B"), u"bee");
    s.Storage().SetPosition(pos);
    EXPECT_EQ(s.ReadCardinal(u"A"), 1u);
  }
}

TEST(StreamStorage, EnumeratorListsNamesInOrderAndRestoresPosition) {
  TStreamStorage s;
  s.WriteCardinal(u"Action", 1);
  s.WriteString(u"Dir", u"C:\\");
  s.WriteString(u"Wildcard", u"a*");
  s.WriteCardinal(u"SearchBox", 4);
  s.Storage().SetPosition(17);
  std::vector<std::u16string> names;
  {
    TNamesEnumerator e = s.GetEnumerator();
    while (e.MoveNext()) names.push_back(e.Current());
    EXPECT_FALSE(e.MoveNext());
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Action", u"Dir", u"Wildcard", u"SearchBox"}));
  EXPECT_EQ(s.Storage().Position(), 17);
}

TEST(StreamStorage, EnumeratorListsDuplicatesAndStopsAtMalformedEntry) {
  Bytes b;
  PutCardinalEntry(b, u"X", 1);
  PutCardinalEntry(b, u"X", 2);
  PutI32(b, -4);  // malformed tail
  TStreamStorage s;
  LoadRaw(s, b);
  std::vector<std::u16string> names;
  {
    auto e = s.GetEnumerator();
    while (e.MoveNext()) names.push_back(e.Current());
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"X", u"X"}));
  EXPECT_EQ(s.Storage().Position(), 0);
}

TEST(StreamStorage, ClearAndAssign) {
  TStreamStorage s;
  s.WriteCardinal(u"A", 1);
  s.Clear();
  EXPECT_EQ(s.Storage().Size(), 0);
  EXPECT_FALSE(s.Exists(u"A"));
  s.WriteCardinal(u"A", 2);  // no duplicate after Clear
  TStreamStorage t;
  t.WriteCardinal(u"Z", 9);
  t.Assign(s);
  EXPECT_EQ(BytesOf(t), BytesOf(s));
  EXPECT_FALSE(t.Exists(u"Z"));
  EXPECT_EQ(t.ReadCardinal(u"A"), 2u);
}

TEST(StreamStorage, ReadStreamIntoStreamAtItsPosition) {
  TStreamStorage s;
  TMemoryStream v;
  v.Write("xyz", 3);
  s.WriteStream(u"S", v);
  TMemoryStream out;
  out.Write("1234", 4);
  out.SetPosition(1);
  s.ReadStream(u"S", out);
  ASSERT_EQ(out.Size(), 4);
  EXPECT_EQ(std::memcmp(out.Data(), "1xyz", 4), 0);
  s.ReadStream(u"missing", out);
  EXPECT_EQ(out.Size(), 4);
  EXPECT_EQ(out.Position(), 4);
}

// No writer makes an odd name length; a peer's is read as the whole code units it holds, the
// stray byte skipped, and the entries behind it stay reachable.
TEST(StreamStorage, OddNameLengthNamesTheWholeUnits) {
  Bytes b;
  PutI32(b, 3);
  b.insert(b.end(), {'Q', 0, 'Z'});
  PutI64(b, 4);
  PutI32(b, 42);
  PutCardinalEntry(b, u"After", 8);
  TStreamStorage s;
  LoadRaw(s, b);
  EXPECT_EQ(s.ReadCardinal(u"Q"), 42u);
  EXPECT_EQ(s.ReadCardinal(u"After"), 8u);
  std::vector<std::u16string> names;
  auto e = s.GetEnumerator();
  while (e.MoveNext()) names.push_back(e.Current());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Q", u"After"}));
}

// Malformed buffers: the rest of the buffer from the bad entry on has no entries, and nothing
// is read past the end or allocated beyond the buffer.
struct MalformedCase {
  const char* what;
  Bytes tail;
};

TEST(StreamStorage, MalformedTailsHoldNoEntries) {
  auto name = [](std::int32_t len, std::u16string_view n) {
    Bytes b;
    PutI32(b, len);
    const auto* p = reinterpret_cast<const std::uint8_t*>(n.data());
    b.insert(b.end(), p, p + n.size() * 2);
    return b;
  };
  auto withSize = [](Bytes b, std::int64_t size, std::size_t valueBytes) {
    PutI64(b, size);
    b.insert(b.end(), valueBytes, 0xAB);
    return b;
  };
  const MalformedCase cases[] = {
      {"truncated name length", {0x02, 0x00}},
      {"negative name length", name(-2, u"Q")},
      {"huge name length", name(std::numeric_limits<std::int32_t>::max(), u"Q")},
      {"name past the end", name(40, u"Q")},
      {"size field cut short", [&] { Bytes b = name(2, u"Q"); b.insert(b.end(), {4, 0, 0}); return b; }()},
      {"negative size", withSize(name(2, u"Q"), -1, 4)},
      {"min size", withSize(name(2, u"Q"), std::numeric_limits<std::int64_t>::min(), 4)},
      {"size past the end", withSize(name(2, u"Q"), 1000, 4)},
      {"huge size", withSize(name(2, u"Q"), std::numeric_limits<std::int64_t>::max(), 4)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes b;
    PutCardinalEntry(b, u"Good", 7);
    b.insert(b.end(), c.tail.begin(), c.tail.end());
    PutCardinalEntry(b, u"After", 8);  // behind the bad entry: not reachable
    TStreamStorage s;
    LoadRaw(s, b);
    EXPECT_EQ(s.ReadCardinal(u"Q"), 0u);
    EXPECT_EQ(s.ReadString(u"Q"), u"");
    EXPECT_EQ(s.ReadStream(u"Q")->Data().Size(), 0);
    EXPECT_FALSE(s.Exists(u"After"));
    EXPECT_EQ(s.ReadCardinal(u"Good"), 7u);
    std::size_t count = 0;
    {
      auto e = s.GetEnumerator();
      while (e.MoveNext()) ++count;
    }
    EXPECT_EQ(count, 1u);
    s.WriteCardinal(u"New", 3);  // appending behind garbage still works
    EXPECT_EQ(s.ReadCardinal(u"New"), 3u);
  }
}

TEST(StreamStorage, TypedReadOfMismatchedSizeStaysInsideValueAndResult) {
  Bytes b;
  PutName(b, u"Short");
  PutI64(b, 2);
  b.insert(b.end(), {0x34, 0x12});
  PutName(b, u"Long");
  PutI64(b, 8);
  b.insert(b.end(), {0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF});
  PutName(b, u"Odd");
  PutI64(b, 5);
  b.insert(b.end(), {'h', 0, 'i', 0, '!'});
  PutName(b, u"Empty");
  PutI64(b, 0);
  PutCardinalEntry(b, u"Last", 42);
  TStreamStorage s;
  LoadRaw(s, b);
  EXPECT_EQ(s.ReadCardinal(u"Short"), 0x1234u);
  EXPECT_EQ(s.ReadCardinal(u"Long"), 0x12345678u);
  EXPECT_TRUE(s.ReadBoolean(u"Long"));
  double shortAsReal = 0;
  const std::uint8_t shortBytes[] = {0x34, 0x12};
  std::memcpy(&shortAsReal, shortBytes, 2);
  EXPECT_EQ(s.ReadReal(u"Short"), shortAsReal);
  EXPECT_EQ(s.ReadString(u"Odd"), u"hi");
  EXPECT_EQ(s.ReadUTF8String(u"Odd"), std::string("h\0i\0!", 5));
  EXPECT_EQ(s.ReadInteger(u"Empty"), 0);
  EXPECT_EQ(s.ReadString(u"Empty"), u"");
  EXPECT_TRUE(s.Exists(u"Empty"));
  EXPECT_EQ(s.ReadCardinal(u"Last"), 42u);
}

// A buffer of n empty-named entries with empty values (12 bytes each), the cheapest entry a
// peer can send, followed by one entry named "Last".
Bytes EmptyEntriesThenLast(std::size_t n) {
  Bytes b;
  for (std::size_t i = 0; i < n; ++i) {
    PutI32(b, 0);
    PutI64(b, 0);
  }
  PutCardinalEntry(b, u"Last", 42);
  return b;
}

TEST(StreamStorage, EntriesPastTheValueCapAreNotRead) {
  struct Case {
    const char* what;
    std::size_t before;  // entries ahead of "Last"
    bool lastRead;
  };
  constexpr std::size_t kCap = TStreamStorage::kMaxValues;
  const Case cases[] = {
      {"Last is the cap's own entry", kCap - 1, true},
      {"Last is one past the cap", kCap, false},
      {"a megabyte of empty entries ahead", (1 << 20) / 12, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TStreamStorage s;
    LoadRaw(s, EmptyEntriesThenLast(c.before));
    EXPECT_EQ(s.ReadCardinal(u"Last"), c.lastRead ? 42u : 0u);
    EXPECT_EQ(s.Exists(u"Last"), c.lastRead);
    std::size_t names = 0;
    {
      TNamesEnumerator it = s.GetEnumerator();
      while (it.MoveNext()) ++names;
    }
    EXPECT_EQ(names, std::min(c.before + 1, kCap));
    // A full storage takes no more.
    if (c.before + 1 >= kCap) {
      const Bytes before = BytesOf(s);
      EXPECT_THROW(s.WriteCardinal(u"More", 1), EStreamStorageError);
      EXPECT_EQ(BytesOf(s), before);
    }
  }
}

TEST(StreamStorage, WritersStopAtTheValueCap) {
  TStreamStorage s;
  for (std::size_t i = 0; i < TStreamStorage::kMaxValues; ++i)
    s.WriteCardinal(u"V" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) + std::u16string(i / 26 + 1, u'x'),
                    static_cast<std::uint32_t>(i));
  const Bytes full = BytesOf(s);
  try {
    s.WriteString(u"One more", u"value");
    FAIL() << "no error raised";
  } catch (const EStreamStorageError& e) {
    EXPECT_STREQ(e.what(), "Storage value limit exceeded");
  }
  EXPECT_EQ(BytesOf(s), full);
  EXPECT_EQ(s.ReadCardinal(u"VAx"), 0u);
  s.Clear();
  s.WriteCardinal(u"After clear", 7);
  EXPECT_EQ(s.ReadCardinal(u"After clear"), 7u);
}

}  // namespace
