#pragma once
// Item identifier lists of the shell, each owned by a UniquePidl and freed with the shell's
// allocator.
#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <string>

#include "win/common/Handle.h"

// Frees a non-empty identifier with the shell's allocator.
void FreePIDL(LPITEMIDLIST pidl);

struct PidlTraits {
  using Type = LPITEMIDLIST;
  static Type Invalid() { return nullptr; }
  static bool Valid(Type h) { return h != nullptr; }
  static void Close(Type h) { FreePIDL(h); }
};
using UniquePidl = UniqueHandle<PidlTraits>;

// The absolute identifier of a path, parsed by the desktop folder; empty on failure.
UniquePidl PathToPIDL(const std::wstring& path);
// The folder object of an absolute identifier; false on failure.
bool BindToShellFolder(LPCITEMIDLIST pidl, Microsoft::WRL::ComPtr<IShellFolder>& folder);
// The identifier of name relative to folder; empty on failure. No system error box is shown
// for a missing drive or medium meanwhile.
UniquePidl ParseChildPIDL(IShellFolder* folder, const std::wstring& name);
