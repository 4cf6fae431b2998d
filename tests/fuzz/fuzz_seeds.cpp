// Writes a few valid inputs per fuzz target into <dir>/<target>/ so every run starts from
// inputs that reach deep into the parsers.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/FileIndexText.h"
#include "core/Frame.h"
#include "core/SearchMessages.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put(const fs::path& dir, const std::string& target, const std::string& name, const Bytes& bytes) {
  fs::create_directories(dir / target);
  std::ofstream out(dir / target / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes Join(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Of(std::string_view s) { return Bytes(s.begin(), s.end()); }

Bytes Of16(std::u16string_view s) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(s.data());
  return Bytes(p, p + s.size() * 2);
}

Bytes StorageBytes(const IMessageData& m) {
  const TMemoryStream& s = m->Data().Storage();
  return Bytes(s.Data(), s.Data() + s.Size());
}

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

Bytes Frame(const IMessageData& m) {
  Bytes out = EncodeFrameId(u"{3F2504E0-4F89-11D3-9A0C-0305E82C3301}");
  const Bytes data = StorageBytes(m);
  const auto size = EncodeFrameSize(static_cast<std::int64_t>(data.size()));
  out.insert(out.end(), size.begin(), size.end());
  Append(out, data);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds <corpus folder>\n");
    return 2;
  }
  const fs::path dir = argv[1];
  const std::vector<IMessageData> messages = {
      BuildSearchRequest(u"C:\\Users\\\u4E2D\\", u"*.txt", 0x10203),
      BuildCancelRequest(0x10203),
      BuildChannelReport(7),
      BuildFoundItem(u"C:\\a b\\report.txt", u"rep*", 0xABCDEF),
      BuildAnswerEnd(1),
      BuildUpdateAnnouncement(u"C:\\Update\\setup.exe", u"2.1.0.5"),
  };
  Bytes frames;
  for (std::size_t i = 0; i < messages.size(); ++i) {
    Put(dir, "storage", "message" + std::to_string(i), StorageBytes(messages[i]));
    Put(dir, "frame", "frame" + std::to_string(i), Frame(messages[i]));
    Append(frames, Frame(messages[i]));
  }
  // Recipes (see fuzz_storage): 8 MiB of empty-named entries, and a search request repeated
  // over a megabyte.
  Put(dir, "storage", "recipe-empty-entries", Bytes{0xFF, 0x00, 0x00, 0x80, 0x00});
  Bytes repeated{0xFF, 0x00, 0x00, 0x10, 0x00};
  Append(repeated, StorageBytes(messages[0]));
  Put(dir, "storage", "recipe-repeated-request", repeated);

  const auto end = EncodeFrameSize(kFrameEndMarker);
  frames.insert(frames.end(), end.begin(), end.end());
  Put(dir, "frame", "connection", frames);

  const char* urls[] = {"file:///C:/a%20b/c", "file://server/share/x", "file:///D:/%E4%B8%AD%E6%96%87/+1",
                        "a%zz", "%%41+%4a%", "C:/Windows/"};
  for (std::size_t i = 0; i < std::size(urls); ++i) Put(dir, "url", "url" + std::to_string(i), Of(urls[i]));

  const std::u16string pairs[] = {u"*.txt\0notes.TXT", u"a?c*\0abcdef", u"re*po?t\0Report", u"\\*x\0*x",
                                  u"\u4E2D*\0\u4E2D\u6587.doc"};
  for (std::size_t i = 0; i < std::size(pairs); ++i) {
    Bytes b{static_cast<std::uint8_t>(i % 4 == 3 ? 3 : 1)};
    Append(b, Of16(pairs[i]));
    Put(dir, "wildcard", "pair" + std::to_string(i), b);
  }
  // Long patterns: a unit repeated (up to 65,535 times) before the text.
  const std::pair<std::u16string, std::uint16_t> longUnits[] = {{u"*", 60000}, {u"*a", 512}, {u"?*", 30000}, {u"*?x", 400}};
  for (std::size_t i = 0; i < std::size(longUnits); ++i) {
    const auto& [unit, times] = longUnits[i];
    Bytes b{static_cast<std::uint8_t>(8 | 1), static_cast<std::uint8_t>(unit.size())};
    Append(b, Of16(unit));
    b.push_back(static_cast<std::uint8_t>(times));
    b.push_back(static_cast<std::uint8_t>(times >> 8));
    Append(b, Of16(i == 1 ? std::u16string(200, u'a') + u"b" : u"report.txt"));
    Put(dir, "wildcard", "long" + std::to_string(i), b);
  }

  const std::u16string names[] = {u"readme.md", u"\u4E2D\u6587\u540D", u"\U0001F600 smile", u"lone \xD800 high",
                                  u"\u00C9t\u00E9"};
  for (std::size_t i = 0; i < std::size(names); ++i) {
    Put(dir, "wtf8", "utf16-" + std::to_string(i), Of16(names[i]));
    Put(dir, "wtf8", "wtf8-" + std::to_string(i), Of(ToWtf8(names[i])));
  }

  // Index ops, after no bulk (the first two bytes): add a folder "ab" under C:\, a file "aB.1"
  // inside it, search "a*" under C:\, find it by path, move it to D:\Data, search again.
  const Bytes ops0{0, 0, 2, 0, 2, 1, 0, 2, 4, 1, 3, 4, 7, 4, 2, 0, 5, 0, 5, 3, 3, 4, 1, 2, 0, 9, 4, 2, 0, 5, 1, 3, 0, 5, 3};
  Put(dir, "index", "ops0", Join({0, 0}, ops0));
  Put(dir, "index", "ops1", Bytes{0, 0, 0, 1, 5, 0x89, 0x30, 0x01, 1, 0, 1, 3, 14, 11, 12, 0, 4, 2, 13, 5, 1, 2, 2, 2});
  // The same over a bulk of 1,000 and of 6,400 entries.
  Put(dir, "index", "bulk0", Join({125, 3}, ops0));
  Put(dir, "index", "bulk1", Join({255, 5}, ops0));
  return 0;
}
