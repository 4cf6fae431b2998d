#include "Registrations.h"

#include "ReceiverTable.h"
#include "core/HookResults.h"
#include "win/common/Handle.h"

namespace registrations {
namespace {

namespace table = receiver_table;

struct Registration {
  HWND receiver;  // null when the slot is not this process's
  DWORD threadId;  // owns the receiver window
  HHOOK hook;
  DWORD hookThreadId;  // registered, and so owns the hook
  DWORD token;
};

// Indexed by slot. Written under g_lock; the hook procedure reads receiver and threadId without it.
Registration g_own[table::kCapacity] = {};
SRWLOCK g_lock = SRWLOCK_INIT;

class Exclusive {
 public:
  Exclusive() { ::AcquireSRWLockExclusive(&g_lock); }
  ~Exclusive() { ::ReleaseSRWLockExclusive(&g_lock); }
  Exclusive(const Exclusive&) = delete;
  Exclusive& operator=(const Exclusive&) = delete;
};

void Set(int index, const Registration& value) {
  Registration& own = g_own[index];
  own.hook = value.hook;
  own.hookThreadId = value.hookThreadId;
  own.token = value.token;
  __atomic_store_n(&own.threadId, value.threadId, __ATOMIC_RELEASE);
  __atomic_store_n(&own.receiver, value.receiver, __ATOMIC_RELEASE);
}

bool ThreadAlive(DWORD threadId) {
  const UniqueKernelHandle thread(::OpenThread(SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE, threadId));
  if (!thread) return false;
  return ::WaitForSingleObject(thread.get(), 0) == WAIT_TIMEOUT &&
         ::GetProcessIdOfThread(thread.get()) == ::GetCurrentProcessId();
}

// Ends the registration in the slot: the mark goes first, so readers stop using the slot at
// once, then the hook, then the slot.
void End(int index, bool unhook) {
  const Registration own = g_own[index];
  Set(index, Registration{});
  table::Unmark(own.receiver, own.token);
  if (unhook) ::UnhookWindowsHookEx(own.hook);
  table::Free(index, own.token);
}

// Registrations whose window is gone (its thread ended, or destroyed it without the hook seeing
// it) or whose hook is gone with the thread that registered it.
void EndAbandoned() {
  for (int i = 0; i < table::kCapacity; ++i) {
    const Registration& own = g_own[i];
    if (!own.receiver) continue;
    const bool hooked = ThreadAlive(own.hookThreadId);
    if (hooked && ::GetWindowThreadProcessId(own.receiver, nullptr) == own.threadId) continue;
    End(i, hooked);
  }
}

}  // namespace

int Register(HWND receiver, DWORD hookedThread, HINSTANCE module, const HOOKPROC* procs) {
  Exclusive lock;
  EndAbandoned();
  unsigned ownSlots = 0;
  for (int i = 0; i < table::kCapacity; ++i) {
    if (!g_own[i].receiver) continue;
    if (g_own[i].receiver == receiver) return kHookAlreadyRegistered;
    ownSlots |= 1u << i;
  }
  // A claim lost to a concurrent registration is tried again with the slots left.
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD token = 0;
    const int index = table::Claim(receiver, ownSlots, token);
    if (index < 0) return kHookTooManyReceivers;
    HHOOK hook = ::SetWindowsHookExW(WH_CBT, procs[index], module, hookedThread);
    if (!hook) {
      const DWORD error = ::GetLastError();
      table::Unmark(receiver, token);
      table::Free(index, token);
      return static_cast<int>(error != 0 ? error : ERROR_HOOK_NOT_INSTALLED);
    }
    if (table::Promote(index, token)) {
      Set(index, Registration{receiver, ::GetWindowThreadProcessId(receiver, nullptr), hook, ::GetCurrentThreadId(), token});
      return 0;
    }
    ::UnhookWindowsHookEx(hook);
    table::Unmark(receiver, token);
  }
  return kHookTooManyReceivers;
}

bool Unregister(HWND receiver) {
  Exclusive lock;
  for (int i = 0; i < table::kCapacity; ++i) {
    if (g_own[i].receiver != receiver) continue;
    End(i, true);
    return true;
  }
  return false;
}

bool IsOwnReceiver(int index, HWND wnd) {
  const Registration& own = g_own[index];
  return wnd && __atomic_load_n(&own.receiver, __ATOMIC_ACQUIRE) == wnd &&
         __atomic_load_n(&own.threadId, __ATOMIC_ACQUIRE) == ::GetCurrentThreadId();
}

void Unregister(int index, HWND receiver) {
  Exclusive lock;
  if (g_own[index].receiver == receiver) End(index, true);
}

void UnregisterAll(bool processEnding) {
  if (processEnding) {
    for (int i = 0; i < table::kCapacity; ++i)
      if (g_own[i].receiver) table::Free(i, g_own[i].token);
    return;
  }
  Exclusive lock;
  for (int i = 0; i < table::kCapacity; ++i)
    if (g_own[i].receiver) End(i, true);
}

}  // namespace registrations
