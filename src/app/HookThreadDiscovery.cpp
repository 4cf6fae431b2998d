// Finding Explorer windows, their search boxes and file views, and the folder each shows:
// registration at start-up and on creation, the periodic scan, the re-check after navigation.
#include "app/HookThread.h"
#include "win/common/Trace.h"

#include <vector>

#include "core/TextUtils.h"
#include "win/common/WideText.h"
#include "win/shell/ShellUtils.h"

namespace {

constexpr wchar_t kExplorerClass[] = L"CabinetWClass";
constexpr wchar_t kExplorerExe[] = L"explorer.exe";

const std::vector<std::wstring>& SearchBoxPath() {
  static const std::vector<std::wstring> path =
      SplitClassPath(L"WorkerW|ReBarWindow32|UniversalSearchBand|Search Box|SearchEditBoxWrapperClass|DirectUIHWND");
  return path;
}

const std::vector<std::wstring>& FileViewPath() {
  static const std::vector<std::wstring> path =
      SplitClassPath(L"ShellTabWindowClass|DUIViewWndClassName|DirectUIHWND|CtrlNotifySink|SHELLDLL_DefView");
  return path;
}

std::wstring FileNamePart(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

void THookThread::CBTHookCreateWnd(HWND window) {
  if (HasWindowClass(window, kExplorerClass)) AddHookWindow(WindowValue(window), TSearchType::stExplorer);
}

void THookThread::AddExplorerWindows() {
  std::vector<TShellWindow> windows;
  if (!GetShellWindows(windows)) return;
  std::vector<std::uint32_t> explorers;
  for (const TShellWindow& w : windows)
    if (SameIgnoringAsciiCase(U(FileNamePart(w.fullName)), U(kExplorerExe))) explorers.push_back(WindowValue(w.window));
  if (explorers.empty()) return;
  // Hook events register windows on the main thread already; the list changes only there.
  Synchronize([&] {
    for (std::uint32_t window : explorers) AddHookWindow(window, TSearchType::stExplorer);
  });
}

bool THookThread::ReadExplorerFolder(TWindowRec& rec) {
  std::wstring locationName, path;
  if (!GetExplorerPath(WindowFromValue(rec.MainForm), locationName, path)) return false;
  // A window the shell lists before it has navigated has neither name nor URL yet: its
  // folder is not known, so nothing is decided until a later scan.
  if (locationName.empty() && path.empty()) return false;
  rec.SkipCheckWindow = IsSpecialFolderName(locationName) || !IsNTFSVolume(W(ExtractFileDrive(U(path))));
  rec.ExplorerPath = U(path);
  return true;
}

void THookThread::ScanHookWindows() {
  for (int i = 0; i < FWindowList->Count(); ++i) {
    TWindowRec* rec = FWindowList->GetByIndex(i);
    if (!rec || !::IsWindow(WindowFromValue(rec->MainForm))) continue;
    // A navigation whose destructions all came while the old file view still stood (its
    // destruction waits for our list inside it) left no re-check to see the new one.
    if (rec->FileHandle != 0 && !::IsWindow(WindowFromValue(rec->FileHandle))) {
      RecheckFileView(*rec);
      continue;
    }
    if (rec->Inited || rec->SkipCheckWindow) continue;
    HWND box = nullptr, view = nullptr;
    if (!FindWindowByClassPath(WindowFromValue(rec->MainForm), box, SearchBoxPath()) ||
        !FindWindowByClassPath(WindowFromValue(rec->MainForm), view, FileViewPath()))
      continue;
    Trace(L"SearchBoxHandle: " + std::to_wstring(WindowValue(box)));
    Trace(L"FileHandle: " + std::to_wstring(WindowValue(view)));
    rec->SearchBox = WindowValue(box);
    rec->FileHandle = WindowValue(::GetParent(view));
    if (!ReadExplorerFolder(*rec)) continue;
    if (rec->SkipCheckWindow) {
      Trace(L"not searchable: " + std::to_wstring(rec->MainForm) + L" \"" + W(rec->ExplorerPath) + L"\"");
      return;  // no longer scanned; the rest wait for the next scan
    }
    CreateOverlayControls(*rec);
  }
}

void THookThread::CBTHookDestroyWnd(HWND window) {
  HWND foreground = ::GetForegroundWindow();
  if (!HasWindowClass(foreground, kExplorerClass)) {
    QueueDestroyedWindow(WindowValue(window));
    return;
  }
  // An Explorer window is in front: a destruction there may be its old file view going after
  // a navigation.
  if (TWindowRec* rec = RecordOf(foreground)) RecheckFileView(*rec);
}

void THookThread::RecheckFileView(TWindowRec& rec) {
  HWND view = nullptr;
  if (!FindWindowByClassPath(WindowFromValue(rec.MainForm), view, FileViewPath()) || rec.FileHandle == 0 ||
      WindowValue(::GetParent(view)) == rec.FileHandle)
    return;
  rec.FileHandle = WindowValue(::GetParent(view));
  DropResultView(rec);  // it lay on the old host
  if (ReadExplorerFolder(rec)) {
    if (rec.Inited) {
      Trace(L"CBTHookDestroyWnd KillFocus " + TimeText());
      const DWORD sinceKill = ::GetTickCount() - rec.LastKillFocusTick;
      DoKillFocus(rec, rec.LastKillFocusTick != 0 && sinceKill > kRestoreAfterKill);
    } else if (!rec.SkipCheckWindow) {
      CreateOverlayControls(rec);
    }
  }
  Trace(WindowClassName(WindowFromValue(rec.MainForm)) + L" New P.FileHandle: " + std::to_wstring(rec.FileHandle) +
        L" " + W(rec.ExplorerPath));
}
