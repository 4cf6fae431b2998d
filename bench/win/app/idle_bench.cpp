// Idle cost of RuvoSearch.exe: CPU time used over 10 s after start-up, and its working set.
// The hook thread's loop wakes every millisecond; this shows what that costs. Prints figures.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <string>

#include "win/common/Handle.h"
#include "win/common/WideText.h"

namespace {
double CpuMs(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return -1;
  auto ms = [](FILETIME f) { return ((static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 10000.0; };
  return ms(kernel) + ms(user);
}

HWND FindForm(DWORD pid) {
  for (HWND w = ::FindWindowW(L"TfrmRuvoSearch", nullptr); w; w = ::FindWindowExW(nullptr, w, L"TfrmRuvoSearch", nullptr)) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(w, &owner);
    if (owner == pid) return w;
  }
  return nullptr;
}
}  // namespace

int main() {
  const std::wstring exe = ExeDirectory() + L"RuvoSearch.exe";
  std::wstring cmd = L"\"" + exe + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("cannot start RuvoSearch.exe\n");
    return 1;
  }
  UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
  HWND form = nullptr;
  for (int i = 0; i < 300 && !(form = FindForm(pi.dwProcessId)); ++i) ::Sleep(50);
  ::Sleep(2000);  // let start-up settle
  PROCESS_MEMORY_COUNTERS mem{};
  mem.cb = sizeof(mem);
  ::GetProcessMemoryInfo(process.get(), &mem, sizeof(mem));
  const double cpu0 = CpuMs(process.get());
  const DWORD t0 = ::GetTickCount();
  ::Sleep(10000);
  const double cpu1 = CpuMs(process.get());
  const DWORD elapsed = ::GetTickCount() - t0;
  std::printf("idle CPU over %lu ms: %.1f ms (%.2f%% of one core)\n", elapsed, cpu1 - cpu0,
              100.0 * (cpu1 - cpu0) / elapsed);
  std::printf("working set after start-up: %.1f MiB (peak %.1f MiB)\n", mem.WorkingSetSize / 1048576.0,
              mem.PeakWorkingSetSize / 1048576.0);
  if (form) ::PostMessageW(form, WM_CLOSE, 10, 10);
  if (::WaitForSingleObject(process.get(), 15000) != WAIT_OBJECT_0) ::TerminateProcess(process.get(), 1);
  return 0;
}
