// Walking Explorer's window tree and taking the foreground.
#include "win/shell/ShellUtils.h"

#include "core/TextUtils.h"
#include "win/common/WideText.h"

std::wstring WindowClassName(HWND window) {
  wchar_t name[257] = {};
  const int n = ::GetClassNameW(window, name, 257);
  return std::wstring(name, n > 0 ? static_cast<std::size_t>(n) : 0);
}

bool HasWindowClass(HWND window, const std::wstring& className) {
  const std::wstring name = WindowClassName(window);
  return !name.empty() && SameIgnoringAsciiCase(U(name), U(className));
}

bool FindWindowByClassPath(HWND parent, HWND& found, const std::vector<std::wstring>& classes,
                           std::uint8_t depth) {
  found = nullptr;
  if (depth >= classes.size()) return false;
  const std::wstring& className = classes[depth];
  HWND child = ::FindWindowExW(parent, nullptr, className.c_str(), nullptr);
  if (!::IsWindow(child)) return false;
  if (depth + 1u == classes.size()) {
    found = child;
    return true;
  }
  if (FindWindowByClassPath(child, found, classes, depth + 1)) return true;
  for (HWND sibling = ::GetWindow(child, GW_HWNDNEXT); ::IsWindow(sibling);
       sibling = ::GetWindow(sibling, GW_HWNDNEXT)) {
    if (HasWindowClass(sibling, className) &&
        FindWindowByClassPath(sibling, found, classes, depth + 1))
      return true;
  }
  return false;
}

std::vector<std::wstring> SplitClassPath(const std::wstring& joined) {
  std::vector<std::wstring> out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t bar = joined.find(L'|', start);
    out.push_back(joined.substr(start, bar - start));
    if (bar == std::wstring::npos) return out;
    start = bar + 1;
  }
}

bool IsDescendantWindow(HWND target, HWND root) {
  for (HWND child = ::FindWindowExW(root, nullptr, nullptr, nullptr); child;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (child == target || IsDescendantWindow(target, child)) return true;
  }
  return false;
}

bool ForceForegroundWindow(HWND window, bool restore) {
  if (restore && ::IsIconic(window)) ::ShowWindow(window, SW_RESTORE);
  if (::GetForegroundWindow() == window) return true;

  const DWORD windowThread = ::GetWindowThreadProcessId(window, nullptr);
  const DWORD foregroundThread = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
  if (::AttachThreadInput(windowThread, foregroundThread, TRUE)) {
    ::BringWindowToTop(window);
    ::SetForegroundWindow(window);
    ::AttachThreadInput(windowThread, foregroundThread, FALSE);
  }
  if (::GetForegroundWindow() != window) {
    DWORD timeout = 0;
    ::SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
    ::SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, SPIF_SENDCHANGE);
    ::BringWindowToTop(window);
    ::SetForegroundWindow(window);
    ::SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                            reinterpret_cast<void*>(static_cast<UINT_PTR>(timeout)),
                            SPIF_SENDCHANGE);
  }
  return ::GetForegroundWindow() == window;
}
