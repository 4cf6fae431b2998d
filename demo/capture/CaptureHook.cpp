// Runs inside RuvoSearch.exe as a message hook of its main thread, which owns the overlay
// windows: Wine draws no window whose parent belongs to another process, so the picture of the
// Explorer window is taken from the screen and the program's own windows inside it are painted
// in at their places by the thread that owns them.
#include <windows.h>

#include <string>

#include "../DemoCapture.h"
#include "win/common/Handle.h"
#include "win/common/WindowValue.h"
#include "win/controls/WindowPicture.h"

namespace {

void Capture() {
  UniqueKernelHandle mapping(::OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, demo::kRequestMapping));
  if (!mapping) return;
  auto* request = static_cast<demo::CaptureRequest*>(
      ::MapViewOfFile(mapping.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(demo::CaptureRequest)));
  if (!request) return;
  const HWND top = WindowFromValue(request->window);
  const std::wstring path(request->path, ::wcsnlen(request->path, std::size(request->path)));
  RECT r{};
  std::uint32_t result = 2;
  if (::IsWindow(top) && ::GetWindowRect(top, &r)) {
    TDibImage picture = CaptureScreen(r);
    result = 3;
    if (!picture.Empty()) {
      PrintOwnWindows(top, picture, POINT{r.left, r.top});
      result = SaveOpaquePng(picture, path) ? 1 : 4;
    }
  }
  request->saved = result;
  ::UnmapViewOfFile(request);
  UniqueKernelHandle done(::OpenEventW(EVENT_MODIFY_STATE, FALSE, demo::kDoneEvent));
  if (done) ::SetEvent(done.get());
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK DemoCaptureHook(int code, WPARAM wp, LPARAM lp) {
  static const UINT captureMessage = ::RegisterWindowMessageW(demo::kCaptureMessage);
  if (code == HC_ACTION && wp == PM_REMOVE && reinterpret_cast<const MSG*>(lp)->message == captureMessage) Capture();
  return ::CallNextHookEx(nullptr, code, wp, lp);
}
