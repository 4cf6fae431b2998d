// The hook thread's side of the result list laid over an Explorer window's file view.
#include "app/HookThread.h"

#include <stdexcept>

#include "app/MainForm.h"
#include "win/common/Trace.h"
#include "win/resultview/ListViewForm.h"

bool THookThread::ResultViewVisible(const TWindowRec& rec) const {
  return rec.ResultView && rec.ResultView->Panel().Visible();
}

HWND THookThread::ResultViewWindow(const TWindowRec& rec) const {
  return rec.ResultView ? rec.ResultView->Handle() : nullptr;
}

bool THookThread::ResultViewRect(const TWindowRec& rec, RECT& r) const {
  return rec.ResultView && ::GetWindowRect(rec.ResultView->Handle(), &r);
}

void THookThread::LayResultView(TWindowRec& rec, const RECT& fileViewHost) {
  if (rec.ResultView)
    rec.ResultView->SetBounds(0, 0, fileViewHost.right - fileViewHost.left, fileViewHost.bottom - fileViewHost.top);
}

void THookThread::FocusResultView(TWindowRec& rec) {
  if (rec.ResultView) rec.ResultView->SetFocus();
}

void THookThread::ShowResultView(TWindowRec& rec) {
  if (!rec.ResultView) {
    try {
      rec.ResultView = std::make_unique<TListViewEx>();
    } catch (const std::runtime_error& e) {
      // Without its windows there is no list to show; the query still goes out.
      Trace(L"ShowResultView: " + std::wstring(e.what(), e.what() + std::char_traits<char>::length(e.what())));
      return;
    }
  }
  TListViewEx& view = *rec.ResultView;
  view.SetTag(rec.MainForm);
  view.SetSearchPath(rec.ExplorerPath);
  view.Clear();
  if (FOwner) view.SetSystemImages(FOwner->SystemImages());
  HWND parent = WindowFromValue(rec.FileHandle);
  view.SetParentWindow(parent);
  RECT r{};
  if (!::GetWindowRect(parent, &r)) r = RECT{};
  view.SetBounds(0, 0, r.right - r.left, r.bottom - r.top);
  ::BringWindowToTop(view.Panel().Handle());
  view.SetStatusLabel(true, true);
  view.Show();
  view.Panel().Show();
  view.OnSearchKeyPress = [this](TListViewEx& sender) { ResultViewSearchKeyPress(sender); };
}

void THookThread::HideResultView(TWindowRec& rec) {
  if (!rec.ResultView) return;
  rec.ResultView->Clear();
  rec.ResultView->Panel().Hide();
  rec.ResultView->Hide();
}

void THookThread::DropResultView(TWindowRec& rec) {
  std::unique_ptr<TListViewEx> view = std::move(rec.ResultView);
  view.reset();
}

HWND THookThread::FocusHostWindow() const {
  if (frmListView) return frmListView->Handle();
  return FOwner ? FOwner->Handle() : nullptr;
}

void THookThread::ResultViewSearchKeyPress(TListViewEx& view) {
  for (int i = 0; i < FWindowList->Count(); ++i) {
    TWindowRec* rec = FWindowList->GetByIndex(i);
    if (rec && rec->ResultView.get() == &view) {
      if (rec->Edit && rec->Edit->Visible()) rec->Edit->SetFocus();
      return;
    }
  }
}
