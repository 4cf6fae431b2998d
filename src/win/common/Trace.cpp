#include "win/common/Trace.h"

#include <windows.h>

#include <cstdio>

#include "core/TextUtils.h"
#include "win/common/Handle.h"
#include "win/common/WideText.h"

namespace {

// Opened once; appends of whole lines from any thread stay whole.
HANDLE TraceFile() {
  static const UniqueKernelHandle file = [] {
    wchar_t path[MAX_PATH] = L"";
    const DWORD n = ::GetEnvironmentVariableW(L"RUVO_TRACE_FILE", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return UniqueKernelHandle();
    HANDLE h = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return UniqueKernelHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
  }();
  return file.get();
}

void AppendToFile(std::wstring_view line) {
  HANDLE file = TraceFile();
  if (!file) return;
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%02u:%02u:%02u.%03u %lu:%lu ", t.wHour, t.wMinute, t.wSecond, t.wMilliseconds,
                ::GetCurrentProcessId(), ::GetCurrentThreadId());
  std::string text = stamp;
  text += Utf16ToUtf8(U(line));
  text += "\r\n";
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

void Trace(std::wstring_view line) {
  const std::wstring text(line);
  ::OutputDebugStringW(text.c_str());
  AppendToFile(text);
}

void TraceUtf8(std::string_view line) { Trace(W(Utf8ToUtf16(line))); }

std::wstring TimeText() {
  wchar_t text[64] = L"";
  ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, text, 64);
  return text;
}
