#include "HookTestSupport.h"

namespace {

struct BoxSearch {
  std::wstring caption;
  DWORD processId;
  HWND found;
};

BOOL CALLBACK MatchBox(HWND wnd, LPARAM param) {
  auto* search = reinterpret_cast<BoxSearch*>(param);
  wchar_t title[256] = {};
  DWORD pid = 0;
  ::GetWindowThreadProcessId(wnd, &pid);
  if (pid == search->processId && ::GetWindowTextW(wnd, title, 256) > 0 && search->caption == title) {
    search->found = wnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

std::wstring CloseMessageBox(const std::wstring& caption, DWORD processId, DWORD timeoutMs) {
  BoxSearch search{caption, processId, nullptr};
  const DWORD start = ::GetTickCount();
  while (!search.found && ::GetTickCount() - start < timeoutMs) {
    ::EnumWindows(&MatchBox, reinterpret_cast<LPARAM>(&search));
    if (!search.found) ::Sleep(20);
  }
  if (!search.found) return L"(no box)";
  wchar_t text[512] = {};
  ::GetDlgItemTextW(search.found, 0xFFFF, text, 512);  // the message box's text control
  ::PostMessageW(search.found, WM_COMMAND, IDOK, 0);
  return text;
}
