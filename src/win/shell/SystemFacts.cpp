// Shell folders, volumes, processes, run requests and OS facts.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include "core/TextUtils.h"
#include "win/common/ErrorModeScope.h"
#include "win/common/Handle.h"
#include "win/common/WideText.h"
#include "win/shell/ShellUtils.h"

namespace {

// Calls visit on the snapshot entry of processId; false when there is none.
template <class Visit>
bool WithProcessEntry(DWORD processId, Visit visit) {
  const UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL ok = ::Process32FirstW(snapshot.get(), &entry); ok;
       ok = ::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == processId) {
      visit(entry);
      return true;
    }
  }
  return false;
}

WORD ReadNativeArchitecture() {
  SYSTEM_INFO info{};
  using GetNativeSystemInfoFn = void(WINAPI*)(SYSTEM_INFO*);
  const auto native = reinterpret_cast<GetNativeSystemInfoFn>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetNativeSystemInfo"));
  if (native)
    native(&info);
  else
    ::GetSystemInfo(&info);
  return info.wProcessorArchitecture;
}

}  // namespace

bool RunProgram(const std::wstring& path) {
  const HINSTANCE result =
      ::ShellExecuteW(nullptr, nullptr, path.c_str(), nullptr, nullptr, SW_SHOW);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

std::wstring GetSpecialFolderDisplayName(int csidl) {
  LPITEMIDLIST pidl = nullptr;
  if (FAILED(::SHGetSpecialFolderLocation(nullptr, csidl, &pidl)) || !pidl) return {};
  const UniqueCoTaskMemory owner(pidl);  // the shell's allocator
  SHFILEINFOW info{};
  const bool ok = ::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(pidl), 0, &info, sizeof info,
                                   SHGFI_PIDL | SHGFI_DISPLAYNAME) != 0;
  return ok ? std::wstring(info.szDisplayName) : std::wstring();
}

bool IsSpecialFolderName(const std::wstring& name) {
  // A folder whose name the system cannot give (Computers Near Me is gone since Windows
  // Vista) must not match a location whose name is not known yet.
  if (name.empty()) return false;
  for (const int csidl : {CSIDL_CONTROLS, CSIDL_PRINTERS, CSIDL_BITBUCKET, CSIDL_NETWORK,
                          CSIDL_CONNECTIONS, CSIDL_COMPUTERSNEARME}) {
    if (SameIgnoringAsciiCase(U(name), U(GetSpecialFolderDisplayName(csidl)))) return true;
  }
  return false;
}

bool IsNTFSVolume(const std::wstring& drive) {
  std::wstring root = drive;
  if (root.empty() || root.back() != L'\\') root += L'\\';
  const ErrorModeScope quiet(SEM_FAILCRITICALERRORS);
  wchar_t fileSystem[MAX_PATH + 1] = {};
  if (!::GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, fileSystem,
                               MAX_PATH + 1))
    return false;
  return SameIgnoringAsciiCase(U(fileSystem), u"NTFS");
}

DWORD GetParentProcessID(DWORD processId) {
  DWORD parent = 0;
  WithProcessEntry(processId, [&](const PROCESSENTRY32W& e) { parent = e.th32ParentProcessID; });
  return parent;
}

std::wstring GetProcessExeName(DWORD processId) {
  std::wstring name;
  WithProcessEntry(processId, [&](const PROCESSENTRY32W& e) { name = e.szExeFile; });
  return name;
}

bool Is64Bit() {
  static const WORD architecture = ReadNativeArchitecture();
  return architecture == PROCESSOR_ARCHITECTURE_AMD64 ||
         architecture == PROCESSOR_ARCHITECTURE_IA64;
}

bool IsReallyWindows8OrGreater() {
  using VerSetConditionMaskFn = ULONGLONG(WINAPI*)(ULONGLONG, DWORD, BYTE);
  using VerifyVersionInfoWFn = BOOL(WINAPI*)(OSVERSIONINFOEXW*, DWORD, DWORDLONG);
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  static const auto setMask =
      reinterpret_cast<VerSetConditionMaskFn>(::GetProcAddress(kernel32, "VerSetConditionMask"));
  static const auto verify =
      reinterpret_cast<VerifyVersionInfoWFn>(::GetProcAddress(kernel32, "VerifyVersionInfoW"));
  if (!setMask || !verify) return false;
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  info.dwMajorVersion = 6;
  info.dwMinorVersion = 2;
  ULONGLONG mask = 0;
  mask = setMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = setMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  mask = setMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  mask = setMask(mask, VER_SERVICEPACKMINOR, VER_GREATER_EQUAL);
  return verify(&info,
                VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR | VER_SERVICEPACKMINOR,
                mask) != FALSE;
}
