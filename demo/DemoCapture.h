#pragma once
// What the demo driver and its capture hook share. The driver loads demo_capture.dll as a
// message hook on RuvoSearch.exe's main thread and posts kCaptureMessage to the program's main
// form; the hook, running in the program, reads the request from the named mapping, writes the
// picture and signals the done event.
#include <windows.h>

#include <cstdint>

namespace demo {

inline constexpr wchar_t kCaptureMessage[] = L"RuvoDemoCapture";
inline constexpr wchar_t kRequestMapping[] = L"Local\\RuvoDemoCaptureRequest";
inline constexpr wchar_t kDoneEvent[] = L"Local\\RuvoDemoCaptureDone";
inline constexpr char kHookProcName[] = "DemoCaptureHook";

struct CaptureRequest {
  std::uint32_t window;  // the Explorer window to picture, as a 32-bit handle value
  // Set by the hook: 1 written; 2 no such window; 3 the screen could not be read; 4 the PNG
  // could not be written.
  std::uint32_t saved;
  wchar_t path[1024];    // where the PNG goes, NUL-terminated
};

}  // namespace demo
