#pragma once
// The receivers registered with the library, in a table shared by every process the library
// is loaded into (the hook procedure runs inside the hooked processes and reads it there).
//
// Each receiver owns one WH_CBT hook, installed by the thread that registered it, with a hook
// procedure of its own slot. So a receiver's events never depend on another receiver's process
// staying alive: Windows removes a hook together with its thread, and a killed receiver process
// takes exactly its own hooks with it. (Wine keeps them; see CbtProc for the repeats that gives.)
//
// Every process the hook is injected into has the table mapped writable, so nothing in it is
// trusted. A slot is used only when it holds a sound registration: its window is still a window
// of the thread and process it names, and the window carries the library's mark with the slot's
// token, which names this slot. Marking a window means changing it, which the system allows only
// to processes that may also post to it directly (the same or a higher integrity level). So a
// forged or copied slot can make hooked processes post only to a registered receiver's window,
// once per slot, and never lend a less trusted hooked process the posting rights of the others.
// Slots that hold no sound registration are free for the next registration, so forged slots
// cannot fill the table for good either.
//
// The table is lock-free: each slot carries a sequence number, odd while a writer holds it, and
// readers take a consistent copy (seqlock), so a slot changed or torn while it is read is never
// used, no process can stall another by dying while it holds a lock, and the hook procedure
// never waits.
#include <windows.h>

namespace receiver_table {

constexpr int kCapacity = 16;

enum State : LONG {
  kFree = 0,
  kClaimed = 1,  // being registered: its hook is being installed; no events yet
  kLive = 2,     // events are delivered
};

// Fixed-size fields only, so the tables of both editions have one layout.
struct Slot {
  volatile LONG sequence;    // even when stable, odd while a writer holds the slot
  volatile LONG state;       // State
  volatile DWORD receiver;   // HWND, 32-bit
  volatile DWORD processId;  // of the registering process
  volatile DWORD threadId;   // of the thread that owns the receiver window
  volatile DWORD token;      // the mark's value on the receiver window; names the slot
  DWORD reserved[2];
};
static_assert(sizeof(Slot) == 32, "the shared layout is the same in both editions");

// A consistent copy of a slot.
struct Entry {
  LONG sequence;
  LONG state;
  DWORD receiver;
  DWORD processId;
  DWORD threadId;
  DWORD token;
};

// A consistent copy of the slot; false while it is being written or when it changed under the
// read (a torn slot).
bool Read(int index, Entry& entry);
// True when the copy is a sound registration of this slot (claimed or live); see above.
bool Holds(int index, const Entry& entry);
// Claims a slot for a receiver window this process owns: a free one,
// or one that holds no sound registration. Slots whose bit is set in `skip` are passed over.
// Marks the window and answers the slot's index and token (state kClaimed); -1 when every slot
// is held.
int Claim(HWND receiver, unsigned skip, DWORD& token);
// Moves this process's claimed registration `token` to kLive; false when the slot no longer
// holds it.
bool Promote(int index, DWORD token);
// Frees the slot when it still holds this process's registration `token`.
void Free(int index, DWORD token);
// Removes the registration mark from this process's window when it still carries `token`.
void Unmark(HWND receiver, DWORD token);

}  // namespace receiver_table
