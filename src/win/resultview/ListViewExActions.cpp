// What the user does with the rows: run one with a double click, the shell's context menu on
// the selection with the right button, F3 / Ctrl+F back to the search edit.
#include <string>
#include <vector>

#include "core/ResultPath.h"
#include "win/common/WideText.h"
#include "win/resultview/ListViewEx.h"
#include "win/shell/ShellUtils.h"

void TListViewEx::ListViewKeyUp(WPARAM key) {
  const bool search = key == VK_F3 || (key == 'F' && ::GetKeyState(VK_CONTROL) < 0);
  if (search && OnSearchKeyPress) OnSearchKeyPress(*this);
}

void TListViewEx::ListViewNodeDblClick(int x, int y) {
  const int row = RowAt(POINT{x, y});
  if (row >= 0) RunProgram(W(FNodes[static_cast<std::size_t>(row)]->FullPath));
}

void TListViewEx::RightButtonDown(POINT client) {
  SetFocus();
  // With one row or none selected a right click picks the row under the mouse; a selection
  // of several rows is kept wherever the click lands, so the menu applies to all of them.
  if (SelectedCount() <= 1) SelectOnly(RowAt(client));
}

void TListViewEx::ListViewMouseUp(int x, int y) {
  const std::vector<std::size_t> selected = SelectedIndices();
  if (selected.empty() || !ShellMenu) return;
  std::wstring folder;
  if (!FSearchPath.empty()) {
    folder = W(FSearchPath);
    if (folder.back() != L'\\') folder += L'\\';
  }
  std::vector<std::wstring> names;
  names.reserve(selected.size());
  for (std::size_t i : selected) names.push_back(W(NameRelativeToFolder(FNodes[i]->FullPath, U(folder))));
  POINT point{x, y};
  ::ClientToScreen(Handle(), &point);

  std::wstring verb;
  TShellMenuOptions options;
  options.AllowPaste = true;
  // The list opens the items itself, after asking when there are many: the shell's own
  // "open" would run them before the question and a second time after it.
  options.CallerOpens = true;
  const std::weak_ptr<bool> alive = FAlive;
  const TShellMenu menu = ShellMenu;  // outlives the list should the list go meanwhile
  menu(Handle(), point, folder, names, verb, options);
  if (alive.expired()) return;  // the list went while the menu was open

  if (verb == L"delete") {
    // Also when the user declined the shell's confirmation: the rows follow the command.
    DeleteSelected();
    if (FNodes.empty()) SetStatusLabel(true, false);
  } else if (verb == L"open") {
    OpenSelected();
  }
}

void TListViewEx::OpenSelected() {
  // The paths are taken before the question: rows keep arriving (or go with a new query)
  // while it is open, and the answer is about these items.
  std::vector<std::wstring> paths;
  for (std::size_t i : SelectedIndices()) paths.push_back(W(FNodes[i]->FullPath));
  if (paths.size() >= kOpenQuestionThreshold) {
    std::wstring text = kOpenQuestion;
    text.replace(text.find(L"%d"), 2, std::to_wstring(paths.size()));
    if (::MessageBoxW(Handle(), text.c_str(), kMessageCaption, MB_YESNO | MB_ICONINFORMATION) != IDYES) return;
  }
  for (const std::wstring& path : paths) RunProgram(path);
}
