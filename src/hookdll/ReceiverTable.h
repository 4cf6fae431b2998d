#pragma once
// The receivers registered with the library, in a table shared by every process the library
// is loaded into (the hook procedure runs inside the hooked processes and reads it there).
//
// Each receiver owns one WH_CBT hook, installed by the thread that registered it, with a hook
// procedure of its own slot. So a receiver's events never depend on another receiver's process
// staying alive: the system removes a hook together with its thread, and a killed receiver
// process takes exactly its own hooks with it.
//
// The table is lock-free: a slot's state moves by interlocked exchange, so no process can stall
// another by dying while it holds a lock, and the hook procedure never waits.
#include <windows.h>

namespace receiver_table {

constexpr int kCapacity = 16;

enum State : LONG {
  kFree = 0,
  kBusy = 1,     // being filled or emptied by its owner; the hook skips it
  kLive = 2,     // events are delivered
  kDropped = 3,  // its window is gone; kept until its hook is removed
};

struct Slot {
  volatile LONG state;
  DWORD receiver;   // HWND, 32-bit
  DWORD processId;  // of the registering process
  DWORD threadId;   // of the registering thread, which owns the hook
  DWORD hook;       // HHOOK
};

Slot& At(int index);

// Frees slots whose owning thread is gone (an ended thread, or a killed or ended process),
// and this thread's own slots whose window is gone.
void ReclaimAbandoned();
// True when a registration for this window is live or being made.
bool IsRegistered(HWND receiver);
// Claims a free slot (state kBusy); -1 when the table is full.
int Claim();
// Empties a claimed slot without touching a hook.
void Abandon(int index);
// Removes the slot's hook (when this process owns it) and frees the slot.
void Release(int index);
// The slot of this process's registration of the window; -1 when there is none.
int FindOwn(HWND receiver);
// Frees every slot of this process; the hooks are removed unless the process is ending.
void ReleaseProcess(bool processEnding);

}  // namespace receiver_table
