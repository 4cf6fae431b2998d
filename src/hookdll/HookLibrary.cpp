// RuvoSearch.dll: forwards system-wide CBT hook events to registered receiver windows as
// WM_USER + HCBT_* messages.
//
// Delivery is by PostMessage: it never waits for the receiver, so a hung or busy receiver
// cannot slow down the hooked process, and messages posted to one window keep their order.
// Window handles travel as their 32-bit values; for HCBT_DESTROYWND the window is gone by the
// time the receiver reads the message, so the handle serves as the identity the receiver knew
// the window by.
//
// The filtering flag limits a registration to the thread that owns the hooked window (the hook
// is installed for that thread only); without it the hook is global and the hooked window is
// only carried for the receiver.
#include <windows.h>

#include <array>
#include <utility>

#include "ReceiverTable.h"
#include "Registrations.h"
#include "core/HookKinds.h"
#include "core/HookResults.h"
#include "win/common/WindowValue.h"
#include "win/hook/CBTHookMessages.h"

namespace {

namespace table = receiver_table;

HINSTANCE g_module = nullptr;  // per process
DWORD g_lastError = 0;         // per process: the Windows error of the last failed call

UINT_PTR AsValue(HWND wnd) { return reinterpret_cast<UINT_PTR>(wnd); }

// The message parameters of one event; pointers in the hook's lParam mean nothing in the
// receiver's process, so what they point at is sent instead.
void Translate(int code, WPARAM wParam, LPARAM lParam, WPARAM& outW, LPARAM& outL) {
  outW = 0;
  outL = 0;
  switch (code) {
    case HCBT_MOVESIZE:
    case HCBT_CREATEWND:
    case HCBT_DESTROYWND: outW = wParam; break;
    case HCBT_MINMAX:
      outW = wParam;
      outL = LOWORD(lParam);
      break;
    case HCBT_ACTIVATE: {
      outW = wParam;
      const auto* activate = reinterpret_cast<const CBTACTIVATESTRUCT*>(lParam);
      if (activate) outL = static_cast<LPARAM>(AsValue(activate->hWndActive));
      break;
    }
    case HCBT_CLICKSKIPPED: {
      outW = wParam;
      const auto* mouse = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam);
      if (mouse) outL = static_cast<LPARAM>(AsValue(mouse->hwnd));
      break;
    }
    case HCBT_KEYSKIPPED:
    case HCBT_SETFOCUS:
      outW = wParam;
      outL = lParam;
      break;
    case HCBT_SYSCOMMAND: outW = wParam; break;
    default: break;  // HCBT_QS carries nothing
  }
}

// Forwards one event to the slot's receiver, from one consistent copy of the slot and only
// while that copy is a sound registration: a slot released, rewritten or forged meanwhile is
// passed over, never read half old and half new.
void Forward(int index, int code, WPARAM wParam, LPARAM lParam) {
  if (code > HCBT_SETFOCUS) return;
  table::Entry entry;
  if (!table::Read(index, entry) || entry.state != table::kLive || !table::Holds(index, entry)) return;
  WPARAM outW;
  LPARAM outL;
  Translate(code, wParam, lParam, outW, outL);
  ::PostMessageW(WindowFromValue(entry.receiver), CBTHookMessage(code), outW, outL);
}

// A hook procedure running on this thread, for the nested calls to see. A slot's procedure can
// belong to more than one hook: a registration whose slot was taken over (its window went
// unseen, or its slot was overwritten) keeps its hook until its process removes it, and Wine
// keeps a dead thread's global hooks. Each such hook runs inside the one before it in the chain,
// for the same event, and only the outermost forwards it.
struct Frame {
  int index;
  int code;
  WPARAM wParam;
  LPARAM lParam;
  const Frame* outer;
};
DWORD g_frames = TLS_OUT_OF_INDEXES;  // per process; a thread's innermost Frame

const Frame* Innermost() {
  return g_frames == TLS_OUT_OF_INDEXES ? nullptr : static_cast<const Frame*>(::TlsGetValue(g_frames));
}

bool Forwarding(const Frame& event) {
  for (const Frame* f = event.outer; f; f = f->outer)
    if (f->index == event.index && f->code == event.code && f->wParam == event.wParam && f->lParam == event.lParam)
      return true;
  return false;
}

void Enter(const Frame* frame) {
  if (g_frames != TLS_OUT_OF_INDEXES) ::TlsSetValue(g_frames, const_cast<Frame*>(frame));
}

// The receiver window's own destruction ends its registration once the chain has run; it is
// not forwarded to the receiver itself. The hooked thread's last error is left as it was.
template <int Index>
LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam) {
  const DWORD lastError = ::GetLastError();
  const Frame frame{Index, code, wParam, lParam, Innermost()};
  const HWND wnd = reinterpret_cast<HWND>(wParam);
  const bool release = code == HCBT_DESTROYWND && registrations::IsOwnReceiver(Index, wnd);
  if (code >= 0 && !release && !Forwarding(frame)) Forward(Index, code, wParam, lParam);
  Enter(&frame);
  ::SetLastError(lastError);
  const LRESULT result = ::CallNextHookEx(nullptr, code, wParam, lParam);
  Enter(frame.outer);
  if (release) registrations::Unregister(Index, wnd);
  return result;
}

template <int... I>
constexpr auto MakeProcs(std::integer_sequence<int, I...>) {
  return std::array<HOOKPROC, sizeof...(I)>{&CbtProc<I>...};
}
constexpr auto kProcs = MakeProcs(std::make_integer_sequence<int, table::kCapacity>{});

int Fail(DWORD error) {
  g_lastError = error;
  return static_cast<int>(error);
}

int Refuse(int code) {
  g_lastError = 0;
  return code;
}

}  // namespace

extern "C" {

// Registers a receiver window of the calling process; its hook belongs to the calling thread.
// 0, kHookAlreadyRegistered, kHookTooManyReceivers (table full), or a Windows error code
// (unsupported kind, invalid window, a window of another process, a bad flag, a failed hook
// installation).
__declspec(dllexport) int WINAPI AttachReceiver(int hookKind, HWND receiver, int filtering, HWND hookedWnd) {
  if (hookKind != kCBTHookKind) return Fail(ERROR_NOT_SUPPORTED);
  if (filtering != 0 && filtering != 1) return Fail(ERROR_INVALID_PARAMETER);
  if (!::IsWindow(receiver)) return Fail(ERROR_INVALID_WINDOW_HANDLE);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(receiver, &owner);
  if (owner != ::GetCurrentProcessId()) return Fail(ERROR_ACCESS_DENIED);
  DWORD hookedThread = 0;
  if (filtering) {
    hookedThread = ::IsWindow(hookedWnd) ? ::GetWindowThreadProcessId(hookedWnd, nullptr) : 0;
    if (!hookedThread) return Fail(ERROR_INVALID_WINDOW_HANDLE);
  }
  const int result = registrations::Register(receiver, hookedThread, g_module, kProcs.data());
  g_lastError = result > 0 ? static_cast<DWORD>(result) : 0;
  return result;
}

// Ends a registration of the calling process and removes its hook: 0, or kHookNotRegistered
// when the window is not registered by this process.
__declspec(dllexport) int WINAPI DetachReceiver(HWND receiver) {
  if (!registrations::Unregister(receiver)) return Refuse(kHookNotRegistered);
  g_lastError = 0;
  return 0;
}

// The Windows error code of this process's last failed call; 0 after a success or a refusal
// that has no Windows error.
__declspec(dllexport) DWORD WINAPI LastError() { return g_lastError; }

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    g_frames = ::TlsAlloc();  // without it, repeated hooks of a slot may each forward an event
    ::DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    // A receiver process letting the library go must not leave hooks that point into it.
    registrations::UnregisterAll(reserved != nullptr);
    if (!reserved && g_frames != TLS_OUT_OF_INDEXES) ::TlsFree(g_frames);
  }
  return TRUE;
}

}  // extern "C"
