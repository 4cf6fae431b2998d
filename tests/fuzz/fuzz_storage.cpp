// A received storage buffer: every name the enumerator yields is read back with each typed
// reader, and every value must be the one of the first entry with that name, as an
// independent walk of the bytes finds it, up to the storage's cap on entries. An input that
// begins with 0xFF is a recipe for a buffer far larger than the fuzzer's inputs: a size (up
// to 8 MiB, hundreds of times what the cap on entries lets a storage read) and a piece
// repeated to fill it, so the costly storages (hundreds of thousands of empty-named entries,
// long runs of one name) are reached too.
#include <cstring>
#include <map>
#include <vector>

#include "FuzzInput.h"
#include "core/SearchMessages.h"
#include "core/StreamStorage.h"

namespace {

struct RefEntry {
  std::u16string name;
  std::string value;
};

// The layout walked by hand: int32 name length | name | int64 size | value.
std::vector<RefEntry> WalkEntries(const std::uint8_t* data, std::size_t size) {
  std::vector<RefEntry> out;
  std::size_t pos = 0;
  while (pos < size && out.size() < TStreamStorage::kMaxValues) {
    std::int32_t nameLength = 0;
    if (size - pos < 4) break;
    std::memcpy(&nameLength, data + pos, 4);
    pos += 4;
    if (nameLength < 0 || size - pos < static_cast<std::size_t>(nameLength)) break;
    // An odd length names its whole code units; the stray byte is skipped.
    std::u16string name(static_cast<std::size_t>(nameLength) / 2, u'\0');
    std::memcpy(name.data(), data + pos, name.size() * 2);
    pos += static_cast<std::size_t>(nameLength);
    std::int64_t valueSize = 0;
    if (size - pos < 8) break;
    std::memcpy(&valueSize, data + pos, 8);
    pos += 8;
    if (valueSize < 0 || static_cast<std::uint64_t>(valueSize) > size - pos) break;
    out.push_back({std::move(name), std::string(reinterpret_cast<const char*>(data + pos), static_cast<std::size_t>(valueSize))});
    pos += static_cast<std::size_t>(valueSize);
  }
  return out;
}

template <typename T>
T Fixed(const std::string& value) {
  T v{};
  std::memcpy(&v, value.data(), std::min(sizeof v, value.size()));
  return v;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

constexpr std::uint8_t kRecipe = 0xFF;
constexpr std::size_t kMaxRecipeSize = 8 << 20;

// The recipe's buffer: the piece repeated (zeros when it is empty) to the size asked for, the
// last copy cut short.
std::vector<std::uint8_t> FromRecipe(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data + 1, size - 1);
  const auto total = static_cast<std::size_t>(in.Value<std::uint32_t>() % (kMaxRecipeSize + 1));
  const std::string_view piece = in.Rest();
  std::vector<std::uint8_t> out(total, 0);
  if (!piece.empty())
    for (std::size_t i = 0; i < total; ++i) out[i] = static_cast<std::uint8_t>(piece[i % piece.size()]);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t inputSize) {
  std::vector<std::uint8_t> built;
  const std::uint8_t* data = input;
  std::size_t size = inputSize;
  if (inputSize > 0 && input[0] == kRecipe) {
    built = FromRecipe(input, inputSize);
    data = built.data();
    size = built.size();
  }
  const std::vector<RefEntry> ref = WalkEntries(data, size);
  std::map<std::u16string, const std::string*> first;
  for (const RefEntry& e : ref) first.emplace(e.name, &e.value);

  TStreamStorage storage;
  storage.Storage().Append(data, size);

  std::vector<std::u16string> names;
  {
    TNamesEnumerator it = storage.GetEnumerator();
    while (it.MoveNext()) names.push_back(it.Current());
  }
  FUZZ_CHECK(names.size() == ref.size());
  FUZZ_CHECK(names.size() <= TStreamStorage::kMaxValues);
  for (std::size_t i = 0; i < names.size(); ++i) FUZZ_CHECK(names[i] == ref[i].name);

  // Reads in reverse order first, so look-ups both scan ahead and hit the name index.
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    const std::string& v = *first.at(*it);
    FUZZ_CHECK(storage.Exists(*it));
    FUZZ_CHECK(storage.ReadUTF8String(*it) == v);
    FUZZ_CHECK(storage.ReadBoolean(*it) == (Fixed<std::uint8_t>(v) != 0));
    FUZZ_CHECK(storage.ReadCardinal(*it) == Fixed<std::uint32_t>(v));
    FUZZ_CHECK(storage.ReadInteger(*it) == Fixed<std::int32_t>(v));
    FUZZ_CHECK(SameBits(storage.ReadDateTime(*it), Fixed<double>(v)));
    FUZZ_CHECK(SameBits(storage.ReadReal(*it), Fixed<double>(v)));
    const std::u16string text = storage.ReadUnicodeString(*it);
    FUZZ_CHECK(text.size() == v.size() / 2 && std::memcmp(text.data(), v.data(), text.size() * 2) == 0);
    const IStorageStream copy = storage.ReadStream(*it);
    TMemoryStream& s = copy->Data();
    FUZZ_CHECK(s.Size() == static_cast<std::int64_t>(v.size()));
    FUZZ_CHECK(v.empty() || std::memcmp(s.Data(), v.data(), v.size()) == 0);
  }

  // The message reader over the same bytes, and a value read into the buffer it lives in.
  TStreamStorage again;
  again.Assign(storage);
  FUZZ_CHECK(again.Storage().Size() == static_cast<std::int64_t>(size));
  const TSearchMessage m = DecodeSearchMessage(again);
  const auto text16 = [&](const char16_t* field) {
    const auto f = first.find(field);
    if (f == first.end()) return std::u16string();
    return std::u16string(reinterpret_cast<const char16_t*>(f->second->data()), f->second->size() / 2);
  };
  FUZZ_CHECK(m.FileName == text16(kFieldFileName));
  FUZZ_CHECK(m.Dir == text16(kFieldDir));
  if (!names.empty()) again.ReadStream(names.front(), again.Storage());

  // A value written behind the received bytes reads back, malformed tail or not, unless the
  // storage is full.
  const std::u16string added = u"added";
  const bool present = first.count(added) > 0;
  const bool full = ref.size() >= TStreamStorage::kMaxValues;
  try {
    storage.WriteInteger(added, 0x12345678);
    FUZZ_CHECK(!present && !full);
    FUZZ_CHECK(storage.ReadInteger(added) == 0x12345678);
  } catch (const EStreamStorageError&) {
    FUZZ_CHECK(present || full);
  }
  return 0;
}
