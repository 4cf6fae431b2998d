#include "win/common/WideText.h"
#include "win/hook/TSysHookReceiver.h"

std::wstring HookErrorText(int code) {
  if (code >= 1) return SystemErrorMessage(static_cast<DWORD>(code));
  switch (code) {
    case 0: return L"No error.";
    case -1: return L"DLL doesn't export all required functions.";
    case -2: return L"Receiver already registered.";
    case -3: return L"Receiver not registered.";
    case -4: return L"Too many receivers.";
    case -5: return L"System hook already installed.";
    default: return L"Unknown error " + std::to_wstring(code);
  }
}
