// The main form's handler of found items: each becomes a row of its window's result list.
#include "app/MainForm.h"

#include "core/TextFold.h"
#include "core/TextUtils.h"
#include "win/resultview/ListViewEx.h"

void TfrmRuvoSearch::AddSearchResult(THookThread*, PWindowRec rec, const std::u16string& fileName,
                                     const std::u16string& wildcard, const std::u16string& match) {
  if (!rec) return;
  TListViewEx* list = rec->ResultView.get();
  const std::u16string query = rec->Edit ? Trim(rec->Edit->Text()) : std::u16string();
  if (query.empty()) {
    // The user emptied the box while items still arrive: the list goes away.
    if (list) {
      list->SetStatusLabel(false, false);
      list->Panel().Hide();
      list->Clear();
    }
    return;
  }
  if (!list) return;

  if (fileName.empty()) {
    // The end of an answer: only an answer that listed nothing says so.
    if (list->Count() == 0) {
      list->Clear();
      list->SetStatusLabel(true, false);
    }
    return;
  }
  if (FoldLower(query) != FoldLower(Trim(wildcard))) return;  // an answer to an older query

  const DWORD attributes = ResultPathAttributes(fileName);
  if (attributes == INVALID_FILE_ATTRIBUTES) return;  // malformed, or gone since it was found
  list->SetStatusLabel(false, false);
  TShellObjectData data = MakeShellObjectData(fileName, match, attributes);
  if (data.IsFolder()) {
    // Folders stay ahead of every file, in the order they arrived.
    ++rec->ResultDirIndex;
    list->InsertBefore(rec->ResultDirIndex < 0 ? 0 : static_cast<std::size_t>(rec->ResultDirIndex), std::move(data));
  } else {
    list->Append(std::move(data));
  }
}
