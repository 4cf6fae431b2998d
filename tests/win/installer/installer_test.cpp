// The edition's installer, run silently in a prefix of its own as a distributor ships it
// (renamed for channel 1024): what it puts in place, a second install over the first, and what
// the uninstaller leaves. The steps build on one another and run in order.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "TestProcess.h"
#include "win/common/Handle.h"
#include "win/common/WideText.h"

using namespace testing_support;

namespace {

constexpr wchar_t kService[] = L"RuvoSearchService";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ruvoso";
constexpr wchar_t kParameters[] = L"SYSTEM\\CurrentControlSet\\Services\\RuvoSearchService\\Parameters";
constexpr DWORD kChannel = 1024;

std::wstring InstallDir() {
  wchar_t programs[MAX_PATH] = L"";
  ::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programs);
  return std::wstring(programs) + L"\\Ruvoso\\";
}

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring RegText(HKEY root, const wchar_t* key, const wchar_t* name) {
  wchar_t buf[1024] = L"";
  DWORD size = sizeof(buf);
  if (::RegGetValueW(root, key, name, RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS) return L"<none>";
  return buf;
}

long long RegNumber(HKEY root, const wchar_t* key, const wchar_t* name) {
  DWORD value = 0, size = sizeof(value);
  if (::RegGetValueW(root, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS) return -1;
  return value;
}

struct ServiceFacts {
  bool installed = false;
  DWORD state = 0;
  DWORD startType = 0;
  DWORD errorControl = 0;
  std::wstring binaryPath;
};

ServiceFacts Service() {
  ServiceFacts facts;
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return facts;
  UniqueScHandle service(::OpenServiceW(manager.get(), kService, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG));
  if (!service) return facts;
  facts.installed = true;
  SERVICE_STATUS status{};
  if (::QueryServiceStatus(service.get(), &status)) facts.state = status.dwCurrentState;
  DWORD needed = 0;
  ::QueryServiceConfigW(service.get(), nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed ? needed : 1);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (needed && ::QueryServiceConfigW(service.get(), config, needed, &needed)) {
    facts.startType = config->dwStartType;
    facts.errorControl = config->dwErrorControl;
    facts.binaryPath = config->lpBinaryPathName ? config->lpBinaryPathName : L"";
  }
  return facts;
}

// The image of the process that owns the program's main form, or empty without one.
std::wstring ProgramImage() {
  HWND form = ::FindWindowW(L"TfrmRuvoSearch", nullptr);
  if (!form) return L"";
  DWORD pid = 0;
  ::GetWindowThreadProcessId(form, &pid);
  UniqueKernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  wchar_t image[MAX_PATH] = L"";
  DWORD size = MAX_PATH;
  if (!process || !::QueryFullProcessImageNameW(process.get(), 0, image, &size)) return L"?";
  return image;
}

// Runs the installer under a distributor's name and waits for it.
long RunInstaller() {
  const std::wstring shipped = ExeDirectory() + L"..\\installer\\" RUVO_INSTALLER_NAME;
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring renamed = std::wstring(temp) + L"RuvoSearch_Setup_" + std::to_wstring(kChannel) + L".exe";
  if (!::CopyFileW(shipped.c_str(), renamed.c_str(), FALSE)) return -2;
  ChildProcess setup(renamed, L"/S");
  if (!setup.Valid()) return -3;
  return setup.Wait(180000);
}

void ExpectInstalled() {
  const std::wstring dir = InstallDir();
  for (const wchar_t* file : {L"RuvoSearch.exe", L"RuvoSearch.dll", L"RuvoService.exe", L"uninst.exe"})
    EXPECT_TRUE(FileExists(dir + file)) << file;

  const ServiceFacts service = Service();
  ASSERT_TRUE(service.installed);
  EXPECT_EQ(service.startType, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(service.errorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
  EXPECT_EQ(service.binaryPath, L"\"" + dir + L"RuvoService.exe\"");
  EXPECT_TRUE(WaitUntil([] { return Service().state == SERVICE_RUNNING; }, 20000)) << Service().state;

  EXPECT_TRUE(WaitUntil([] { return !ProgramImage().empty(); }, 20000));
  EXPECT_EQ(ProgramImage(), dir + L"RuvoSearch.exe");
  EXPECT_TRUE(WaitUntil([] { return RegNumber(HKEY_LOCAL_MACHINE, kParameters, L"Channel") == kChannel; }, 20000))
      << RegNumber(HKEY_LOCAL_MACHINE, kParameters, L"Channel");

  EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kRunKey, L"Ruvoso"), L"\"" + dir + L"RuvoSearch.exe\"");
  EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName"), L"Ruvoso");
  EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString"), L"\"" + dir + L"uninst.exe\" /S");
}

// What a folder holds that is not on the list of files the system deletes at the next start.
std::vector<std::wstring> LeftInFolder(const std::wstring& dir) {
  std::vector<std::wstring> left;
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((dir + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return left;
  std::vector<wchar_t> pending(1 << 16, L'\0');
  DWORD size = static_cast<DWORD>(pending.size() * sizeof(wchar_t));
  ::RegGetValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                 L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr, pending.data(), &size);
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    bool scheduled = false;
    for (const wchar_t* p = pending.data(); *p; p += wcslen(p) + 1)
      if (std::wstring(p).size() >= name.size() && lstrcmpiW(p + wcslen(p) - name.size(), name.c_str()) == 0)
        scheduled = true;
    if (!scheduled) left.push_back(name);
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return left;
}

TEST(Installer, InstallsSilently) {
  ASSERT_EQ(RunInstaller(), 0);
  ExpectInstalled();
}

TEST(Installer, InstallsAgainOverTheFirst) {
  ASSERT_EQ(RunInstaller(), 0);
  ExpectInstalled();
}

TEST(Installer, UninstallsSilently) {
  const std::wstring dir = InstallDir();
  ChildProcess uninstall(dir + L"uninst.exe", L"/S");
  ASSERT_TRUE(uninstall.Valid());
  // The uninstaller runs on from a copy of itself, so its own end says nothing: wait for the
  // result.
  EXPECT_TRUE(WaitUntil([] { return !Service().installed; }, 60000));
  EXPECT_TRUE(WaitUntil([] { return ProgramImage().empty(); }, 20000));
  EXPECT_TRUE(WaitUntil([&] { return LeftInFolder(dir).empty(); }, 30000));
  EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kRunKey, L"Ruvoso"), L"<none>");
  EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName"), L"<none>");
  EXPECT_EQ(RegNumber(HKEY_LOCAL_MACHINE, kParameters, L"Channel"), -1);
}

}  // namespace
