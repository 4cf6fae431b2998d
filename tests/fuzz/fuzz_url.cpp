// URL text: the escape decoder over raw bytes, the shell-location path over the same bytes
// read as UTF-8 and as UTF-16, and the size formatter over the first eight bytes.
#include "FuzzInput.h"
#include "core/Format.h"
#include "core/TextUtils.h"

namespace {

void CheckPath(std::u16string_view url) {
  const std::u16string path = FileURLToPath(url);
  // Always a folder: the final backslash survives decoding, since an escape cannot end in it.
  FUZZ_CHECK(!path.empty() && path.back() == u'\\');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const std::string decoded = URLDecode(text);
    FUZZ_CHECK(decoded.size() <= text.size());
    if (text.find_first_of("%+") == std::string_view::npos) FUZZ_CHECK(decoded == text);
  } catch (const EURLDecodeError&) {
    FUZZ_CHECK(text.find('%') != std::string_view::npos);
  }

  CheckPath(Utf8ToUtf16(text));
  CheckPath(in.Text16(size / 2));

  FuzzInput sizes(data, size);
  const std::u16string separator = sizes.Text16(sizes.Byte() % 3);
  const std::int64_t n = sizes.Value<std::int64_t>();
  const std::u16string shown = FormatFileSize(n, separator);
  FUZZ_CHECK(!shown.empty());
  if (n < 1024) FUZZ_CHECK(shown == Utf8ToUtf16(std::to_string(n)) + u" bytes");
  return 0;
}
