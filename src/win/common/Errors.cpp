#include "win/common/Errors.h"

#include "core/TextUtils.h"
#include "win/common/WideText.h"

namespace {
std::string Describe(DWORD code) {
  const std::wstring text = SystemErrorMessage(code);
  if (text.empty()) return "System Error.  Code: " + std::to_string(code) + ".";
  return Utf16ToUtf8(U(text));
}
}  // namespace

EOSError::EOSError(DWORD code) : std::runtime_error(Describe(code)), code_(code) {}

void RaiseLastOSError() { throw EOSError(::GetLastError()); }

EOleSysError::EOleSysError(HRESULT hr) : std::runtime_error(Describe(static_cast<DWORD>(hr))), hr_(hr) {}
