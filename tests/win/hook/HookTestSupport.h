#pragma once
// Helpers of the hook tests: closing a second process's message box (and the shared waits
// and child processes).
#include <windows.h>

#include <string>

#include "TestProcess.h"

using testing_support::ChildProcess;
using testing_support::PumpFor;
using testing_support::WaitUntil;

// Closes the first window of the process titled `caption` (a message box) with IDOK and returns
// its text; "(no box)" when none appeared within timeoutMs. Safe to call from any thread.
std::wstring CloseMessageBox(const std::wstring& caption, DWORD processId, DWORD timeoutMs);
