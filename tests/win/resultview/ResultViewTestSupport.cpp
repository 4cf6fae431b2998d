#include "ResultViewTestSupport.h"

#include <shellapi.h>

#include <algorithm>

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
