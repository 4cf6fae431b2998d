#include "core/HookResults.h"
#include "win/common/WideText.h"
#include "win/hook/TSysHookReceiver.h"

std::wstring HookErrorText(int code) {
  if (code >= 1) return SystemErrorMessage(static_cast<DWORD>(code));
  switch (code) {
    case 0: return L"No error.";
    case kHookMissingExports: return L"DLL doesn't export all required functions.";
    case kHookAlreadyRegistered: return L"Receiver already registered.";
    case kHookNotRegistered: return L"Receiver not registered.";
    case kHookTooManyReceivers: return L"Too many receivers.";
    case kHookAlreadyInstalled: return L"System hook already installed.";
    default: return L"Unknown error " + std::to_wstring(code);
  }
}
