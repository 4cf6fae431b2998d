#include "win/common/WideText.h"

#include "win/common/Handle.h"

std::wstring SystemErrorMessage(DWORD code) {
  wchar_t* buf = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
  const UniqueLocalMemory owner(buf);
  std::wstring text(buf ? buf : L"", n);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
  return text;
}

std::wstring ExePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    if (path.size() >= 65536) return {};  // longer than any path the system gives
    path.resize(path.size() * 2);
  }
  return path;
}

std::wstring ExeDirectory() {
  const std::wstring path = ExePath();
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}
