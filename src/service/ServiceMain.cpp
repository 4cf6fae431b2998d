// RuvoService.exe: the search service. Under the service control manager it runs as the
// service "RuvoSearchService"; with /console it does the same work in the foreground until
// Ctrl+C or the console closes.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <mutex>

#include <string>

#include "core/ServiceName.h"
#include "service/SearchService.h"
#include "win/common/Handle.h"
#include "win/common/Trace.h"
#include "win/common/WideText.h"
#include "win/thread/MessagePump.h"

namespace {
ServiceOptions g_options;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
HANDLE g_stopEvent = nullptr;
// The running service, for device events, which come on the control handler's thread (service
// mode) or the main thread's window (console mode).
std::mutex g_serviceLock;
SearchService* g_service = nullptr;

// Device events reach the service from before its start until before its stop.
class Published {
 public:
  explicit Published(SearchService& service) { Set(&service); }
  ~Published() { Set(nullptr); }
  Published(const Published&) = delete;
  Published& operator=(const Published&) = delete;

 private:
  static void Set(SearchService* service) {
    std::lock_guard lock(g_serviceLock);
    g_service = service;
  }
};

void PassDeviceEvent(DWORD type, const void* data) {
  std::lock_guard lock(g_serviceLock);
  if (g_service) g_service->DeviceEvent(type, data);
}

void ReportStatus(DWORD state, DWORD exitCode = NO_ERROR) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  status.dwWin32ExitCode = exitCode;
  // A stop takes at most SearchService::kStopMs and the request pipe's own stop.
  const DWORD pendingHint = state == SERVICE_STOP_PENDING ? 10000 : 5000;
  status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : pendingHint;
  ::SetServiceStatus(g_statusHandle, &status);
}

DWORD WINAPI ControlHandler(DWORD control, DWORD eventType, void* eventData, void*) {
  switch (control) {
    case SERVICE_CONTROL_DEVICEEVENT:
      // NO_ERROR grants a removal: the root on that volume has let its handle go by now.
      PassDeviceEvent(eventType, eventData);
      return NO_ERROR;
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      ReportStatus(SERVICE_STOP_PENDING);
      ::SetEvent(g_stopEvent);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

// A thread that did not end in time still uses the service's state, which must not be
// destroyed under it: the process ends here instead, the stop reported first.
[[noreturn]] void EndWithThreadsRunning(bool underManager) {
  Trace(L"RuvoService: threads still running at stop, ending the process");
  if (underManager) ReportStatus(SERVICE_STOPPED);
  ::ExitProcess(0);
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
  g_statusHandle = ::RegisterServiceCtrlHandlerExW(W(kRuvoServiceName).c_str(), ControlHandler, nullptr);
  if (!g_statusHandle) return;
  ReportStatus(SERVICE_START_PENDING);
  {
    SearchService service(g_options, true, DeviceRecipient{g_statusHandle, DEVICE_NOTIFY_SERVICE_HANDLE});
    {
      Published published(service);
      if (!service.Start()) {
        ReportStatus(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR);
        return;
      }
      ReportStatus(SERVICE_RUNNING);
      ::WaitForSingleObject(g_stopEvent, INFINITE);
      ReportStatus(SERVICE_STOP_PENDING);
    }
    if (!service.Stop()) EndWithThreadsRunning(true);
  }
  ReportStatus(SERVICE_STOPPED);
}

BOOL WINAPI ConsoleHandler(DWORD) {
  ::SetEvent(g_stopEvent);
  // Closing the console ends the process when this returns: give the shutdown its moment.
  ::Sleep(2000);
  return TRUE;
}

LRESULT CALLBACK DeviceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_DEVICECHANGE) return ::DefWindowProcW(window, message, wParam, lParam);
  // TRUE grants a removal: the root on that volume has let its handle go by now.
  PassDeviceEvent(static_cast<DWORD>(wParam), reinterpret_cast<const void*>(lParam));
  return TRUE;
}

// In console mode the device events of the watched roots come to a message-only window of the
// main thread (registered events reach it; broadcasts, which it does not need, would not).
UniqueWindow MakeDeviceWindow() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DeviceWindowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"RuvoServiceDevices";
  ::RegisterClassW(&wc);
  return UniqueWindow(
      ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr));
}

// Serves the main thread's window until the stop event is set.
void WaitServingMessages(HANDLE stop) {
  while (::MsgWaitForMultipleObjects(1, &stop, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
    PumpMessages(TQuitRule::qrIgnore);  // the service ends on its stop event alone
}

int RunConsole() {
  ::SetConsoleCtrlHandler(ConsoleHandler, TRUE);
  const UniqueWindow devices = MakeDeviceWindow();
  SearchService service(g_options, false, DeviceRecipient{devices.get(), DEVICE_NOTIFY_WINDOW_HANDLE});
  {
    Published published(service);
    if (!service.Start()) {
      std::fprintf(stderr, "RuvoService: cannot serve the request pipe\n");
      return 1;
    }
    std::printf("RuvoService: serving; Ctrl+C ends\n");
    std::fflush(stdout);
    WaitServingMessages(g_stopEvent);
  }
  if (!service.Stop()) EndWithThreadsRunning(false);
  return 0;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> args(argv + 1, argv + argc);
  const auto options = ParseServiceOptions(args);
  if (!options) {
    std::fprintf(stderr,
                 "usage: RuvoService.exe [/console] [/root <folder>]... [/cap <items>] [/update <program> <version>]\n");
    return 2;
  }
  g_options = *options;
  UniqueKernelHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  g_stopEvent = stop.get();
  if (g_options.console) return RunConsole();
  std::wstring name = W(kRuvoServiceName);
  SERVICE_TABLE_ENTRYW table[] = {{name.data(), ServiceMain}, {nullptr, nullptr}};
  return ::StartServiceCtrlDispatcherW(table) ? 0 : static_cast<int>(::GetLastError());
}
