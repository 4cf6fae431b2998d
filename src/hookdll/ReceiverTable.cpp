#include "ReceiverTable.h"

#include "win/common/WindowValue.h"

namespace receiver_table {
namespace {

// The shared section: GCC marks ".shared" readable, writable and shared when a variable in it
// carries the `shared` attribute, so one copy serves every process that maps the library
// (checked under Wine). Shared variables must be initialised to land in the section.
__attribute__((section(".shared"), shared)) Slot g_slots[kCapacity] = {};

bool ThreadEnded(DWORD threadId, DWORD processId) {
  HANDLE thread = ::OpenThread(SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE, threadId);
  if (!thread) return ::GetLastError() == ERROR_INVALID_PARAMETER;  // no such thread
  const bool ended = ::WaitForSingleObject(thread, 0) == WAIT_OBJECT_0 || ::GetProcessIdOfThread(thread) != processId;
  ::CloseHandle(thread);
  return ended;
}

// Takes a live or dropped slot for emptying; false when someone else has it.
bool TakeForRelease(Slot& slot) {
  LONG seen = slot.state;
  if (seen != kLive && seen != kDropped) return false;
  return ::InterlockedCompareExchange(&slot.state, kBusy, seen) == seen;
}

void Clear(Slot& slot) {
  slot.receiver = slot.processId = slot.threadId = slot.hook = 0;
  ::InterlockedExchange(&slot.state, kFree);
}

}  // namespace

Slot& At(int index) { return g_slots[index]; }

void ReclaimAbandoned() {
  const DWORD self = ::GetCurrentProcessId();
  const DWORD thread = ::GetCurrentThreadId();
  for (int i = 0; i < kCapacity; ++i) {
    Slot& slot = g_slots[i];
    const LONG state = slot.state;
    if (state != kLive && state != kDropped) continue;
    if (slot.processId == self && slot.threadId == thread) {
      if (!::IsWindow(WindowFromValue(slot.receiver))) Release(i);
    } else if (ThreadEnded(slot.threadId, slot.processId) && TakeForRelease(slot)) {
      Clear(slot);  // its hook went with its thread, in this process or another
    }
  }
}

bool IsRegistered(HWND receiver) {
  const DWORD wnd = WindowValue(receiver);
  for (const Slot& slot : g_slots) {
    const LONG state = slot.state;
    if ((state == kLive || state == kBusy) && slot.receiver == wnd) return true;
  }
  return false;
}

int Claim() {
  for (int i = 0; i < kCapacity; ++i)
    if (::InterlockedCompareExchange(&g_slots[i].state, kBusy, kFree) == kFree) return i;
  return -1;
}

void Abandon(int index) { Clear(g_slots[index]); }

void Release(int index) {
  Slot& slot = g_slots[index];
  if (!TakeForRelease(slot)) return;
  if (slot.processId == ::GetCurrentProcessId() && slot.hook)
    ::UnhookWindowsHookEx(HookFromValue(slot.hook));
  Clear(slot);
}

int FindOwn(HWND receiver) {
  const DWORD wnd = WindowValue(receiver);
  const DWORD self = ::GetCurrentProcessId();
  for (int i = 0; i < kCapacity; ++i) {
    const Slot& slot = g_slots[i];
    const LONG state = slot.state;
    if ((state == kLive || state == kDropped) && slot.receiver == wnd && slot.processId == self) return i;
  }
  return -1;
}

void ReleaseProcess(bool processEnding) {
  const DWORD self = ::GetCurrentProcessId();
  for (int i = 0; i < kCapacity; ++i) {
    Slot& slot = g_slots[i];
    if (slot.processId != self) continue;
    if (processEnding) {
      if (TakeForRelease(slot)) Clear(slot);  // the system removes the hooks with the process
    } else {
      Release(i);
    }
  }
}

}  // namespace receiver_table
