#pragma once
// The process a running service lives in, asked with the least rights any user has.
#include <windows.h>

#include <string>

// The id of the service's process while it runs (or starts or stops); 0 when it does not run,
// is not installed or cannot be asked about.
DWORD ServiceProcessId(const std::wstring& serviceName);
