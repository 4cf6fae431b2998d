// An index of a size the input picks, changed and queried by the input: every search answer,
// by either plan, must be what a direct walk of the live entries finds with the UTF-16 matcher,
// and every entry must be found again by its path, in any case, and get the same path alone
// and in a batch.
#include <algorithm>
#include <vector>

#include "FuzzInput.h"
#include "core/FileIndex.h"
#include "core/FileIndexQuery.h"
#include "core/TextFold.h"

namespace {

// Characters whose folding changes the byte length, lone surrogates and wildcards are likely;
// a byte with the top bit set takes any unit from the next two bytes.
constexpr char16_t kAlphabet[] = {u'a', u'A', u'b', u'B', u'.', u'*', u'?', u'1', u' ', u'\u00E9', u'\u00C9',
                                  u'\u03A3', u'\u03C3', u'\u03C2', u'\u0130', u'\u212A', u'k', u'i',
                                  char16_t{0xD83D}, char16_t{0xDE00}, u'\u4E2D', u'~'};

// Names for the bulk an input may start with: few stems, so their trigrams are shared by many
// blocks and the posting sets grow past their lists.
constexpr const char16_t* kStems[] = {u"report", u"Caf\u00C9 ", u"\u6587\u6863", u"ab", u"K\u212A", u"\U0001F600x"};

std::u16string BulkName(std::size_t i, std::uint8_t seed) {
  std::u16string name = kStems[(i * (seed | 1)) % std::size(kStems)];
  for (std::size_t n = i; n; n /= 7) name.push_back(static_cast<char16_t>(u'0' + n % 7));
  return name;
}

// Mostly small, sometimes big enough that removing a folder rebuilds the postings.
std::size_t BulkSize(std::uint8_t b) { return b < 192 ? b * 8u : (b - 191u) * 100u; }

std::u16string Text(FuzzInput& in, bool forName) {
  std::u16string s;
  const std::size_t n = in.Byte() % 12;
  for (std::size_t i = 0; i < n && !in.Empty(); ++i) {
    const std::uint8_t b = in.Byte();
    char16_t c = (b & 0x80) ? in.Value<char16_t>() : kAlphabet[b % std::size(kAlphabet)];
    // Names on disk never hold the separator or a wildcard.
    if (forName && (c == u'\\' || c == u'*' || c == u'?')) c = u'_';
    s.push_back(c);
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  FileIndex index;
  std::vector<FileIndex::EntryId> ids{index.AddRoot(u"C:\\"), index.AddRoot(u"D:\\Data\\")};
  FUZZ_CHECK(ids[0] != FileIndex::kNone && ids[1] != FileIndex::kNone);
  FUZZ_CHECK(index.AddRoot(u"d:\\data") == ids[1]);
  FileIndex::EntryId maxId = std::max(ids[0], ids[1]);
  {
    const std::size_t bulk = BulkSize(in.Byte());
    const std::uint8_t seed = in.Byte();
    std::vector<FileIndex::EntryId> folders = ids;
    for (std::size_t i = 0; i < bulk; ++i) {
      const bool folder = i % 16 == 0;
      const FileIndex::EntryId id = index.Add(folders[(i * 31 + seed) % folders.size()], BulkName(i, seed), folder);
      FUZZ_CHECK(id != FileIndex::kNone);
      maxId = std::max(maxId, id);
      if (folder) folders.push_back(id);
      if (folder || i % 64 == 0) ids.push_back(id);
    }
  }
  const auto pick = [&] {
    // Two bytes reach every entry of a big index.
    const std::size_t n = in.Byte();
    return ids[(ids.size() > 256 ? n << 8 | in.Byte() : n) % ids.size()];
  };

  const auto checkSearch = [&](const std::u16string& text) {
    const NameQuery query(text);
    std::vector<FileIndex::EntryId> scopes{pick()};
    if (in.Byte() & 1) scopes.push_back(pick());
    const std::uint8_t capByte = in.Byte();
    const std::size_t cap = capByte & 0x80 ? static_cast<std::size_t>(-1) : 1 + capByte % 8;
    std::vector<FileIndex::EntryId> expected;
    for (FileIndex::EntryId id = 0; id <= maxId && expected.size() < cap; ++id) {
      if (!index.IsLive(id) || index.Parent(id) == FileIndex::kNone) continue;
      const bool inside = std::any_of(scopes.begin(), scopes.end(), [&](FileIndex::EntryId s) {
        return index.IsFolder(s) && s != id && index.IsWithin(id, s);
      });
      if (inside && query.Matches(index.Name(id))) expected.push_back(id);
    }
    for (const auto plan :
         {FileIndex::SearchPlan::kAuto, FileIndex::SearchPlan::kScan, FileIndex::SearchPlan::kPostings}) {
      const std::vector<FileIndex::EntryId> found = index.Search(query, scopes, cap, nullptr, plan);
      if (found != expected) {
        std::fprintf(stderr, "plan %d, query:", static_cast<int>(plan));
        for (char16_t c : query.Text()) std::fprintf(stderr, " %04x", static_cast<unsigned>(c));
        std::fprintf(stderr, "\nscopes:");
        for (FileIndex::EntryId s : scopes) std::fprintf(stderr, " %u", s);
        std::fprintf(stderr, "\nfound:");
        for (FileIndex::EntryId id : found) std::fprintf(stderr, " %u", id);
        std::fprintf(stderr, "\nexpected:");
        for (FileIndex::EntryId id : expected) std::fprintf(stderr, " %u", id);
        std::fprintf(stderr, "\n");
      }
      FUZZ_CHECK(found == expected);
    }
  };

  while (!in.Empty()) {
    switch (in.Byte() % 7) {
      case 0:
      case 1: {
        const FileIndex::EntryId parent = pick();
        const std::u16string name = Text(in, true);
        const bool folder = in.Byte() & 1;
        // A folder on disk holds each name once, ignoring case; the index is fed the same way.
        if (index.FindChild(parent, name) != FileIndex::kNone) break;
        const FileIndex::EntryId id = index.Add(parent, name, folder);
        FUZZ_CHECK((id != FileIndex::kNone) == (index.IsFolder(parent) && !name.empty()));
        if (id == FileIndex::kNone) break;
        FUZZ_CHECK(index.Name(id) == name && index.Parent(id) == parent && index.IsFolder(id) == folder);
        ids.push_back(id);
        maxId = std::max(maxId, id);
        break;
      }
      case 2:
        index.Remove(pick());
        break;
      case 3: {
        const FileIndex::EntryId id = pick();
        const FileIndex::EntryId to = pick();
        const std::u16string name = Text(in, true);
        const FileIndex::EntryId clash = index.FindChild(to, name);
        if (clash != FileIndex::kNone && clash != id) break;
        if (index.Move(id, to, name)) FUZZ_CHECK(index.Name(id) == name && index.Parent(id) == to);
        break;
      }
      case 4:
        checkSearch(Text(in, false));
        break;
      case 6: {
        // A piece of a name the index holds, so the query has hits.
        const FileIndex::EntryId id = pick();
        if (!index.IsLive(id)) break;
        const std::u16string name = index.Name(id);
        const std::size_t from = in.Byte() % name.size();
        std::u16string text = name.substr(from, 1 + in.Byte() % (name.size() - from));
        if (in.Byte() & 1) text = u"*" + text + u"*";
        checkSearch(text);
        break;
      }
      case 5: {
        const FileIndex::EntryId id = pick();
        if (!index.IsLive(id)) break;
        const std::u16string path = index.PathOf(id);
        const FileIndex::EntryId again = index.FindPath(path);
        if (again != id) {
          std::fprintf(stderr, "entry %u, found %u, path:", id, again);
          for (char16_t c : path) std::fprintf(stderr, " %04x", static_cast<unsigned>(c));
          std::fprintf(stderr, "\n");
        }
        FUZZ_CHECK(again == id);
        FUZZ_CHECK(index.FindPath(FoldLower(path)) == id);
        // The batch form agrees with the single one, dead entries included.
        const std::vector<FileIndex::EntryId> batch{id, pick(), pick(), id};
        const std::vector<std::u16string> paths = index.PathsOf(batch);
        for (std::size_t i = 0; i < batch.size(); ++i) FUZZ_CHECK(paths[i] == index.PathOf(batch[i]));
        break;
      }
    }
  }
  return 0;
}
