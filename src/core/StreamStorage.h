#pragma once
// Named, typed values in one growable byte buffer, laid out exactly as they travel as the
// data part of a pipe message:
//   int32 name length (bytes) | name (UTF-16LE) | int64 value size | value
// Writers append; readers find entries by name in any order through a name index that is
// filled by writes and by every scan past a name. A storage holds at most kMaxValues entries:
// whatever a received buffer holds past them is not read, so one message never costs more
// than that many index entries however many a peer packed into it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Days since 1899-12-30 00:00; the fraction is the time of day (OLE Automation date).
using TDateTime = double;

class EStreamStorageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A growable byte buffer with one position shared by reads and writes.
class TMemoryStream {
 public:
  std::int64_t Size() const { return static_cast<std::int64_t>(bytes_.size()); }
  std::int64_t Position() const { return position_; }
  // Clamped to [0, Size()].
  void SetPosition(std::int64_t pos);
  // Copies up to n bytes from the position; returns how many were copied.
  std::size_t Read(void* dst, std::size_t n);
  // Writes n bytes at the position, growing the buffer as needed.
  void Write(const void* src, std::size_t n);
  // Moves the position to the end and writes there.
  void Append(const void* src, std::size_t n);
  void Clear();
  void Reserve(std::size_t n) { bytes_.reserve(n); }
  const std::uint8_t* Data() const { return bytes_.data(); }

 private:
  std::vector<std::uint8_t> bytes_;
  std::int64_t position_ = 0;
};

// A copy of one stream value; Data() rewinds it before handing it out.
class TStorageStream {
 public:
  TMemoryStream& Data();

 private:
  TMemoryStream stream_;
};
using IStorageStream = std::shared_ptr<TStorageStream>;

class TStreamStorage;

// Walks the entry names of one storage in buffer order, duplicates included, up to the
// storage's kMaxValues. It moves the storage's buffer to 0 when made and puts the position
// back when destroyed.
class TNamesEnumerator {
 public:
  explicit TNamesEnumerator(TMemoryStream& storage);
  ~TNamesEnumerator();
  TNamesEnumerator(const TNamesEnumerator&) = delete;
  TNamesEnumerator& operator=(const TNamesEnumerator&) = delete;

  bool MoveNext();
  const std::u16string& Current() const { return FFieldName; }

 private:
  std::u16string FFieldName;
  TMemoryStream& FStorage;
  std::int64_t FOriginalPosition;
  std::size_t FCount = 0;
};

class TStreamStorage {
 public:
  // Positions are kept as signed 32-bit numbers.
  static constexpr std::int64_t kMaxStorageSize = 2147483647;
  // Entries in one storage, duplicates included; a search message has a handful.
  static constexpr std::size_t kMaxValues = 1024;

  TStreamStorage() = default;
  TStreamStorage(const TStreamStorage&) = delete;
  TStreamStorage& operator=(const TStreamStorage&) = delete;

  // Each writer appends one entry. An empty name writes nothing; the string writers also
  // write nothing for an empty value, WriteStream nothing for an empty stream. A name already
  // present, or a storage that holds kMaxValues entries, raises EStreamStorageError and leaves
  // the storage unchanged.
  void WriteBoolean(std::u16string_view name, bool value);
  void WriteCardinal(std::u16string_view name, std::uint32_t value);
  void WriteInteger(std::u16string_view name, std::int32_t value);
  void WriteDateTime(std::u16string_view name, TDateTime value);
  void WriteReal(std::u16string_view name, double value);
  void WriteUnicodeString(std::u16string_view name, std::u16string_view value);
  void WriteString(std::u16string_view name, std::u16string_view value) { WriteUnicodeString(name, value); }
  void WriteUTF8String(std::u16string_view name, std::string_view value);
  // Copies the stream from its beginning; its position is left as it was.
  void WriteStream(std::u16string_view name, const TMemoryStream& stream);

  // Each reader returns the value of the first entry with that name, or the kind's default
  // (false, 0, 0.0, empty) when there is none.
  bool ReadBoolean(std::u16string_view name);
  std::uint32_t ReadCardinal(std::u16string_view name);
  std::int32_t ReadInteger(std::u16string_view name);
  TDateTime ReadDateTime(std::u16string_view name);
  double ReadReal(std::u16string_view name);
  std::u16string ReadUnicodeString(std::u16string_view name);
  std::u16string ReadString(std::u16string_view name) { return ReadUnicodeString(name); }
  std::string ReadUTF8String(std::u16string_view name);
  // Writes the value's bytes into stream at its position; stream is untouched when absent.
  void ReadStream(std::u16string_view name, TMemoryStream& stream);
  // A copy of the value; an empty stream when absent.
  IStorageStream ReadStream(std::u16string_view name);

  bool Exists(std::u16string_view name);
  void Clear();
  // Clear, then a copy of source's whole buffer; names are found by scanning.
  void Assign(const TStreamStorage& source);
  TNamesEnumerator GetEnumerator() { return TNamesEnumerator(FStorage); }

  // The raw buffer: the transport reads it to send and appends received bytes to it.
  TMemoryStream& Storage() { return FStorage; }
  const TMemoryStream& Storage() const { return FStorage; }

  bool IgnoreDuplicates() const { return FIgnoreDuplicates; }
  void SetIgnoreDuplicates(bool value) { FIgnoreDuplicates = value; }

 private:
  // The name index: 50 buckets; a name may hold several positions, the first added wins.
  class TPositionsHash {
   public:
    static constexpr std::size_t kBuckets = 50;
    void Add(std::u16string_view name, std::int32_t sizeFieldPos);
    bool Find(std::u16string_view name, std::int32_t& sizeFieldPos) const;
    void Clear();
    std::size_t Count() const { return count_; }

   private:
    struct Item {
      std::u16string name;
      std::int32_t pos;
    };
    static std::size_t Bucket(std::u16string_view name);
    std::array<std::vector<Item>, kBuckets> buckets_;
    std::size_t count_ = 0;
  };

  void WriteEntry(std::u16string_view name, const void* value, std::size_t size);
  // Finds the first entry with that name and leaves the buffer at its value.
  bool LocateValue(std::u16string_view name, std::int64_t& size);
  // Reads the entry header at the position; false (position unchanged) when it is malformed
  // or the storage already holds kMaxValues entries.
  bool ReadEntryHeader(std::u16string& name, std::int64_t& sizeFieldPos, std::int64_t& size);
  void IndexRemainingEntries();
  // Reads at most the value and at most resultSize bytes into result (zero-filled first).
  bool ReadFixed(std::u16string_view name, void* result, std::size_t resultSize);
  void AfterRead();

  TMemoryStream FStorage;
  TPositionsHash FPositionsHash;
  std::int64_t FLastPos = 0;
  bool FIgnoreDuplicates = false;
};
