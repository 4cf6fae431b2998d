#include "win/resultview/ShellContextMenu.h"

#include <wrl/client.h>

#include "win/common/Handle.h"
#include "win/resultview/Pidl.h"
#include "win/resultview/ShellMenuCallback.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr UINT kFirstCommand = 1;
constexpr UINT kLastCommand2 = 1000;    // menus filled through IContextMenu2
constexpr UINT kLastCommand = 0x7FFF;   // menus filled through IContextMenu only
constexpr UINT kVerbChars = 255;

std::wstring CommandVerb(IContextMenu* menu, UINT offset) {
  wchar_t buffer[kVerbChars + 1] = {};
  if (FAILED(menu->GetCommandString(offset, GCS_VERBW, nullptr, reinterpret_cast<LPSTR>(buffer), kVerbChars)))
    return {};
  buffer[kVerbChars] = L'\0';
  std::wstring verb(buffer);
  for (auto& c : verb)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
  return verb;
}

bool ShellCarriesOut(const std::wstring& verb, const TShellMenuOptions& options) {
  if (verb == L"rename") return false;
  if (verb == L"paste" && !options.AllowPaste) return false;
  if (verb == L"open" && options.CallerOpens) return false;
  return true;
}

}  // namespace

void TrackShellContextMenu(HWND ownerWnd, POINT point, IShellFolder* folder, UINT count, LPCITEMIDLIST* pidls,
                           std::wstring& verb, const TShellMenuOptions& options) {
  verb.clear();
  if (!folder || count == 0 || !pidls) return;
  const UINT flags = CMF_EXPLORE | (options.CanRename ? CMF_CANRENAME : 0);
  UniqueMenu popup(::CreatePopupMenu());
  if (!popup) return;
  ComPtr<IContextMenu> menu;
  if (FAILED(folder->GetUIObjectOf(ownerWnd, count, pidls, IID_IContextMenu, nullptr,
                                   reinterpret_cast<void**>(menu.GetAddressOf()))) ||
      !menu) {
    return;
  }
  ComPtr<IContextMenu2> menu2;
  menu.As(&menu2);
  UniqueWindow callback;
  IContextMenu* commands = menu.Get();
  UINT lastCommand = kLastCommand;
  if (menu2) {
    lastCommand = kLastCommand2;
    if (FAILED(menu2->QueryContextMenu(popup.get(), 0, kFirstCommand, lastCommand, flags))) return;
    callback = CreateShellMenuCallbackWindow(menu2.Get());
    commands = menu2.Get();
  } else if (FAILED(menu->QueryContextMenu(popup.get(), 0, kFirstCommand, lastCommand, flags))) {
    return;
  }

  const UINT command = static_cast<UINT>(::TrackPopupMenuEx(popup.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, point.x,
                                                            point.y, callback ? callback.get() : ownerWnd, nullptr));
  if (command < kFirstCommand || command > lastCommand) return;
  const UINT offset = command - kFirstCommand;
  verb = CommandVerb(commands, offset);
  if (!ShellCarriesOut(verb, options)) return;
  CMINVOKECOMMANDINFO info{};
  info.cbSize = sizeof info;
  info.hwnd = ownerWnd;
  info.lpVerb = MAKEINTRESOURCEA(offset);
  info.nShow = SW_SHOWNORMAL;
  commands->InvokeCommand(&info);
}

void ShowShellContextMenu(HWND ownerWnd, POINT point, const std::wstring& parentPath,
                          const std::vector<std::wstring>& names, std::wstring& verb,
                          const TShellMenuOptions& options) {
  if (names.empty()) return;
  ComPtr<IShellFolder> folder;
  if (parentPath.empty()) {
    // Full paths without a common folder: the desktop parses them all.
    if (FAILED(::SHGetDesktopFolder(&folder))) return;
  } else {
    const UniquePidl parent = PathToPIDL(parentPath);
    if (!parent || !BindToShellFolder(parent.get(), folder)) return;
  }
  std::vector<UniquePidl> children;
  std::vector<LPCITEMIDLIST> ids;
  for (const std::wstring& name : names) {
    UniquePidl child = ParseChildPIDL(folder.Get(), name);
    if (!child) continue;
    ids.push_back(child.get());
    children.push_back(std::move(child));
  }
  if (ids.empty()) return;
  TrackShellContextMenu(ownerWnd, point, folder.Get(), static_cast<UINT>(ids.size()), ids.data(), verb, options);
}
