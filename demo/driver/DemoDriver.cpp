// Drives the demo the way a person would, with real input only: clicks into the stand-in
// Explorer's search box, types the query one letter at a time, waits for RuvoSearch's result
// list to fill, and saves a picture of the window before and after.
//   demo_driver.exe <query> <result.png> <before.png> [<program trace file>]
// Prints how long the answer took. Exit code 0 when the list filled and the picture was saved.
// When the edit never appears it prints in one line what it saw, with what the program's
// trace file says of the window.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <functional>
#include <string>

#include "../DemoCapture.h"
#include "ExplorerStandIn.h"
#include "win/common/Handle.h"
#include "win/common/WindowValue.h"
#include "win/controls/WindowPicture.h"

namespace {

constexpr wchar_t kProgramClass[] = L"TfrmRuvoSearch";
constexpr DWORD kKeyPauseMs = 150;

int Fail(const char* what) {
  std::fprintf(stderr, "[demo] %s\n", what);
  return 1;
}

bool WaitFor(const std::function<bool()>& done, DWORD ms) {
  const DWORD start = ::GetTickCount();
  while (!done()) {
    if (::GetTickCount() - start >= ms) return false;
    ::Sleep(20);
  }
  return true;
}

DWORD ProcessOf(HWND window) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  return pid;
}

HWND Descend(HWND w, std::initializer_list<const wchar_t*> classes) {
  for (const wchar_t* c : classes) {
    w = ::FindWindowExW(w, nullptr, c, nullptr);
    if (!w) return nullptr;
  }
  return w;
}

struct OwnedSearch {
  DWORD pid;
  const wchar_t* cls;
  bool visibleOnly;
  HWND found;
};

BOOL CALLBACK MatchOwned(HWND w, LPARAM lp) {
  auto& s = *reinterpret_cast<OwnedSearch*>(lp);
  wchar_t name[64] = L"";
  ::GetClassNameW(w, name, 64);
  if (ProcessOf(w) == s.pid && (!s.visibleOnly || ::IsWindowVisible(w)) && (!s.cls || ::lstrcmpiW(name, s.cls) == 0)) {
    s.found = w;
    return FALSE;
  }
  return TRUE;
}

// The first window of `pid` inside `top` whose class is `cls` (any class when null).
HWND FindOwned(HWND top, DWORD pid, const wchar_t* cls, bool visibleOnly = true) {
  OwnedSearch s{pid, cls, visibleOnly, nullptr};
  ::EnumChildWindows(top, MatchOwned, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

void Mouse(DWORD flags) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flags;
  ::SendInput(1, &in, sizeof in);
}

void ClickCentre(HWND window) {
  RECT r{};
  ::GetWindowRect(window, &r);
  const POINT pt{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  ::SetCursorPos(pt.x, pt.y);
  WaitFor(
      [&] {
        POINT at{};
        ::GetCursorPos(&at);
        return at.x == pt.x && at.y == pt.y;
      },
      2000);
  Mouse(MOUSEEVENTF_LEFTDOWN);
  Mouse(MOUSEEVENTF_LEFTUP);
}

void TypeLetter(wchar_t c) {
  INPUT in[2]{};
  in[0].type = in[1].type = INPUT_KEYBOARD;
  in[0].ki.wScan = in[1].ki.wScan = c;
  in[0].ki.dwFlags = KEYEVENTF_UNICODE;
  in[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
  ::SendInput(2, in, sizeof(INPUT));
}

HWND FocusOf(HWND top) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return ::GetGUIThreadInfo(::GetWindowThreadProcessId(top, nullptr), &info) ? info.hwndFocus : nullptr;
}

std::string ClassText(HWND window) {
  if (!window) return "none";
  char name[64] = "";
  ::GetClassNameA(window, name, 64);
  return name;
}

int CountLines(const std::string& text, const char* what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// One line of what the driver saw when the edit did not appear: which window had the focus,
// what the stand-in's box received and, from the program's trace, whether the window was
// taken on, located and told of the focus.
void ReportNoEdit(HWND top, HWND programForm, DWORD program, const wchar_t* tracePath) {
  std::string trace;
  if (tracePath) {
    std::ifstream in(tracePath, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    trace = all.str();
  }
  const HWND focus = FocusOf(top);
  const DWORD focusProcess = ProcessOf(focus);
  const char* owner = !focus ? "-" : focusProcess == program ? "program" : focusProcess == ProcessOf(top) ? "Explorer" : "other";
  std::fprintf(stderr,
               "[demo] saw: program %s, its edit %s, focus %s (%s), foreground %s, box clicks %d, drop-down %s; trace: registered %d, "
               "located %d, not searchable %d, focus into the box %d, drop-down closed %d, edit focused %d\n",
               ::IsWindow(programForm) ? "running" : "gone", FindOwned(top, program, nullptr) ? "shown" : "not shown",
               ClassText(focus).c_str(), owner, ClassText(::GetForegroundWindow()).c_str(),
               static_cast<int>(::SendMessageW(top, kMsgSearchClicks, 0, 0)),
               ::SendMessageW(top, kMsgDropDownOpen, 0, 0) ? "open" : "closed", CountLines(trace, "AddHookWindow"),
               CountLines(trace, "SearchBoxHandle"), CountLines(trace, "not searchable"),
               CountLines(trace, "CBTHookSetFocus SetFocus") + CountLines(trace, "CBTHookSetFocus NeedCheckFocus"),
               CountLines(trace, "CBTHookHookMessage VK_ESCAPE"), CountLines(trace, "CBTHookHookMessage SetFocus"));
}

int Rows(HWND list) { return list ? static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) : 0; }

// Has the program's own thread paint its windows into a picture of the Explorer window.
bool CaptureWithProgram(HWND top, HWND programForm, const std::wstring& path) {
  HMODULE hookLibrary = ::LoadLibraryW(L"demo_capture.dll");
  if (!hookLibrary) return Fail("demo_capture.dll cannot be loaded") == 0;
  auto hookProc = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(::GetProcAddress(hookLibrary, demo::kHookProcName)));
  UniqueKernelHandle mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                  sizeof(demo::CaptureRequest), demo::kRequestMapping));
  UniqueKernelHandle done(::CreateEventW(nullptr, TRUE, FALSE, demo::kDoneEvent));
  bool saved = false;
  if (hookProc && mapping && done) {
    auto* request = static_cast<demo::CaptureRequest*>(
        ::MapViewOfFile(mapping.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(demo::CaptureRequest)));
    if (request) {
      request->window = WindowValue(top);
      request->saved = 0;
      path.copy(request->path, std::size(request->path) - 1);
      request->path[std::min(path.size(), std::size(request->path) - 1)] = L'\0';
      HHOOK hook = ::SetWindowsHookExW(WH_GETMESSAGE, hookProc, hookLibrary,
                                       ::GetWindowThreadProcessId(programForm, nullptr));
      if (!hook) Fail("the capture hook cannot be set");
      if (hook) {
        ::PostMessageW(programForm, ::RegisterWindowMessageW(demo::kCaptureMessage), 0, 0);
        const bool answered = ::WaitForSingleObject(done.get(), 10000) == WAIT_OBJECT_0;
        if (!answered) Fail("the program's thread did not run the capture hook within 10 s");
        saved = answered && request->saved == 1;
        if (answered && !saved) std::fprintf(stderr, "[demo] the capture hook answered %u\n", request->saved);
        ::UnhookWindowsHookEx(hook);
      }
      ::UnmapViewOfFile(request);
    }
  }
  ::FreeLibrary(hookLibrary);
  return saved;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4 && argc != 5) return Fail("usage: demo_driver.exe <query> <result.png> <before.png> [<trace>]");
  const std::wstring query = argv[1];

  HWND top = nullptr, programForm = nullptr;
  if (!WaitFor([&] { return (top = ::FindWindowW(kExplorerClass, nullptr)) && ::IsWindowVisible(top); }, 30000))
    return Fail("no Explorer window");
  if (!WaitFor([&] { return (programForm = ::FindWindowW(kProgramClass, nullptr)) != nullptr; }, 30000))
    return Fail("RuvoSearch.exe is not running");
  const DWORD program = ProcessOf(programForm);
  HWND box = Descend(top, {L"WorkerW", L"ReBarWindow32", L"UniversalSearchBand", L"Search Box",
                           L"SearchEditBoxWrapperClass", L"DirectUIHWND"});
  if (!box) return Fail("no search box in the Explorer window");

  // Wide enough for the list's date and size columns.
  ::SetWindowPos(top, nullptr, 20, 20, 1120, 700, SWP_NOZORDER);
  ::Sleep(300);
  RECT area{};
  ::GetWindowRect(top, &area);
  ::Sleep(500);
  SaveOpaquePng(CaptureScreen(area), argv[3]);

  // The program shows its edit when the search box takes the focus, once it has taken the
  // window on (it looks for new windows every 200 ms); until then a click only focuses the
  // box, so the focus is moved away again before the next try.
  HWND fileView = Descend(top, {L"ShellTabWindowClass", L"DUIViewWndClassName", L"DirectUIHWND", L"CtrlNotifySink",
                                L"SHELLDLL_DefView", WC_LISTVIEWW});
  bool ours = false;
  for (int attempt = 0; attempt < 10 && !ours; ++attempt) {
    if (attempt > 0 && fileView) ClickCentre(fileView);
    ClickCentre(box);
    ours = WaitFor([&] { return ProcessOf(FocusOf(top)) == program; }, 2000);
  }
  if (!ours) {
    ReportNoEdit(top, programForm, program, argc == 5 ? argv[4] : nullptr);
    return Fail("the search edit did not appear after clicks into the search box");
  }
  for (wchar_t c : query) {
    TypeLetter(c);
    ::Sleep(kKeyPauseMs);
  }
  const DWORD lastKey = ::GetTickCount() - kKeyPauseMs;
  HWND list = nullptr;
  if (!WaitFor([&] { return Rows(list = FindOwned(top, program, WC_LISTVIEWW)) > 0; }, 20000))
    return Fail("no result rows within 20 s");
  const DWORD firstRows = ::GetTickCount() - lastKey;
  // Complete once the count has held still for half a second.
  int rows = Rows(list);
  DWORD still = ::GetTickCount();
  WaitFor(
      [&] {
        const int now = Rows(list);
        if (now != rows) {
          rows = now;
          still = ::GetTickCount();
        }
        return ::GetTickCount() - still >= 500;
      },
      20000);
  const DWORD allRows = still - lastKey;

  if (!CaptureWithProgram(top, programForm, argv[2])) return Fail("the picture could not be saved");
  std::printf("[demo] \"%ls\": %d rows; first rows %lu ms after the last key, all %lu ms "
              "(the program waits 500 ms for typing to pause)\n",
              query.c_str(), rows, static_cast<unsigned long>(firstRows), static_cast<unsigned long>(allRows));
  return 0;
}
