// Sending the typed query to the search service after a pause in typing, and cancelling it
// when the text is emptied.
#include "app/HookThread.h"

#include "win/common/Trace.h"
#include "core/SearchMessages.h"
#include "core/TextUtils.h"
#include "win/common/WideText.h"

void THookThread::SearchEditChange(TImageEdit& edit) {
  TWindowRec* rec = RecordOfEdit(edit);
  if (!rec) return;
  const std::u16string text = edit.Text();
  if (rec->Button) {
    if (text.empty())
      rec->Button->Hide();
    else
      rec->Button->Show();
  }
  if (!Trim(text).empty()) {
    // Restarted by every change: it fires once the typing pauses.
    rec->Timer->SetEnabled(false);
    rec->Timer->SetEnabled(true);
  } else {
    DoSearch(edit);
  }
}

void THookThread::SearchEditEnterPress(TImageEdit& edit) { DoSearch(edit); }

void THookThread::SearchTimerTimer(TTimer& timer) {
  timer.SetEnabled(false);
  if (TWindowRec* rec = RecordOfTimer(timer)) DoSearch(*rec->Edit);
}

void THookThread::DoSearch(TImageEdit& edit) {
  TWindowRec* rec = RecordOfEdit(edit);
  if (!rec) return;
  rec->Timer->SetEnabled(false);
  const std::u16string text = Trim(edit.Text());
  if (text.empty()) {
    SendRequest(BuildCancelRequest(rec->MainForm), false);
    HideResultView(*rec);
    return;
  }
  ShowResultView(*rec);
  Trace(L"Search Begin " + std::to_wstring(rec->MainForm) + L": " + W(rec->ExplorerPath));
  // Unreachable: the loop's service check takes over; the list keeps saying it searches.
  SendRequest(BuildSearchRequest(rec->ExplorerPath, text, rec->MainForm), true);
}
