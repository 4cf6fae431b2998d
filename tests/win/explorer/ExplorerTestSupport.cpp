#include "ExplorerTestSupport.h"

#include <commctrl.h>

#include "../controls/TestSupport.h"

namespace explorer_test {

std::wstring ExeName() {
  wchar_t path[MAX_PATH] = L"";
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring name(path);
  return name.substr(name.find_last_of(L'\\') + 1);
}

namespace {

HWND Descend(HWND w, std::initializer_list<const wchar_t*> classes) {
  for (const wchar_t* c : classes) {
    HWND next = nullptr;
    for (HWND k = ::FindWindowExW(w, nullptr, c, nullptr); k; k = ::FindWindowExW(w, k, c, nullptr))
      if (::GetWindowLongW(k, GWL_STYLE) & WS_VISIBLE) next = k;
    if (!next) return nullptr;
    w = next;
  }
  return w;
}

void SendMouse(DWORD flags) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flags;
  ::SendInput(1, &in, sizeof in);
}

}  // namespace

bool RunsAsWindows10() {
  const std::wstring name = ExeName();
  return name.find(L"_win10") != std::wstring::npos;
}

HWND StandIn::Window(const wchar_t* title, const wchar_t* cls, DWORD ms) const {
  HWND found = nullptr;
  testing_support::WaitUntil(
      [&] {
        found = ::FindWindowW(cls, title);
        return found && ::IsWindowVisible(found);
      },
      ms);
  return found && ::IsWindowVisible(found) ? found : nullptr;
}

HWND SearchBoxOf(HWND top) {
  return Descend(top, {L"WorkerW", L"ReBarWindow32", L"UniversalSearchBand", L"Search Box",
                       L"SearchEditBoxWrapperClass", L"DirectUIHWND"});
}

HWND FileViewHostOf(HWND top) {
  return Descend(top, {L"ShellTabWindowClass", L"DUIViewWndClassName", L"DirectUIHWND", L"CtrlNotifySink"});
}

HWND TreeOf(HWND top) { return ::FindWindowExW(top, nullptr, WC_TREEVIEWW, nullptr); }

void ClickAt(HWND window, int x, int y) { ClickWith(window, x, y, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP); }

void RightClickAt(HWND window, int x, int y) { ClickWith(window, x, y, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP); }

void ClickWith(HWND window, int x, int y, DWORD down, DWORD up) {
  POINT pt{x, y};
  ::ClientToScreen(window, &pt);
  ::SetCursorPos(pt.x, pt.y);
  // The pointer is there and the window (or a window inside it) is the one under it.
  testing_support::WaitUntil(
      [&] {
        POINT at{};
        ::GetCursorPos(&at);
        HWND under = ::WindowFromPoint(at);
        return at.x == pt.x && at.y == pt.y && (under == window || ::IsChild(window, under));
      },
      2000);
  SendMouse(down);
  SendMouse(up);
}

void ClickCentre(HWND window) {
  RECT r{};
  ::GetClientRect(window, &r);
  ClickAt(window, r.right / 2, r.bottom / 2);
}

void ClickTreeItem(HWND tree, int index) {
  const int height = static_cast<int>(::SendMessageW(tree, TVM_GETITEMHEIGHT, 0, 0));
  ClickAt(tree, 60, index * height + height / 2);
}

void PressKey(WORD vk) {
  INPUT in[2]{};
  in[0].type = in[1].type = INPUT_KEYBOARD;
  in[0].ki.wVk = in[1].ki.wVk = vk;
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  ::SendInput(2, in, sizeof(INPUT));
}

void TypeText(const std::wstring& text, DWORD pauseMs) {
  for (wchar_t c : text) {
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wScan = in[1].ki.wScan = c;
    in[0].ki.dwFlags = KEYEVENTF_UNICODE;
    in[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
    ::SendInput(2, in, sizeof(INPUT));
    if (pauseMs) testing_support::WaitUntil([] { return false; }, pauseMs);
  }
}

namespace {
bool SaveShot(const TDibImage& picture, const std::wstring& name) {
  const std::wstring folder = ExeDirectory() + L"shots\\";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring family = RunsAsWindows10() ? L"win10-" : L"win7-";
  return SaveOpaquePng(picture, folder + family + name + L".png");
}
}  // namespace

bool SaveWindowShot(HWND window, const std::wstring& name, int margin) {
  RECT r{};
  if (!::GetWindowRect(window, &r)) return false;
  ::InflateRect(&r, margin, margin);
  return SaveShot(CaptureScreen(r), name);
}

bool SaveComposedShot(HWND area, const std::wstring& name, int margin) {
  RECT r{};
  if (!::GetWindowRect(area, &r)) return false;
  ::InflateRect(&r, margin, margin);
  TDibImage picture = CaptureScreen(r);
  if (picture.Empty()) return false;
  PrintOwnWindows(::GetAncestor(area, GA_ROOT), picture, POINT{r.left, r.top});
  return SaveShot(picture, name);
}

}  // namespace explorer_test

namespace {

// The system reads the version it reports when a process starts: before the tests run, the
// program records the family for its own exe name in the prefix and runs itself once more,
// ending with that run's exit code.
struct FamilyRelaunch {
  FamilyRelaunch() {
    if (::GetEnvironmentVariableW(L"RUVO_FAMILY_SET", nullptr, 0) != 0) return;
    const std::wstring key = L"Software\\Wine\\AppDefaults\\" + explorer_test::ExeName();
    const std::wstring version = explorer_test::RunsAsWindows10() ? L"win10" : L"win7";
    ::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, version.c_str(),
                      static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
    ::SetEnvironmentVariableW(L"RUVO_FAMILY_SET", L"1");
    wchar_t exe[MAX_PATH] = L"";
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring cmd = ::GetCommandLineW();
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(exe, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) ::ExitProcess(3);
    UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
    // The test run's own time bound ends both processes; this wait only outlasts the child.
    ::WaitForSingleObject(process.get(), 1800000);
    DWORD code = 4;
    ::GetExitCodeProcess(process.get(), &code);
    ::ExitProcess(code);
  }
} gFamilyRelaunch;

}  // namespace
