#include "core/HashListEx.h"

#include <utility>

#include "core/Crc32.h"

namespace {

constexpr char kHashAbsent[] = "Hash is absent.";
constexpr char kInvalidPosition[] = "Invalid position for HashList.";
constexpr char kDuplicate[] = "Duplicate entry.";
constexpr char kHashNotFound[] = "Hash not found.";
constexpr char kInvalidIndex[] = "Invalid Index.";
constexpr char kInvalidCapacity[] = "Invalid ElHashList capacity.";

std::int32_t GrownCapacity(std::int32_t capacity) {
  if (capacity > 64) return capacity + capacity / 4;
  if (capacity > 8) return capacity + 16;
  return capacity + 4;
}

}  // namespace

THashListBase::THashListBase() = default;

// The typed list clears itself in its destructor, while its ValueRemoved still exists.
THashListBase::~THashListBase() = default;

std::uint32_t THashListBase::ComputeQuickHash(std::u16string_view name) const {
  std::uint32_t h = 0;
  for (const char16_t u : name) h = h * 5u + (u & 0xFFu);
  return h;
}

std::uint32_t THashListBase::HashOf(std::u16string_view name) const {
  std::u16string folded(name);
  if (FNoCase)
    for (char16_t& c : folded)
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  return FHashType == htQuick ? ComputeQuickHash(folded) : TextCRC32(folded);
}

bool THashListBase::Fail(const char* text) const {
  if (FRaiseOnError) throw EHashListError(text);
  return false;
}

std::int32_t THashListBase::GetIndex(std::u16string_view name) const {
  const std::uint32_t hash = HashOf(name);
  for (std::int32_t i = 0; i < FCount; ++i)
    if (FList[i].Hash == hash) return i;
  Fail(kHashAbsent);
  return -1;
}

void* THashListBase::GetValueRaw(std::u16string_view name) const {
  const std::int32_t index = GetIndex(name);
  return index >= 0 ? FList[index].Value : nullptr;
}

void* THashListBase::GetByIndexRaw(std::int32_t index) const {
  if (index < 0 || index >= FCount) {
    Fail(kInvalidIndex);
    return nullptr;
  }
  return FList[index].Value;
}

std::u16string THashListBase::GetName(std::int32_t index) const {
  if (index < 0 || index >= FCount) {
    Fail(kInvalidIndex);
    return {};
  }
  return FList[index].Name;
}

bool THashListBase::SetCapacity(std::int32_t capacity) {
  if (capacity < FCount || capacity > kMaxCapacity) return Fail(kInvalidCapacity);
  if (capacity == FCapacity) return true;
  std::unique_ptr<THashRecord[]> list;
  if (capacity > 0) {
    list = std::make_unique<THashRecord[]>(static_cast<std::size_t>(capacity));
    for (std::int32_t i = 0; i < FCount; ++i) list[i] = std::move(FList[i]);
  }
  FList = std::move(list);
  FCapacity = capacity;
  return true;
}

bool THashListBase::InsertRaw(std::int32_t index, std::u16string_view name, void* value) {
  if (index < 0 || index > FCount) return Fail(kInvalidPosition);
  const std::uint32_t hash = HashOf(name);

  if (FInsertDupesMode != himInsert && FInsertDupesMode != himMove) {
    for (std::int32_t i = 0; i < FCount; ++i) {
      if (FList[i].Hash != hash) continue;
      switch (FInsertDupesMode) {
        case himReplace: {
          // The entry keeps its name and place; the old value is reported, never freed.
          void* old = std::exchange(FList[i].Value, value);
          ValueRemoved(old, false);
          return true;
        }
        case himRaise:
          return Fail(kDuplicate);
        default:
          return false;
      }
    }
  }

  // A list at the largest capacity cannot grow: the entry is refused rather than written
  // past the array.
  if (FCount == FCapacity && !SetCapacity(GrownCapacity(FCapacity))) return false;
  for (std::int32_t i = FCount; i > index; --i) FList[i] = std::move(FList[i - 1]);
  FList[index] = THashRecord{std::u16string(name), hash, value};
  ++FCount;
  return true;
}

void THashListBase::Delete(std::int32_t index) {
  if (index < 0 || index >= FCount) {
    Fail(kHashNotFound);
    return;
  }
  void* value = FList[index].Value;
  for (std::int32_t i = index; i + 1 < FCount; ++i) FList[i] = std::move(FList[i + 1]);
  FList[--FCount] = THashRecord{};
  if (FCount < FCapacity / 2) SetCapacity(FCapacity / 2);
  ValueRemoved(value, FAutoClearObjects && value != nullptr);
}

void THashListBase::DeleteItem(std::u16string_view name) {
  const std::int32_t index = GetIndex(name);
  if (index >= 0) Delete(index);
}

void THashListBase::Clear() {
  // The list is emptied before the values are reported, so a handler sees a consistent list.
  const std::unique_ptr<THashRecord[]> list = std::move(FList);
  const std::int32_t count = std::exchange(FCount, 0);
  FCapacity = 0;
  for (std::int32_t i = 0; i < count; ++i)
    ValueRemoved(list[i].Value, FAutoClearObjects && list[i].Value != nullptr);
}

void THashListBase::SetHashType(THashType value) {
  if (value == FHashType) return;
  Clear();
  FHashType = value;
  FQuickHash = value == htQuick;
}

void THashListBase::SetQuickHash(bool value) {
  if (value == FQuickHash) return;
  Clear();
  FQuickHash = value;
  FHashType = value ? htQuick : htCRC32;
}
