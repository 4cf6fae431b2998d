#include "ResultViewTestSupport.h"

#include <shellapi.h>

#include <algorithm>
#include <atomic>

#include "win/common/WideText.h"
#include "win/shell/ShellUtils.h"

TempFolder::TempFolder(const std::wstring& name) {
  wchar_t tmp[MAX_PATH] = L"";
  ::GetTempPathW(MAX_PATH, tmp);
  path_ = std::wstring(tmp) + name + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
  ::CreateDirectoryW(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() {
  std::wstring from = path_.substr(0, path_.size() - 1);
  from.push_back(L'\0');  // a double-NUL-terminated list
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
  ::SHFileOperationW(&op);
}

std::wstring TempFolder::Folder(const std::wstring& relative) const {
  std::wstring full = path_;
  for (std::size_t start = 0; start <= relative.size();) {
    std::size_t slash = relative.find(L'\\', start);
    if (slash == std::wstring::npos) slash = relative.size();
    full = path_ + relative.substr(0, slash);
    ::CreateDirectoryW((full.size() >= MAX_PATH ? L"\\\\?\\" + full : full).c_str(), nullptr);
    start = slash + 1;
  }
  return full;
}

std::wstring TempFolder::File(const std::wstring& relative, std::size_t bytes) const {
  const std::size_t slash = relative.rfind(L'\\');
  if (slash != std::wstring::npos) Folder(relative.substr(0, slash));
  const std::wstring full = path_ + relative;
  UniqueFileHandle f(::CreateFileW((full.size() >= MAX_PATH ? L"\\\\?\\" + full : full).c_str(), GENERIC_WRITE, 0,
                                   nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  const std::string data(bytes, 'x');
  DWORD written = 0;
  if (f && bytes) ::WriteFile(f.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  return full;
}

ListFixture::ListFixture(int x, int y, int width, int height)
    : form_(std::make_unique<TfrmListView>()), host_(x, y, width, height, ::GetSysColor(COLOR_WINDOW)) {
  list_ = std::make_unique<TListViewEx>();
  list_->SetSystemImages(GetSystemImageList(0));
  list_->SetParentWindow(host_.get());
  list_->SetBounds(0, 0, width, height);
  list_->Panel().Show();
  list_->Show();
}

ListFixture::~ListFixture() {
  list_.reset();
  form_.reset();
}

TDibImage CaptureClient(HWND wnd) {
  ::RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Pump(80);
  RECT r{};
  ::GetClientRect(wnd, &r);
  // Only the part on the screen: a row wider than the screen is cut at its edge.
  POINT origin{0, 0};
  ::ClientToScreen(wnd, &origin);
  const int width = std::min<int>(r.right, ::GetSystemMetrics(SM_CXSCREEN) - origin.x);
  TDibImage shot;
  WindowDc dc(wnd);
  shot.CaptureFrom(dc.get(), 0, 0, width, r.bottom);
  return shot;
}

COLORREF PixelAt(const TDibImage& shot, int x, int y) {
  const std::uint32_t p = shot.Pixel(x, y);
  return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

void ClickAt(POINT screen, DWORD down, DWORD up, bool twice) {
  ::SetCursorPos(screen.x, screen.y);
  Pump(30);
  for (int i = 0; i < (twice ? 2 : 1); ++i) {
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = down;
    in[1].mi.dwFlags = up;
    ::SendInput(2, in, sizeof(INPUT));
    Pump(30);
  }
}

std::wstring TestDirectory() { return ExeDirectory(); }

namespace {

struct WindowSearch {
  const wchar_t* cls;
  HWND found;
};

BOOL CALLBACK FindOwnWindow(HWND w, LPARAM lp) {
  auto* q = reinterpret_cast<WindowSearch*>(lp);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(w, &pid);
  if (pid != ::GetCurrentProcessId() || !::IsWindowVisible(w)) return TRUE;
  wchar_t cls[64] = L"";
  ::GetClassNameW(w, cls, 64);
  if (lstrcmpiW(cls, q->cls) != 0) return TRUE;
  q->found = w;
  return FALSE;
}

HWND FindVisible(const wchar_t* cls) {
  WindowSearch q{cls, nullptr};
  ::EnumWindows(FindOwnWindow, reinterpret_cast<LPARAM>(&q));
  return q.found;
}

std::wstring WithoutAmpersands(std::wstring s) {
  s.erase(std::remove(s.begin(), s.end(), L'&'), s.end());
  return s;
}

std::wstring TextOf(HWND w) {
  wchar_t buf[512] = L"";
  ::GetWindowTextW(w, buf, 512);
  return buf;
}

}  // namespace

struct MenuRobot::State {
  Action action = Action::Dismiss;
  std::wstring item;
  int dialogAnswer = 0;
  bool dialogOnly = false;
  DWORD ms = 0;
  bool sawMenu = false;
  bool sawCallback = false;
  std::vector<std::wstring> items, dialogTexts, dialogCaptions;
  std::thread thread;
  std::atomic<bool> done{false};

  void RunAndFinish() {
    Run();
    done = true;
  }

  void Run() {
    const DWORD start = ::GetTickCount();
    auto left = [&] { return ::GetTickCount() - start < ms; };
    if (!dialogOnly) {
      HWND menu = nullptr;
      while (left() && !(menu = FindVisible(L"#32768"))) ::Sleep(20);
      if (!menu) return;
      sawMenu = true;
      ::Sleep(100);
      sawCallback = ::FindWindowW(L"ShellDialogsCallBack", L"ShellDialogsCallBackProcessor") != nullptr;
      const auto hmenu = reinterpret_cast<HMENU>(::SendMessageW(menu, MN_GETHMENU, 0, 0));
      int chosen = -1;
      for (int i = 0; hmenu && i < ::GetMenuItemCount(hmenu); ++i) {
        wchar_t text[256] = L"";
        ::GetMenuStringW(hmenu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
        const std::wstring t = WithoutAmpersands(text);
        if (t.empty()) continue;
        items.push_back(t);
        if (chosen < 0 && !item.empty() && t.find(item) != std::wstring::npos) chosen = i;
      }
      RECT r{};
      if (action == Action::Choose && chosen >= 0 &&
          ::GetMenuItemRect(nullptr, hmenu, static_cast<UINT>(chosen), &r)) {
        ClickAt(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
      } else {
        ::PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        ::PostMessageW(menu, WM_KEYUP, VK_ESCAPE, 0);
      }
      if (dialogAnswer == 0) return;
    }
    while (left()) {
      if (HWND dlg = FindVisible(L"#32770")) {
        dialogCaptions.push_back(TextOf(dlg));
        for (HWND c = ::GetWindow(dlg, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
          wchar_t cls[32] = L"";
          ::GetClassNameW(c, cls, 32);
          if (lstrcmpiW(cls, L"Static") == 0 && !TextOf(c).empty()) dialogTexts.push_back(TextOf(c));
        }
        ::PostMessageW(dlg, WM_COMMAND, static_cast<WPARAM>(dialogAnswer), 0);
        if (dialogOnly) return;
        ::Sleep(300);
      }
      ::Sleep(20);
    }
  }
};

MenuRobot::MenuRobot(Action action, std::wstring item, int dialogAnswer, DWORD ms) : state_(std::make_unique<State>()) {
  state_->action = action;
  state_->item = std::move(item);
  state_->dialogAnswer = dialogAnswer;
  state_->ms = ms;
  state_->thread = std::thread([s = state_.get()] { s->RunAndFinish(); });
}

MenuRobot MenuRobot::ForDialog(int answer, DWORD ms) {
  MenuRobot robot;
  robot.state_ = std::make_unique<State>();
  robot.state_->dialogOnly = true;
  robot.state_->dialogAnswer = answer;
  robot.state_->ms = ms;
  robot.state_->thread = std::thread([s = robot.state_.get()] { s->RunAndFinish(); });
  return robot;
}

MenuRobot::MenuRobot(MenuRobot&&) noexcept = default;
MenuRobot::~MenuRobot() { Join(); }

void MenuRobot::Join() {
  if (!state_ || !state_->thread.joinable()) return;
  // The robot may be waiting for a window that only the main thread's messages bring up.
  while (!state_->done) Pump(10);
  state_->thread.join();
}

bool MenuRobot::SawMenu() const { return state_->sawMenu; }
const std::vector<std::wstring>& MenuRobot::MenuItems() const { return state_->items; }
bool MenuRobot::SawCallbackWindow() const { return state_->sawCallback; }
const std::vector<std::wstring>& MenuRobot::DialogTexts() const { return state_->dialogTexts; }
const std::vector<std::wstring>& MenuRobot::DialogCaptions() const { return state_->dialogCaptions; }

std::wstring CopyRunRecorder(const TempFolder& folder, const std::wstring& name) {
  const std::wstring target = folder.Path() + name;
  ::CopyFileW((TestDirectory() + L"run_recorder.exe").c_str(), target.c_str(), FALSE);
  return target;
}

std::vector<std::wstring> RunsRecorded(const TempFolder& folder) {
  std::vector<std::wstring> runs;
  UniqueFileHandle f(::CreateFileW((folder.Path() + L"runs.log").c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!f) return runs;
  std::wstring text(1 << 16, L'\0');
  DWORD read = 0;
  ::ReadFile(f.get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &read, nullptr);
  text.resize(read / sizeof(wchar_t));
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) break;
    runs.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return runs;
}
