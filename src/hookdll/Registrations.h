#pragma once
// This process's registrations: the hook and the receiver window of each slot it holds. They
// live in the process's own memory, so which hooks it removes and which windows it unmarks is
// decided by what it did itself, never by the shared table, which any hooked process can write.
#include <windows.h>

namespace registrations {

// Registers a receiver window of this process; its hook belongs to the calling thread and
// watches `hookedThread` (0: every thread). 0, kHookAlreadyRegistered, kHookTooManyReceivers, or a Windows error code.
int Register(HWND receiver, DWORD hookedThread, HINSTANCE module, const HOOKPROC* procs);
// Ends this process's registration of the window; false when it has none.
bool Unregister(HWND receiver);
// True when `wnd` is this thread's receiver window registered in the slot. Safe on any thread, lock-free.
bool IsOwnReceiver(int index, HWND wnd);
// Ends the slot's registration if it still belongs to the window.
void Unregister(int index, HWND receiver);
// Ends every registration of this process. A process that is ending has lost its other threads
// (perhaps inside a registration) and its hooks go with it: only its slots are freed then.
void UnregisterAll(bool processEnding);

}  // namespace registrations
