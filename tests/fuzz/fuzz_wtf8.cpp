// Name text of the file index: any UTF-16 text survives the WTF-8 round trip, and any bytes
// decode without reading past the end to at most one unit per byte.
#include "FuzzInput.h"
#include "core/FileIndexText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const std::u16string units = in.Text16(size / 2);
  const std::string encoded = ToWtf8(units);
  FUZZ_CHECK(FromWtf8(encoded) == units);
  FUZZ_CHECK(encoded.size() <= units.size() * 3);
  std::string appended = "x";
  AppendWtf8(units, appended);
  FUZZ_CHECK(appended.substr(1) == encoded);

  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string decoded = FromWtf8(bytes);
  FUZZ_CHECK(decoded.size() <= bytes.size());
  // What decodes is stable: encoding it and decoding again changes nothing.
  FUZZ_CHECK(FromWtf8(ToWtf8(decoded)) == decoded);
  // Well-formed input comes back byte for byte. Two surrogate halves encoded one by one
  // (ED A0.. ED B0..) decode to a pair, which encodes as one four-byte sequence instead.
  bool valid = true;
  for (char16_t c : decoded) valid = valid && c != 0xFFFD;
  bool halves = false;
  for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
    halves = halves || (static_cast<unsigned char>(bytes[i]) == 0xED && static_cast<unsigned char>(bytes[i + 1]) >= 0xA0);
  if (valid && !halves) FUZZ_CHECK(ToWtf8(decoded) == bytes);
  return 0;
}
