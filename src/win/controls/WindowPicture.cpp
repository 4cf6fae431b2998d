#include "win/controls/WindowPicture.h"

#include <commctrl.h>
#include <png.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "win/common/Handle.h"

TDibImage CaptureScreen(const RECT& r) {
  TDibImage picture;
  WindowDc screen(nullptr);
  picture.CaptureFrom(screen.get(), r.left, r.top, r.right - r.left, r.bottom - r.top);
  return picture;
}

namespace {
void PrintInto(HWND window, HDC dc, POINT origin) {
  RECT w{};
  ::GetWindowRect(window, &w);
  ::SetViewportOrgEx(dc, w.left - origin.x, w.top - origin.y, nullptr);
  // A double-buffered list view paints only its rows into a picture, so the rest of it is given
  // the list's own background first.
  wchar_t cls[32] = L"";
  ::GetClassNameW(window, cls, 32);
  const COLORREF listBk = ::lstrcmpiW(cls, WC_LISTVIEWW) == 0 ? ListView_GetBkColor(window) : CLR_NONE;
  if (listBk != CLR_NONE) {
    RECT client{};
    ::GetClientRect(window, &client);
    UniqueBrush brush(::CreateSolidBrush(listBk));
    ::FillRect(dc, &client, brush.get());
  }
  ::SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
  HWND child = ::GetWindow(window, GW_CHILD);
  for (HWND last = child ? ::GetWindow(child, GW_HWNDLAST) : nullptr; last; last = ::GetWindow(last, GW_HWNDPREV))
    if (::IsWindowVisible(last)) PrintInto(last, dc, origin);
}
}  // namespace

void PrintWindowTree(HWND window, TDibImage& picture, POINT origin) {
  if (picture.Empty()) return;
  UniqueDc dc(::CreateCompatibleDC(nullptr));
  SelectObjectScope select(dc.get(), picture.Bitmap());
  PrintInto(window, dc.get(), origin);
}

void PrintOwnWindows(HWND parent, TDibImage& picture, POINT origin) {
  HWND child = ::GetWindow(parent, GW_CHILD);
  for (HWND w = child ? ::GetWindow(child, GW_HWNDLAST) : nullptr; w; w = ::GetWindow(w, GW_HWNDPREV)) {
    if (!::IsWindowVisible(w)) continue;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(w, &pid);
    if (pid == ::GetCurrentProcessId())
      PrintWindowTree(w, picture, origin);
    else
      PrintOwnWindows(w, picture, origin);
  }
}

bool SaveOpaquePng(const TDibImage& picture, const std::wstring& path) {
  if (picture.Empty()) return false;
  ::GdiFlush();
  // GDI leaves the alpha byte of 32-bit pixels undefined (text and fills often clear it), so
  // the file keeps colour only.
  const int width = picture.Width(), height = picture.Height();
  std::vector<std::uint8_t> bgr(static_cast<std::size_t>(width) * height * 3);
  const auto* source = reinterpret_cast<const std::uint8_t*>(picture.Bits());
  for (std::size_t i = 0, n = static_cast<std::size_t>(width) * height; i < n; ++i)
    std::memcpy(&bgr[i * 3], source + i * 4, 3);
  png_image image;
  std::memset(&image, 0, sizeof(image));
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_BGR;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, bgr.data(), width * 3, nullptr)) return false;
  std::string bytes(size, '\0');
  if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, bgr.data(), width * 3, nullptr)) return false;
  UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(size), &written, nullptr) && written == size;
}
