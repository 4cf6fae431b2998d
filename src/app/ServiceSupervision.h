#pragma once
// Keeps the search service installed, automatic and running: directly for an administrator,
// otherwise through the elevated helper instance after asking the user.
#include <windows.h>

#include <functional>
#include <string>

inline constexpr wchar_t kRuvoServiceDisplayName[] = L"Ruvo Search Service";

// The service program: "RuvoService.exe" in this exe's folder.
std::wstring ServiceProgramPath();

struct TServiceIdentity {
  std::wstring name;
  std::wstring displayName;
  std::wstring program;  // full path, installed in double quotes
};
TServiceIdentity RuvoServiceIdentity();

// Installs the service when it is missing (and its program exists), sets it automatic with
// error control normal, and starts it unless it runs. A service still starting is waited
// for, at most its wait hint and 30 s in all, with pause(ms) for each pause. True when it runs
// afterwards; a service control error gives false.
bool InstallAndStartService(const TServiceIdentity& identity, const std::function<void(DWORD)>& pause);
bool InstallAndStartService(const std::function<void(DWORD)>& pause);

// The elevated helper instance's task (OnElevateProc). "/SvcInstall": installs and starts the
// search service beside this exe (0, or 1060 when it does not run afterwards; 31 when that
// program is missing or its path not absolute). Any other task: 31.
DWORD ElevatedTaskHandler(const std::wstring& parameters);

// The main form's service handler, with the system's answers behind virtual calls so the
// branch a user without administrator rights takes can be driven where every user is one.
class TServiceSupervision {
 public:
  // owner: the main form's window (owner and title of every box); close: closes the main
  // form; pump: processes the messages waiting on this thread.
  TServiceSupervision(HWND owner, std::function<void()> close, std::function<void()> pump);
  virtual ~TServiceSupervision() = default;

  // Makes the service run; successed tells whether it does. retryLater is called when the
  // answer is false but the program stays open (the service program is missing), so the
  // check goes on. Raises EOSError when the elevated instance cannot be started.
  void HookThreadServiceNotRun(bool& successed, const std::function<void()>& retryLater);

 protected:
  virtual bool IsAdministrator();
  virtual bool InstallAndStartService();
  virtual DWORD RunElevated(const std::wstring& parameters);
  virtual std::wstring ServiceProgram();

  HWND FOwner;
  std::function<void()> FPump;

 private:
  int Show(const wchar_t* text, UINT type);
  void PauseServing(DWORD ms);

  std::function<void()> FClose;
};
