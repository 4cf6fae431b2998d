#include "win/resultview/Pidl.h"

#include "win/shell/ShellScopes.h"

using Microsoft::WRL::ComPtr;

namespace {

IMalloc* ShellAllocator() {
  static const ComPtr<IMalloc> allocator = [] {
    ComPtr<IMalloc> m;
    ::SHGetMalloc(&m);
    return m;
  }();
  return allocator.Get();
}

UniquePidl ParseIn(IShellFolder* folder, const std::wstring& name) {
  if (!folder) return {};
  std::wstring text = name;  // ParseDisplayName takes a writable string
  LPITEMIDLIST pidl = nullptr;
  ULONG eaten = 0;
  if (FAILED(folder->ParseDisplayName(nullptr, nullptr, text.data(), &eaten, &pidl, nullptr))) {
    FreePIDL(pidl);
    return {};
  }
  return UniquePidl(pidl);
}

}  // namespace

void FreePIDL(LPITEMIDLIST pidl) {
  if (!pidl) return;
  if (IMalloc* m = ShellAllocator())
    m->Free(pidl);
  else
    ::CoTaskMemFree(pidl);
}

UniquePidl PathToPIDL(const std::wstring& path) {
  ComPtr<IShellFolder> desktop;
  if (FAILED(::SHGetDesktopFolder(&desktop))) return {};
  return ParseIn(desktop.Get(), path);
}

bool BindToShellFolder(LPCITEMIDLIST pidl, ComPtr<IShellFolder>& folder) {
  folder.Reset();
  ComPtr<IShellFolder> desktop;
  if (!pidl || FAILED(::SHGetDesktopFolder(&desktop))) return false;
  // The empty identifier is the desktop itself, which binds to no child.
  if (pidl->mkid.cb == 0) {
    folder = desktop;
    return true;
  }
  return SUCCEEDED(desktop->BindToObject(pidl, nullptr, IID_IShellFolder,
                                         reinterpret_cast<void**>(folder.ReleaseAndGetAddressOf()))) &&
         folder;
}

UniquePidl ParseChildPIDL(IShellFolder* folder, const std::wstring& name) {
  const ErrorModeScope quiet(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  return ParseIn(folder, name);
}
