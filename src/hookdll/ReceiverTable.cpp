#include "ReceiverTable.h"

#include <initializer_list>

#include "win/common/WindowValue.h"

namespace receiver_table {
namespace {

// The shared section: GCC marks ".shared" readable, writable and shared when a variable in it
// carries the `shared` attribute, so one copy serves every process that maps the library
// (checked under Wine). Shared variables must be initialised to land in the section.
__attribute__((section(".shared"), shared)) Slot g_slots[kCapacity] = {};

// The receiver window's mark. The editions keep separate tables, so each has its own mark.
#ifdef _WIN64
constexpr wchar_t kMarkName[] = L"RuvoSearch.HookReceiver64";
#else
constexpr wchar_t kMarkName[] = L"RuvoSearch.HookReceiver32";
#endif

// A token holds the slot's index in its low four bits and a set tag bit above them (so it is
// never 0, the value of a missing mark), and the sequence number it was made for above that.
constexpr DWORD kTokenTag = 0x10;
constexpr DWORD kTokenSlotBits = 0x1F;
static_assert(kCapacity <= 16, "the slot index fits in a token's low four bits");

DWORD MakeToken(LONG sequence, int index) {
  return (static_cast<DWORD>(sequence) << 5) | kTokenTag | static_cast<DWORD>(index);
}

LONG Advance(LONG sequence, ULONG by) { return static_cast<LONG>(static_cast<ULONG>(sequence) + by); }

// A writer holds a slot only for a handful of stores. A sequence that stays odd this long was
// left by a writer that died mid-write, or was written so on purpose.
constexpr DWORD kStuckMs = 50;

bool TryLock(Slot& slot, LONG seen, LONG held) {
  return ::InterlockedCompareExchange(&slot.sequence, held, seen) == seen;
}

// False when another writer took the slot while this one held it: what it wrote may be torn,
// and readers will not take it for a registration (its token and mark no longer agree).
bool Publish(Slot& slot, LONG held) {
  return ::InterlockedCompareExchange(&slot.sequence, Advance(held, 1), held) == held;
}

void Fill(Slot& slot, LONG state, DWORD receiver, DWORD processId, DWORD threadId, DWORD token) {
  slot.state = state;
  slot.receiver = receiver;
  slot.processId = processId;
  slot.threadId = threadId;
  slot.token = token;
}

// Takes the slot last seen at sequence `seen` (odd when a stuck writer is displaced) for the
// receiver window; its mark is set first, so the slot is sound from the moment it is published.
bool TryTake(int index, LONG seen, HWND receiver, DWORD& token) {
  Slot& slot = g_slots[index];
  const LONG held = Advance(seen, (seen & 1) ? 2 : 1);
  const DWORD candidate = MakeToken(Advance(held, 1), index);
  if (!::SetPropW(receiver, kMarkName, ULongToHandle(candidate))) return false;
  if (!TryLock(slot, seen, held)) return false;
  Fill(slot, kClaimed, WindowValue(receiver), ::GetCurrentProcessId(), ::GetWindowThreadProcessId(receiver, nullptr),
       candidate);
  if (!Publish(slot, held)) return false;
  token = candidate;
  return true;
}

// Rewrites the slot while it still holds this process's registration `token` in state `from`.
// Retries a few times when a concurrent writer is met; gives up on a slot held odd for good.
template <typename Write>
bool Rewrite(int index, DWORD token, LONG from, Write write) {
  Slot& slot = g_slots[index];
  for (int attempt = 0; attempt < 100; ++attempt) {
    Entry entry;
    if (!Read(index, entry)) {
      ::Sleep(0);
      continue;
    }
    if (entry.token != token || entry.processId != ::GetCurrentProcessId() || entry.state != from) return false;
    const LONG held = Advance(entry.sequence, 1);
    if (!TryLock(slot, entry.sequence, held)) continue;
    write(slot);
    return Publish(slot, held);
  }
  return false;
}

}  // namespace

bool Read(int index, Entry& entry) {
  const Slot& slot = g_slots[index];
  const LONG before = __atomic_load_n(&slot.sequence, __ATOMIC_ACQUIRE);
  if (before & 1) return false;
  entry.sequence = before;
  entry.state = slot.state;
  entry.receiver = slot.receiver;
  entry.processId = slot.processId;
  entry.threadId = slot.threadId;
  entry.token = slot.token;
  __atomic_thread_fence(__ATOMIC_ACQUIRE);
  return __atomic_load_n(&slot.sequence, __ATOMIC_RELAXED) == before;
}

bool Holds(int index, const Entry& entry) {
  if (entry.state != kClaimed && entry.state != kLive) return false;
  if ((entry.token & kTokenSlotBits) != (kTokenTag | static_cast<DWORD>(index))) return false;  // a copy
  const HWND receiver = WindowFromValue(entry.receiver);
  DWORD processId = 0;
  const DWORD threadId = ::GetWindowThreadProcessId(receiver, &processId);
  if (threadId == 0 || threadId != entry.threadId || processId != entry.processId) return false;
  return HandleToULong(::GetPropW(receiver, kMarkName)) == entry.token;
}

int Claim(HWND receiver, unsigned skip, DWORD& token) {
  LONG stuck[kCapacity] = {};
  bool anyStuck = false;
  for (int i = 0; i < kCapacity; ++i) {
    if (skip & (1u << i)) continue;
    Entry entry;
    if (!Read(i, entry)) {
      stuck[i] = __atomic_load_n(&g_slots[i].sequence, __ATOMIC_ACQUIRE);
      anyStuck = anyStuck || (stuck[i] & 1);
      continue;
    }
    if (!Holds(i, entry) && TryTake(i, entry.sequence, receiver, token)) return i;
  }
  if (anyStuck) {
    ::Sleep(kStuckMs);
    for (int i = 0; i < kCapacity; ++i)
      if ((stuck[i] & 1) && TryTake(i, stuck[i], receiver, token)) return i;
  }
  ::RemovePropW(receiver, kMarkName);
  return -1;
}

bool Promote(int index, DWORD token) {
  return Rewrite(index, token, kClaimed, [](Slot& slot) { slot.state = kLive; });
}

void Free(int index, DWORD token) {
  for (const LONG from : {kClaimed, kLive})
    if (Rewrite(index, token, from, [](Slot& slot) { Fill(slot, kFree, 0, 0, 0, 0); })) return;
}

void Unmark(HWND receiver, DWORD token) {
  if (HandleToULong(::GetPropW(receiver, kMarkName)) == token) ::RemovePropW(receiver, kMarkName);
}

}  // namespace receiver_table
