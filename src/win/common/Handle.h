#pragma once
// RAII owners for the system's handles. Every handle, GDI object, module and system
// allocation the program opens is held by one of these, so no path leaks one. Header-only, so
// the hook library uses it too.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <uxtheme.h>

#include <utility>

template <typename Traits>
class UniqueHandle {
 public:
  using T = typename Traits::Type;
  UniqueHandle() noexcept = default;
  explicit UniqueHandle(T h) noexcept : h_(h) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  T get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return Traits::Valid(h_); }
  T release() noexcept { return std::exchange(h_, Traits::Invalid()); }
  void reset(T h = Traits::Invalid()) noexcept {
    if (Traits::Valid(h_)) Traits::Close(h_);
    h_ = h;
  }
  // For APIs that fill an out-parameter.
  T* put() noexcept {
    reset();
    return &h_;
  }

 private:
  T h_ = Traits::Invalid();
};

struct KernelHandleTraits {  // CreateEvent, CreateMutex, OpenProcess, ... (NULL on failure)
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static bool Valid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile, CreateNamedPipe, snapshots (INVALID_HANDLE_VALUE)
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static bool Valid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::CloseHandle(h); }
};
struct FindHandleTraits {  // FindFirstFile(Ex)
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static bool Valid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::FindClose(h); }
};
template <typename G>
struct GdiTraits {
  using Type = G;
  static Type Invalid() { return nullptr; }
  static bool Valid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::DeleteObject(h); }
};
struct DcTraits {  // CreateCompatibleDC
  using Type = HDC;
  static Type Invalid() { return nullptr; }
  static bool Valid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::DeleteDC(h); }
};
struct ModuleTraits {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static bool Valid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::FreeLibrary(h); }
};
struct WindowTraits {
  using Type = HWND;
  static Type Invalid() { return nullptr; }
  static bool Valid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::DestroyWindow(h); }
};
struct IconTraits {
  using Type = HICON;
  static Type Invalid() { return nullptr; }
  static bool Valid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::DestroyIcon(h); }
};

struct DeviceNotifyTraits {  // RegisterDeviceNotification
  using Type = HDEVNOTIFY;
  static Type Invalid() { return nullptr; }
  static bool Valid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::UnregisterDeviceNotification(h); }
};

struct ScHandleTraits {  // OpenSCManager, OpenService, CreateService
  using Type = SC_HANDLE;
  static Type Invalid() { return nullptr; }
  static bool Valid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::CloseServiceHandle(h); }
};

struct ImageListTraits {  // ImageList_Create
  using Type = HIMAGELIST;
  static Type Invalid() { return nullptr; }
  static bool Valid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::ImageList_Destroy(h); }
};
struct ThemeTraits {  // OpenThemeData
  using Type = HTHEME;
  static Type Invalid() { return nullptr; }
  static bool Valid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::CloseThemeData(h); }
};
struct MenuTraits {  // CreatePopupMenu
  using Type = HMENU;
  static Type Invalid() { return nullptr; }
  static bool Valid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::DestroyMenu(h); }
};
struct LocalMemoryTraits {  // FormatMessage's buffer, CommandLineToArgvW
  using Type = HLOCAL;
  static Type Invalid() { return nullptr; }
  static bool Valid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::LocalFree(h); }
};
struct CoTaskMemoryTraits {  // memory the shell hands out (SHGetSpecialFolderLocation)
  using Type = void*;
  static Type Invalid() { return nullptr; }
  static bool Valid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::CoTaskMemFree(h); }
};
struct SidTraits {  // AllocateAndInitializeSid
  using Type = PSID;
  static Type Invalid() { return nullptr; }
  static bool Valid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::FreeSid(h); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;
using UniqueDeviceNotify = UniqueHandle<DeviceNotifyTraits>;
using UniqueBitmap = UniqueHandle<GdiTraits<HBITMAP>>;
using UniqueFont = UniqueHandle<GdiTraits<HFONT>>;
using UniqueBrush = UniqueHandle<GdiTraits<HBRUSH>>;
using UniquePen = UniqueHandle<GdiTraits<HPEN>>;
using UniqueRegion = UniqueHandle<GdiTraits<HRGN>>;
using UniqueDc = UniqueHandle<DcTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;
using UniqueWindow = UniqueHandle<WindowTraits>;
using UniqueIcon = UniqueHandle<IconTraits>;
using UniqueScHandle = UniqueHandle<ScHandleTraits>;
using UniqueImageList = UniqueHandle<ImageListTraits>;
using UniqueTheme = UniqueHandle<ThemeTraits>;
using UniqueMenu = UniqueHandle<MenuTraits>;
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits>;
using UniqueCoTaskMemory = UniqueHandle<CoTaskMemoryTraits>;
using UniqueSid = UniqueHandle<SidTraits>;

// Selects a GDI object into a DC for one scope.
class SelectObjectScope {
 public:
  SelectObjectScope(HDC dc, HGDIOBJ obj) : dc_(dc), old_(::SelectObject(dc, obj)) {}
  ~SelectObjectScope() {
    if (old_ && old_ != HGDI_ERROR) ::SelectObject(dc_, old_);
  }
  SelectObjectScope(const SelectObjectScope&) = delete;
  SelectObjectScope& operator=(const SelectObjectScope&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A window DC from GetDC, released at scope end.
class WindowDc {
 public:
  explicit WindowDc(HWND wnd) : wnd_(wnd), dc_(::GetDC(wnd)) {}
  ~WindowDc() {
    if (dc_) ::ReleaseDC(wnd_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND wnd_;
  HDC dc_;
};

// BeginPaint's DC, ended with EndPaint at scope end, so a failing painter leaves no window
// painting forever.
class PaintScope {
 public:
  explicit PaintScope(HWND wnd) : wnd_(wnd), dc_(::BeginPaint(wnd, &ps_)) {}
  ~PaintScope() { ::EndPaint(wnd_, &ps_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND wnd_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};

// The open clipboard, closed at scope end; Opened tells whether OpenClipboard succeeded.
class ClipboardScope {
 public:
  explicit ClipboardScope(HWND owner) : opened_(::OpenClipboard(owner) != FALSE) {}
  ~ClipboardScope() {
    if (opened_) ::CloseClipboard();
  }
  ClipboardScope(const ClipboardScope&) = delete;
  ClipboardScope& operator=(const ClipboardScope&) = delete;
  bool Opened() const { return opened_; }

 private:
  bool opened_;
};

// A global memory block locked for one scope; get() is null when it could not be locked.
class GlobalLockScope {
 public:
  explicit GlobalLockScope(HGLOBAL block) : block_(block), data_(::GlobalLock(block)) {}
  ~GlobalLockScope() {
    if (data_) ::GlobalUnlock(block_);
  }
  GlobalLockScope(const GlobalLockScope&) = delete;
  GlobalLockScope& operator=(const GlobalLockScope&) = delete;
  void* get() const { return data_; }

 private:
  HGLOBAL block_;
  void* data_;
};

// A critical section and its scoped lock.
class CriticalSection {
 public:
  CriticalSection() { ::InitializeCriticalSection(&cs_); }
  ~CriticalSection() { ::DeleteCriticalSection(&cs_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  void Enter() { ::EnterCriticalSection(&cs_); }
  void Leave() { ::LeaveCriticalSection(&cs_); }

 private:
  CRITICAL_SECTION cs_;
};

class CsLock {
 public:
  explicit CsLock(CriticalSection& cs) : cs_(cs) { cs_.Enter(); }
  ~CsLock() { cs_.Leave(); }
  CsLock(const CsLock&) = delete;
  CsLock& operator=(const CsLock&) = delete;

 private:
  CriticalSection& cs_;
};
