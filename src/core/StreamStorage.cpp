#include "core/StreamStorage.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/TextUtils.h"

static_assert(std::endian::native == std::endian::little, "the storage layout is little-endian");

namespace {

constexpr std::int64_t kNameLengthSize = 4;
constexpr std::int64_t kValueSizeSize = 8;

struct EntryHeader {
  std::u16string name;
  std::int64_t sizeFieldPos = 0;
  std::int64_t size = 0;
};

// Parses the entry that starts at pos. A name length that is negative or runs past the end,
// or a value size that is negative or runs past the end, makes the entry malformed. An odd
// name length (no writer makes one) names the whole code units and skips the stray byte.
bool ParseEntryHeader(const TMemoryStream& s, std::int64_t pos, EntryHeader& h) {
  const std::int64_t total = s.Size();
  if (pos < 0 || total - pos < kNameLengthSize) return false;
  std::int32_t nameLength = 0;
  std::memcpy(&nameLength, s.Data() + pos, sizeof nameLength);
  pos += kNameLengthSize;
  if (nameLength < 0 || total - pos < nameLength) return false;
  const std::uint8_t* nameBytes = s.Data() + pos;
  pos += nameLength;
  if (total - pos < kValueSizeSize) return false;
  std::int64_t size = 0;
  std::memcpy(&size, s.Data() + pos, sizeof size);
  const std::int64_t valuePos = pos + kValueSizeSize;
  if (size < 0 || total - valuePos < size) return false;
  h.name.resize(static_cast<std::size_t>(nameLength / 2));
  if (!h.name.empty()) std::memcpy(h.name.data(), nameBytes, h.name.size() * sizeof(char16_t));
  h.sizeFieldPos = pos;
  h.size = size;
  return true;
}

}  // namespace

// ---- TMemoryStream ----

void TMemoryStream::SetPosition(std::int64_t pos) { position_ = std::clamp<std::int64_t>(pos, 0, Size()); }

std::size_t TMemoryStream::Read(void* dst, std::size_t n) {
  const std::size_t avail = static_cast<std::size_t>(Size() - position_);
  const std::size_t count = std::min(n, avail);
  if (count > 0) std::memcpy(dst, bytes_.data() + position_, count);
  position_ += static_cast<std::int64_t>(count);
  return count;
}

void TMemoryStream::Write(const void* src, std::size_t n) {
  if (n == 0) return;
  const std::size_t pos = static_cast<std::size_t>(position_);
  if (pos + n > bytes_.size()) bytes_.resize(pos + n);
  std::memcpy(bytes_.data() + pos, src, n);
  position_ += static_cast<std::int64_t>(n);
}

void TMemoryStream::Append(const void* src, std::size_t n) {
  position_ = Size();
  Write(src, n);
}

void TMemoryStream::Clear() {
  bytes_.clear();
  position_ = 0;
}

TMemoryStream& TStorageStream::Data() {
  stream_.SetPosition(0);
  return stream_;
}

// ---- TNamesEnumerator ----

TNamesEnumerator::TNamesEnumerator(TMemoryStream& storage) : FStorage(storage), FOriginalPosition(storage.Position()) {
  FStorage.SetPosition(0);
}

TNamesEnumerator::~TNamesEnumerator() { FStorage.SetPosition(FOriginalPosition); }

bool TNamesEnumerator::MoveNext() {
  const std::int64_t pos = FStorage.Position();
  if (pos >= FStorage.Size()) return false;
  EntryHeader h;
  if (FCount >= TStreamStorage::kMaxValues || !ParseEntryHeader(FStorage, pos, h)) {
    // The rest of a malformed buffer holds no entries.
    FStorage.SetPosition(FStorage.Size());
    return false;
  }
  FFieldName = std::move(h.name);
  FStorage.SetPosition(h.sizeFieldPos + kValueSizeSize + h.size);
  ++FCount;
  return true;
}

// ---- the name index ----

std::size_t TStreamStorage::TPositionsHash::Bucket(std::u16string_view name) {
  std::uint32_t hash = 2166136261u;
  for (char16_t c : name) hash = (hash ^ c) * 16777619u;
  return hash % kBuckets;
}

void TStreamStorage::TPositionsHash::Add(std::u16string_view name, std::int32_t sizeFieldPos) {
  buckets_[Bucket(name)].push_back(Item{std::u16string(name), sizeFieldPos});
  ++count_;
}

bool TStreamStorage::TPositionsHash::Find(std::u16string_view name, std::int32_t& sizeFieldPos) const {
  for (const Item& item : buckets_[Bucket(name)]) {
    if (item.name == name) {
      sizeFieldPos = item.pos;
      return true;
    }
  }
  return false;
}

void TStreamStorage::TPositionsHash::Clear() {
  for (auto& bucket : buckets_) bucket.clear();
  count_ = 0;
}

// ---- TStreamStorage ----

bool TStreamStorage::ReadEntryHeader(std::u16string& name, std::int64_t& sizeFieldPos, std::int64_t& size) {
  EntryHeader h;
  if (FPositionsHash.Count() >= kMaxValues || !ParseEntryHeader(FStorage, FStorage.Position(), h)) return false;
  name = std::move(h.name);
  sizeFieldPos = h.sizeFieldPos;
  size = h.size;
  FStorage.SetPosition(sizeFieldPos + kValueSizeSize);
  return true;
}

void TStreamStorage::IndexRemainingEntries() {
  FStorage.SetPosition(FLastPos);
  std::u16string name;
  std::int64_t sizeFieldPos = 0;
  std::int64_t size = 0;
  while (FStorage.Position() < FStorage.Size()) {
    if (!ReadEntryHeader(name, sizeFieldPos, size)) break;
    FPositionsHash.Add(name, static_cast<std::int32_t>(sizeFieldPos));
    FStorage.SetPosition(FStorage.Position() + size);
  }
  FLastPos = FStorage.Size();
}

void TStreamStorage::WriteEntry(std::u16string_view name, const void* value, std::size_t size) {
  // Entries appended behind a buffer copied in raw are indexed first, so the duplicate check
  // sees every name and every entry before FLastPos stays in the index.
  if (FLastPos < FStorage.Size()) IndexRemainingEntries();
  std::int32_t existing = 0;
  if (!FIgnoreDuplicates && FPositionsHash.Find(name, existing))
    throw EStreamStorageError("Value with name \"" + Utf16ToUtf8(name) + "\" already exists");
  if (FPositionsHash.Count() >= kMaxValues) throw EStreamStorageError("Storage value limit exceeded");
  const std::uint64_t nameBytes = static_cast<std::uint64_t>(name.size()) * 2;
  const std::uint64_t entrySize = kNameLengthSize + nameBytes + kValueSizeSize + size;
  if (entrySize > static_cast<std::uint64_t>(kMaxStorageSize - FStorage.Size()))
    throw EStreamStorageError("Storage size limit exceeded");

  const std::int32_t nameLength = static_cast<std::int32_t>(nameBytes);
  const std::int64_t valueSize = static_cast<std::int64_t>(size);
  FStorage.SetPosition(FStorage.Size());
  FStorage.Write(&nameLength, sizeof nameLength);
  FStorage.Write(name.data(), static_cast<std::size_t>(nameBytes));
  FPositionsHash.Add(name, static_cast<std::int32_t>(FStorage.Position()));
  FStorage.Write(&valueSize, sizeof valueSize);
  FStorage.Write(value, size);
  FLastPos = FStorage.Position();
}

void TStreamStorage::WriteBoolean(std::u16string_view name, bool value) {
  if (name.empty()) return;
  const std::uint8_t b = value ? 1 : 0;
  WriteEntry(name, &b, sizeof b);
}

void TStreamStorage::WriteCardinal(std::u16string_view name, std::uint32_t value) {
  if (name.empty()) return;
  WriteEntry(name, &value, sizeof value);
}

void TStreamStorage::WriteInteger(std::u16string_view name, std::int32_t value) {
  if (name.empty()) return;
  WriteEntry(name, &value, sizeof value);
}

void TStreamStorage::WriteDateTime(std::u16string_view name, TDateTime value) {
  if (name.empty()) return;
  WriteEntry(name, &value, sizeof value);
}

void TStreamStorage::WriteReal(std::u16string_view name, double value) {
  if (name.empty()) return;
  WriteEntry(name, &value, sizeof value);
}

void TStreamStorage::WriteUnicodeString(std::u16string_view name, std::u16string_view value) {
  if (name.empty() || value.empty()) return;
  WriteEntry(name, value.data(), value.size() * 2);
}

void TStreamStorage::WriteUTF8String(std::u16string_view name, std::string_view value) {
  if (name.empty() || value.empty()) return;
  WriteEntry(name, value.data(), value.size());
}

void TStreamStorage::WriteStream(std::u16string_view name, const TMemoryStream& stream) {
  if (name.empty() || stream.Size() <= 0) return;
  WriteEntry(name, stream.Data(), static_cast<std::size_t>(stream.Size()));
}

bool TStreamStorage::LocateValue(std::u16string_view name, std::int64_t& size) {
  std::int32_t pos = 0;
  if (FPositionsHash.Find(name, pos)) {
    FStorage.SetPosition(pos);
    FStorage.Read(&size, sizeof size);
    return true;
  }
  FStorage.SetPosition(FLastPos);
  std::u16string entryName;
  std::int64_t sizeFieldPos = 0;
  while (FStorage.Position() < FStorage.Size()) {
    if (!ReadEntryHeader(entryName, sizeFieldPos, size)) {
      // The rest of a malformed buffer, or of one past its kMaxValues, holds no entries.
      FStorage.SetPosition(FStorage.Size());
      break;
    }
    FPositionsHash.Add(entryName, static_cast<std::int32_t>(sizeFieldPos));
    if (entryName == name) return true;
    FStorage.SetPosition(FStorage.Position() + size);
  }
  size = 0;
  return false;
}

void TStreamStorage::AfterRead() { FLastPos = std::max(FLastPos, FStorage.Position()); }

bool TStreamStorage::ReadFixed(std::u16string_view name, void* result, std::size_t resultSize) {
  std::memset(result, 0, resultSize);
  std::int64_t size = 0;
  const bool found = LocateValue(name, size);
  if (found) {
    const std::int64_t valuePos = FStorage.Position();
    FStorage.Read(result, static_cast<std::size_t>(std::min<std::int64_t>(size, static_cast<std::int64_t>(resultSize))));
    FStorage.SetPosition(valuePos + size);
  }
  AfterRead();
  return found;
}

bool TStreamStorage::ReadBoolean(std::u16string_view name) {
  std::uint8_t b = 0;
  ReadFixed(name, &b, sizeof b);
  return b != 0;
}

std::uint32_t TStreamStorage::ReadCardinal(std::u16string_view name) {
  std::uint32_t v = 0;
  ReadFixed(name, &v, sizeof v);
  return v;
}

std::int32_t TStreamStorage::ReadInteger(std::u16string_view name) {
  std::int32_t v = 0;
  ReadFixed(name, &v, sizeof v);
  return v;
}

TDateTime TStreamStorage::ReadDateTime(std::u16string_view name) {
  TDateTime v = 0;
  ReadFixed(name, &v, sizeof v);
  return v;
}

double TStreamStorage::ReadReal(std::u16string_view name) {
  double v = 0;
  ReadFixed(name, &v, sizeof v);
  return v;
}

std::u16string TStreamStorage::ReadUnicodeString(std::u16string_view name) {
  std::u16string result;
  std::int64_t size = 0;
  if (LocateValue(name, size)) {
    const std::int64_t valuePos = FStorage.Position();
    result.resize(static_cast<std::size_t>(size / 2));
    FStorage.Read(result.data(), result.size() * 2);
    FStorage.SetPosition(valuePos + size);
  }
  AfterRead();
  return result;
}

std::string TStreamStorage::ReadUTF8String(std::u16string_view name) {
  std::string result;
  std::int64_t size = 0;
  if (LocateValue(name, size)) {
    result.resize(static_cast<std::size_t>(size));
    FStorage.Read(result.data(), result.size());
  }
  AfterRead();
  return result;
}

void TStreamStorage::ReadStream(std::u16string_view name, TMemoryStream& stream) {
  std::int64_t size = 0;
  if (LocateValue(name, size)) {
    const std::int64_t valuePos = FStorage.Position();
    if (&stream == &FStorage) {
      // Reading a value into the buffer it lives in: copy it out first.
      std::vector<std::uint8_t> copy(FStorage.Data() + valuePos, FStorage.Data() + valuePos + size);
      FStorage.SetPosition(valuePos + size);
      AfterRead();
      stream.Write(copy.data(), copy.size());
      return;
    }
    stream.Write(FStorage.Data() + valuePos, static_cast<std::size_t>(size));
    FStorage.SetPosition(valuePos + size);
  }
  AfterRead();
}

IStorageStream TStreamStorage::ReadStream(std::u16string_view name) {
  auto result = std::make_shared<TStorageStream>();
  ReadStream(name, result->Data());
  return result;
}

bool TStreamStorage::Exists(std::u16string_view name) {
  std::int64_t size = 0;
  return LocateValue(name, size);
}

void TStreamStorage::Clear() {
  FStorage.Clear();
  FPositionsHash.Clear();
  FLastPos = 0;
}

void TStreamStorage::Assign(const TStreamStorage& source) {
  if (&source == this) return;
  Clear();
  FStorage.Write(source.FStorage.Data(), static_cast<std::size_t>(source.FStorage.Size()));
}
