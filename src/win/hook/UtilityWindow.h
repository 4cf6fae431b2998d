#pragma once
// Hidden message-only windows that hand every message to a target (a function and the object
// it acts on). Windows may be made on any thread; the class "QvrUtilWindow" is registered
// with the first live window and unregistered with the last.
#include <windows.h>

#include "win/hook/HookTypes.h"

struct TUtilityWindowTarget {
  using Method = void (*)(void* object, TMessage& message);
  Method method;
  void* object;
};

// Throws EHookWindowError when the class cannot be registered or the window not created.
HWND AllocateUtilityWindow(TUtilityWindowTarget target);
void DeallocateUtilityWindow(HWND window);

int LiveUtilityWindowCount();
