#include "HookTestSupport.h"

#include <algorithm>

#include "win/common/WideText.h"

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    if (done()) return true;
    const DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= timeoutMs) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(20, timeoutMs - elapsed), QS_ALLINPUT);
  }
}

void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

ChildProcess::ChildProcess(const std::wstring& program, const std::wstring& arguments) {
  SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &sa, 1 << 16)) return;
  readEnd_.reset(readEnd);
  UniqueKernelHandle write(writeEnd);
  ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::wstring line = L"\"" + ExeDirectory() + program + L"\" " + arguments;
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return;
  ::CloseHandle(pi.hThread);
  process_.reset(pi.hProcess);
}

ChildProcess::~ChildProcess() { Kill(); }

bool ChildProcess::WaitPumping(DWORD timeoutMs) {
  if (!process_) return false;
  HANDLE process = process_.get();
  return PumpUntil([process] { return ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }, timeoutMs);
}

void ChildProcess::Kill() {
  if (process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    ::TerminateProcess(process_.get(), 9);
    ::WaitForSingleObject(process_.get(), 5000);
  }
}

DWORD ChildProcess::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (process_) ::GetExitCodeProcess(process_.get(), &code);
  return code;
}

std::string ChildProcess::Output() {
  DWORD available = 0;
  while (readEnd_ && ::PeekNamedPipe(readEnd_.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
    char buffer[4096];
    DWORD read = 0;
    if (!::ReadFile(readEnd_.get(), buffer, std::min<DWORD>(available, sizeof(buffer)), &read, nullptr) || read == 0)
      break;
    output_.append(buffer, read);
  }
  return output_;
}

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
