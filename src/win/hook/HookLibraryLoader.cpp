#include "win/hook/HookLibraryLoader.h"

#include "core/HookResults.h"
#include "core/TextUtils.h"
#include "win/common/ErrorModeScope.h"
#include "win/common/WideText.h"

namespace {

using AttachReceiverFn = int(WINAPI*)(int hookKind, HWND receiver, int filtering, HWND hookedWnd);
using DetachReceiverFn = int(WINAPI*)(HWND receiver);
using LastErrorFn = DWORD(WINAPI*)();

// Plain data, constant-initialised: still valid while static objects are destroyed at exit.
struct LoaderState {
  HMODULE module;
  int references;
  AttachReceiverFn attach;
  DetachReceiverFn detach;
  LastErrorFn lastError;
};
constinit LoaderState g_loader{};

HMODULE LoadQuietly(const std::wstring& name) {
  const ErrorModeScope quiet(SEM_NOOPENFILEERRORBOX);
  return ::LoadLibraryW(name.c_str());
}

// The extension from the last point of the file name on; empty when there is none.
size_t ExtensionStart(const std::wstring& name) {
  const size_t slash = name.find_last_of(L"\\/");
  const size_t fileStart = slash == std::wstring::npos ? 0 : slash + 1;
  const size_t dot = name.rfind(L'.');
  return dot == std::wstring::npos || dot < fileStart ? name.size() : dot;
}

template <typename Fn>
Fn Export(const char* name) {
  return reinterpret_cast<Fn>(::GetProcAddress(g_loader.module, name));
}

}  // namespace

int LoadHookLibrary(const std::wstring& name) {
  if (g_loader.module) {
    ++g_loader.references;
    return 0;
  }
  HMODULE module = LoadQuietly(name);
  if (!module) {
    const size_t ext = ExtensionStart(name);
    if (LowerAscii(U(name.substr(ext))) != u".dll") module = LoadQuietly(name.substr(0, ext) + L".dll");
  }
  if (!module) {
    const DWORD error = ::GetLastError();
    return error != 0 ? static_cast<int>(error) : static_cast<int>(ERROR_MOD_NOT_FOUND);
  }
  g_loader.module = module;
  ++g_loader.references;
  g_loader.attach = Export<AttachReceiverFn>("AttachReceiver");
  g_loader.detach = Export<DetachReceiverFn>("DetachReceiver");
  g_loader.lastError = Export<LastErrorFn>("LastError");
  if (!g_loader.attach || !g_loader.detach || !g_loader.lastError) {
    UnloadHookLibrary();
    return kHookMissingExports;
  }
  return 0;
}

void UnloadHookLibrary() {
  if (!g_loader.module) return;
  if (--g_loader.references <= 0) {
    ::FreeLibrary(g_loader.module);
    g_loader = LoaderState{};
  }
}

bool HookLibraryLoaded() { return g_loader.module != nullptr; }

int HookLibraryReferences() { return g_loader.references; }

int HookLibraryAttachReceiver(int hookKind, HWND receiver, bool filtering, HWND hookedWnd) {
  if (!g_loader.attach) return static_cast<int>(ERROR_MOD_NOT_FOUND);
  return g_loader.attach(hookKind, receiver, filtering ? 1 : 0, hookedWnd);
}
