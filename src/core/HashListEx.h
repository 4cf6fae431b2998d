#pragma once
// An ordered list of (name, value) entries found by a 32-bit hash of the name. Lookups scan
// the stored hashes linearly and never compare names, so two names with the same hash are one
// key. Meant for a few dozen entries (one per open Explorer window); it has no lock.
//
// Failures (bad index, absent name, duplicate under himRaise, capacity out of range) are
// silent unless RaiseOnError is set; then they throw EHashListError with a fixed English text.
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

class EHashListError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// htMD5 and htCRC32 both hash with TextCRC32; htQuick with ComputeQuickHash.
enum THashType { htMD5, htQuick, htCRC32 };

// What inserting a name whose hash is already present does. himInsert and himMove add a
// second entry with that hash (lookups then find the one with the lower index).
enum THashInsertDupesMode { himInsert, himRaise, himReplace, himIgnore, himMove };

// The untyped list. THashListEx<T> below is the typed face callers use.
class THashListBase {
 public:
  static constexpr std::int32_t kMaxCapacity = 0x7FFFFFF;

  THashListBase(const THashListBase&) = delete;
  THashListBase& operator=(const THashListBase&) = delete;

  std::int32_t Count() const { return FCount; }
  std::int32_t Capacity() const { return FCapacity; }

  // Index of the first entry whose hash equals that of name, or -1.
  std::int32_t GetIndex(std::u16string_view name) const;
  // Name of the entry at index as it was given, or empty.
  std::u16string GetName(std::int32_t index) const;
  void Delete(std::int32_t index);
  void DeleteItem(std::u16string_view name);
  void Clear();

  // h = h * 5 + low byte of each code unit, modulo 2^32. Used when the hash type is htQuick.
  virtual std::uint32_t ComputeQuickHash(std::u16string_view name) const;

  THashType HashType() const { return FHashType; }
  void SetHashType(THashType value);  // clears the list when the type changes
  bool QuickHash() const { return FQuickHash; }
  void SetQuickHash(bool value);  // clears the list when it changes; false selects htCRC32
  // When set, Delete and Clear also delete the values (the typed list's T).
  bool AutoClearObjects() const { return FAutoClearObjects; }
  void SetAutoClearObjects(bool value) { FAutoClearObjects = value; }
  // When set, ASCII a-z are folded to A-Z before hashing; other characters are kept.
  // Changing it does not rehash the stored entries.
  bool NoCase() const { return FNoCase; }
  void SetNoCase(bool value) { FNoCase = value; }
  THashInsertDupesMode InsertDupesMode() const { return FInsertDupesMode; }
  void SetInsertDupesMode(THashInsertDupesMode value) { FInsertDupesMode = value; }
  bool RaiseOnError() const { return FRaiseOnError; }
  void SetRaiseOnError(bool value) { FRaiseOnError = value; }

 protected:
  THashListBase();
  virtual ~THashListBase();

  // Inserts at index (0..Count). Returns whether value is now held by the list; when it is
  // not (bad index, himIgnore, himRaise), the caller still owns it.
  bool InsertRaw(std::int32_t index, std::u16string_view name, void* value);
  void* GetValueRaw(std::u16string_view name) const;
  void* GetByIndexRaw(std::int32_t index) const;

  // Called for every value that leaves the list by Delete, Clear or a replacing insert, after
  // the list is consistent again (so a handler may use the list). owned: AutoClearObjects
  // asks for the value to be freed.
  virtual void ValueRemoved(void* value, bool owned) = 0;

 private:
  struct THashRecord {
    std::u16string Name;
    std::uint32_t Hash = 0;
    void* Value = nullptr;
  };

  std::uint32_t HashOf(std::u16string_view name) const;
  // Throws EHashListError(text) when RaiseOnError is set; otherwise returns false.
  bool Fail(const char* text) const;
  bool SetCapacity(std::int32_t capacity);

  bool FAutoClearObjects = false;
  bool FNoCase = true;
  THashType FHashType = htCRC32;
  std::unique_ptr<THashRecord[]> FList;
  std::int32_t FCount = 0;
  std::int32_t FCapacity = 0;
  bool FQuickHash = false;
  THashInsertDupesMode FInsertDupesMode = himReplace;
  bool FRaiseOnError = false;
};

// Typed list of T* values. OnDelete receives each value that leaves the list (deleted,
// cleared, or replaced by a new value under himReplace); with AutoClearObjects the list
// then deletes it, except for a replaced value, which is only reported.
template <class T>
class THashListEx : public THashListBase {
 public:
  std::function<void(T* value)> OnDelete;

  THashListEx() = default;
  ~THashListEx() override { Clear(); }

  bool AddItem(std::u16string_view name, T* value) { return InsertRaw(Count(), name, value); }
  bool SetValue(std::u16string_view name, T* value) { return AddItem(name, value); }
  bool InsertItem(std::int32_t index, std::u16string_view name, T* value) {
    return InsertRaw(index, name, value);
  }
  T* GetValue(std::u16string_view name) const { return static_cast<T*>(GetValueRaw(name)); }
  T* GetByIndex(std::int32_t index) const { return static_cast<T*>(GetByIndexRaw(index)); }

 protected:
  void ValueRemoved(void* value, bool owned) override {
    if (OnDelete) OnDelete(static_cast<T*>(value));
    if (owned) delete static_cast<T*>(value);
  }
};
