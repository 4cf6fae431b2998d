// The hook thread's side of the result list laid over an Explorer window's file view.
// SEAM: the result list control (TListViewEx with its host form) is built beside this code;
// until it joins, a record has no list: these report none and change nothing, and searches
// still go out and come back through OnAddSearchResult.
#include "app/HookThread.h"

#include "app/MainForm.h"

bool THookThread::ResultViewVisible(const TWindowRec&) const { return false; }

HWND THookThread::ResultViewWindow(const TWindowRec&) const { return nullptr; }

bool THookThread::ResultViewRect(const TWindowRec&, RECT&) const { return false; }

void THookThread::LayResultView(TWindowRec&, const RECT&) {}

void THookThread::FocusResultView(TWindowRec&) {}

void THookThread::ShowResultView(TWindowRec&) {}

void THookThread::HideResultView(TWindowRec&) {}

void THookThread::DropResultView(TWindowRec&) {}

HWND THookThread::FocusHostWindow() const { return FOwner ? FOwner->Handle() : nullptr; }
