// A small index built, changed and queried by the input: every search answer must be what a
// direct walk of the live entries finds with the UTF-16 matcher, and every entry must be found
// again by its path, in any case, and get the same path alone and in a batch.
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
  const auto pick = [&] { return ids[in.Byte() % ids.size()]; };

  while (!in.Empty()) {
    switch (in.Byte() % 6) {
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
      case 4: {
        const NameQuery query(Text(in, false));
        std::vector<FileIndex::EntryId> scopes{pick()};
        if (in.Byte() & 1) scopes.push_back(pick());
        const std::size_t cap = 1 + in.Byte() % 8;
        const std::vector<FileIndex::EntryId> found = index.Search(query, scopes, cap);
        std::vector<FileIndex::EntryId> expected;
        for (FileIndex::EntryId id = 0; id < 4096 && expected.size() < cap; ++id) {
          if (!index.IsLive(id) || index.Parent(id) == FileIndex::kNone) continue;
          const bool inside = std::any_of(scopes.begin(), scopes.end(), [&](FileIndex::EntryId s) {
            return index.IsFolder(s) && s != id && index.IsWithin(id, s);
          });
          if (inside && query.Matches(index.Name(id))) expected.push_back(id);
        }
        if (found != expected) {
          std::fprintf(stderr, "query:");
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
