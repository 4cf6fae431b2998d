#include "app/Elevation.h"

#include <shellapi.h>

#include "core/ElevatedArguments.h"
#include "win/common/Errors.h"
#include "win/common/Handle.h"
#include "win/common/WideText.h"

TElevateProc OnElevateProc;

namespace {
// An exit code of STILL_ACTIVE cannot be told from a process still running.
constexpr DWORD kStillActive = 259;
}  // namespace

bool IsAdministrator() {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  UniqueSid admins;
  if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  admins.put()))
    RaiseLastOSError();
  BOOL member = FALSE;
  return ::CheckTokenMembership(nullptr, admins.get(), &member) && member;
}

bool IsElevated() {
  OSVERSIONINFOEXW before6{};
  before6.dwOSVersionInfoSize = sizeof(before6);
  before6.dwMajorVersion = 6;
  if (!::VerifyVersionInfoW(&before6, VER_MAJORVERSION, ::VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL)))
    return IsAdministrator();
  UniqueKernelHandle token;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) {
    if (::GetLastError() != ERROR_NO_TOKEN || !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()))
      return false;
  }
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  return ::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size) &&
         elevation.TokenIsElevated != 0;
}

DWORD RunElevatedProcess(const std::wstring& exe, const std::wstring& parameters, HWND owner,
                         const std::function<void()>& pump) {
  const std::wstring arguments = L"/" + W(kElevationMarker) + L" " + parameters;
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_UNICODE;
  info.hwnd = owner;
  info.lpVerb = L"runas";
  info.lpFile = exe.c_str();
  info.lpParameters = arguments.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!::ShellExecuteExW(&info)) RaiseLastOSError();
  UniqueKernelHandle process(info.hProcess);
  if (!process) return ERROR_GEN_FAILURE;  // started through DDE or the like: no process to wait on
  // Asleep until the instance ends or a message arrives; the consent prompt may stay up long.
  for (;;) {
    pump();
    const DWORD r = ::MsgWaitForMultipleObjectsEx(1, &info.hProcess, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) break;
  }
  pump();
  DWORD code = ERROR_GEN_FAILURE;
  if (!::GetExitCodeProcess(process.get(), &code)) code = ERROR_GEN_FAILURE;
  return code;
}

DWORD RunElevated(const std::wstring& parameters, HWND owner, const std::function<void()>& pump) {
  if (!OnElevateProc) throw std::logic_error("OnElevateProc must be assigned before calling RunElevated");
  if (IsElevated()) return OnElevateProc(parameters);
  return RunElevatedProcess(ExePath(), parameters, owner, pump);
}

std::vector<std::u16string> CommandLineArguments() {
  int count = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  const UniqueLocalMemory release(argv);
  std::vector<std::u16string> arguments;
  for (int i = 1; argv && i < count; ++i) arguments.push_back(U(argv[i]));
  return arguments;
}

std::wstring GetElevatedArguments() { return W(JoinElevatedArguments(CommandLineArguments())); }

std::optional<DWORD> ElevatedInvocationCode(const std::vector<std::u16string>& arguments,
                                            const std::function<bool()>& isElevated, const TElevateProc& task) {
  if (!HasElevationMarker(arguments)) return std::nullopt;
  DWORD code = ERROR_GEN_FAILURE;
  try {
    if (!isElevated())
      code = ERROR_ACCESS_DENIED;
    else if (!task)
      code = ERROR_PROC_NOT_FOUND;
    else
      code = task(W(JoinElevatedArguments(arguments)));
  } catch (const EAbort&) {
    code = ERROR_CANCELLED;
  } catch (const EOleSysError& e) {
    code = static_cast<DWORD>(e.ErrorCode());
  } catch (...) {
    code = ERROR_GEN_FAILURE;
  }
  return code == kStillActive ? ERROR_GEN_FAILURE : code;
}

void HandleElevatedInvocation() {
  const auto code = ElevatedInvocationCode(CommandLineArguments(), IsElevated, OnElevateProc);
  if (code) ::TerminateProcess(::GetCurrentProcess(), *code);
}
