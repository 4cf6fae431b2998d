#pragma once
// The elevated helper instance: a second start of this exe, elevated through the "runas"
// verb, with the marker switch and a task text. It does its task before any window, the
// 64-bit refusal or the single-instance mutex, and reports only through its exit code.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

// Runs a task in the elevated instance; answers its exit code.
using TElevateProc = std::function<DWORD(const std::wstring& parameters)>;
// Set once at start-up, before HandleElevatedInvocation.
extern TElevateProc OnElevateProc;

// The caller's token is a member of the built-in Administrators group (a filtered token is
// not). Raises EOSError when the group's SID cannot be built.
bool IsAdministrator();
// The token of the calling thread (or else the process) is elevated; false on any failure.
bool IsElevated();

// Runs the task: in this process when it is elevated already, otherwise in a second instance
// started with "runas", waiting for it while pump keeps this thread's messages flowing.
// Raises EOSError when the instance cannot be started (1223 when the user refuses).
DWORD RunElevated(const std::wstring& parameters, HWND owner, const std::function<void()>& pump);
// The second-instance half of RunElevated, for the given exe.
DWORD RunElevatedProcess(const std::wstring& exe, const std::wstring& parameters, HWND owner,
                         const std::function<void()>& pump);

// This process's arguments (the exe's own name not included).
std::vector<std::u16string> CommandLineArguments();
// The arguments other than the marker, as the task text.
std::wstring GetElevatedArguments();
// The exit code the helper instance ends with for these arguments, or nothing when they do
// not carry the marker. isElevated and the task are asked only when the marker is there.
std::optional<DWORD> ElevatedInvocationCode(const std::vector<std::u16string>& arguments,
                                            const std::function<bool()>& isElevated, const TElevateProc& task);
// With the marker on the command line, runs the task and ends the process at once with its
// code; otherwise returns and the program starts normally.
void HandleElevatedInvocation();
