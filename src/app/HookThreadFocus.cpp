// Showing the overlay edit when Explorer's search box takes the focus, hiding it when the
// focus leaves or the user presses Escape, and the edit's background picture.
#include "app/HookThread.h"

#include <uxtheme.h>

#include "app/MainForm.h"
#include "win/common/Trace.h"
#include "core/SearchBoxText.h"
#include "core/TextUtils.h"
#include "win/shell/ShellUtils.h"
#include "win/thread/MessagePump.h"

namespace {

constexpr wchar_t kNavigationTree[] = L"SysTreeView32";
constexpr wchar_t kTooltipClass[] = L"tooltips_class32";
constexpr int kEditTextPart = 1;     // EP_EDITTEXT
constexpr int kNormalState = 1;      // ETS_NORMAL
constexpr int kFillColorProp = 3802;  // TMT_FILLCOLOR

bool Within(DWORD tick, DWORD ms) { return tick != 0 && ::GetTickCount() - tick < ms; }

HWND WindowUnderCursor() {
  POINT pt{};
  ::GetCursorPos(&pt);
  return ::WindowFromPoint(pt);
}

void PostEscape(HWND window) {
  ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
  ::PostMessageW(window, WM_KEYUP, VK_ESCAPE, 0);
}

}  // namespace

HWND THookThread::GetThreadFocus(HWND window) const {
  const DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
  if (thread == 0) return nullptr;
  if (thread == ::GetCurrentThreadId()) return ::GetFocus();
  // Detaching would end the sharing an edit shown there needs.
  for (const auto& attached : FInputAttachments)
    if (attached.second == thread) return ::GetFocus();
  if (!::AttachThreadInput(::GetCurrentThreadId(), thread, TRUE)) return nullptr;
  HWND focus = ::GetFocus();
  ::AttachThreadInput(::GetCurrentThreadId(), thread, FALSE);
  return focus;
}

void THookThread::EraseSearchBoxText(TDibImage& picture, const TImageEdit& edit) {
  if (picture.Empty()) return;
  // The fill of an edit box in the current visual style; without one, the plain window colour
  // it is drawn with then (the placeholder would otherwise show through the typed text).
  COLORREF fill = ::GetSysColor(COLOR_WINDOW);
  if (const UniqueTheme theme(::OpenThemeData(nullptr, L"EDIT")); theme) {
    COLORREF themed = 0;
    if (SUCCEEDED(::GetThemeColor(theme.get(), kEditTextPart, kNormalState, kFillColorProp, &themed))) fill = themed;
  }
  EraseSearchBoxInk({picture.Bits(), picture.Width(), picture.Height()}, fill, edit.TextHeight,
                    IsReallyWindows8OrGreater() ? TSearchBoxFamily::Windows8OrLater : TSearchBoxFamily::Windows7);
}

void THookThread::PaintEditBackground(HWND searchBox, TImageEdit& edit) {
  RECT r{};
  if (!::GetWindowRect(searchBox, &r)) return;
  const int width = r.right - r.left, height = r.bottom - r.top;
  TDibImage picture;
  bool copied = false;
  if (IsReallyWindows8OrGreater()) {
    WindowDc dc(searchBox);
    copied = dc.get() && picture.CaptureFrom(dc.get(), 0, 0, width, height);
  }
  if (!copied) {
    // Windows 7 draws the box through its parents, so the screen holds the finished picture;
    // it also serves when the box's own drawing cannot be read.
    WindowDc dc(::GetDesktopWindow());
    if (!dc.get() || !picture.CaptureFrom(dc.get(), r.left, r.top, width, height)) return;
  }
  EraseSearchBoxText(picture, edit);
  edit.SetBackground(picture);
  edit.Invalidate();
}

void THookThread::AttachEditInput(const TWindowRec& rec) {
  if (FInputAttachments.count(rec.MainForm)) return;
  const DWORD thread = ::GetWindowThreadProcessId(WindowFromValue(rec.SearchBox), nullptr);
  if (thread == 0 || thread == ::GetCurrentThreadId()) return;
  bool shared = false;
  for (const auto& attached : FInputAttachments) shared = shared || attached.second == thread;
  if (shared || ::AttachThreadInput(::GetCurrentThreadId(), thread, TRUE))
    FInputAttachments[rec.MainForm] = thread;
  else
    Trace(L"AttachThreadInput failed: " + std::to_wstring(::GetLastError()));
}

void THookThread::DetachEditInput(const TWindowRec& rec) {
  const auto it = FInputAttachments.find(rec.MainForm);
  if (it == FInputAttachments.end()) return;
  const DWORD thread = it->second;
  FInputAttachments.erase(it);
  for (const auto& attached : FInputAttachments)
    if (attached.second == thread) return;  // another window of that thread still shares it
  ::AttachThreadInput(::GetCurrentThreadId(), thread, FALSE);
}

void THookThread::ShowEdit(TWindowRec& rec) {
  AttachEditInput(rec);
  PaintEditBackground(WindowFromValue(rec.SearchBox), *rec.Edit);
  rec.Edit->SetParentWindow(WindowFromValue(rec.SearchBox));
  rec.Edit->Show();
}

void THookThread::EmptyEditQuietly(TWindowRec& rec) {
  rec.Edit->OnChange = nullptr;
  rec.Edit->SetText(u"");
  rec.Edit->OnChange = [this](TImageEdit& sender) { SearchEditChange(sender); };
  // Without the change event nothing else hides the button of the text that is gone.
  if (rec.Button) rec.Button->Hide();
}

// Each arrival in the box waits for a drop-down of its own: what an earlier wait counted or
// found (a drop-down that closed after the focus had left) must not hold this one up.
void THookThread::StartDropDownWait(TWindowRec& rec) {
  EndDropDownWait(rec);
  rec.NeedCheckFocus = true;
  if (rec.DropDownTimer) rec.DropDownTimer->SetEnabled(true);
}

void THookThread::EndDropDownWait(TWindowRec& rec) {
  rec.NeedCheckFocus = false;
  rec.FindDropDown = false;
  rec.TooltipCount = 0;
  if (rec.DropDownTimer) rec.DropDownTimer->SetEnabled(false);
}

// The drop-down did not come, or its end was missed (its windows were gone before their
// events were read, another window was in front meanwhile, a policy keeps it away): a box
// that still has the focus gets the edit all the same.
void THookThread::DropDownWaitOver(const std::u16string& key) {
  TWindowRec* rec = FWindowList->GetValue(key);
  if (!rec || !rec->Inited) return;
  if (!rec->NeedCheckFocus || rec->Edit->Visible() ||
      GetThreadFocus(WindowFromValue(rec->MainForm)) != WindowFromValue(rec->SearchBox)) {
    EndDropDownWait(*rec);
    return;
  }
  ShowEditAfterDropDown(*rec);
  Trace(L"DropDownWaitOver SetFocus " + TimeText());
}

void THookThread::ShowEditAfterDropDown(TWindowRec& rec) {
  EndDropDownWait(rec);
  rec.SkipFocusTick = ::GetTickCount();
  ShowEdit(rec);
  rec.Edit->SetFocus();
  if (::GetFocus() != rec.Edit->Edit().Handle()) {
    // Refused: a window of ours in front lets this process take the focus; the Explorer
    // window then gets the front back, since the edit's keystrokes reach it through it.
    ::SetForegroundWindow(FocusHostWindow());
    ::SetForegroundWindow(WindowFromValue(rec.MainForm));
    rec.Edit->SetFocus();
  }
}

void THookThread::CBTHookSetFocus(HWND newWindow, HWND oldWindow) {
  if (TWindowRec* old = RecordOf(oldWindow); old && ResultViewVisible(*old)) {
    FocusResultView(*old);
    ::BringWindowToTop(old->ResultView->Panel().Handle());
  }

  if (TWindowRec* front = ForegroundRecord(); front && front->Inited && front->Edit->Visible() &&
                                               WindowUnderCursor() == front->Edit->Edit().Handle()) {
    // A click into our own edit: its focus is ours already.
    if (!IsReallyWindows8OrGreater()) return;
    if (GetThreadFocus(WindowFromValue(front->MainForm)) == front->Edit->Edit().Handle()) return;
  }

  for (int i = 0; i < FWindowList->Count(); ++i) {
    TWindowRec* rec = FWindowList->GetByIndex(i);
    if (!rec || !rec->Inited) continue;
    if (newWindow && WindowValue(newWindow) == rec->SearchBox) {
      Trace(L"SkipFocusTick: " + std::to_wstring(rec->SkipFocusTick) +
            L", SkipCheckWindow: " + (rec->SkipCheckWindow ? L"True" : L"False"));
      if (Within(rec->SkipFocusTick, kSkipFocusWindow) || rec->SkipCheckWindow) return;
      if (IsReallyWindows8OrGreater()) {
        const std::u16string key = WindowKey(rec->MainForm);
        ShowEdit(*rec);
        if (Within(rec->LastSetFocusTick, kRefocusPause)) {
          PumpMessages(TQuitRule::qrRepost);  // the main loop still has to see a quit
          // Those messages may have retired the window.
          rec = FWindowList->GetValue(key);
          if (!rec || !rec->Edit) return;
        }
        rec->LastSetFocusTick = ::GetTickCount();
        rec->Edit->SetFocus();
        Trace(L"CBTHookSetFocus SetFocus " + TimeText());
      } else {
        Trace(L"CBTHookSetFocus NeedCheckFocus " + TimeText());
        StartDropDownWait(*rec);
      }
      return;
    }
    if (oldWindow && WindowValue(oldWindow) == rec->SearchBox) {
      EndDropDownWait(*rec);
      if (!rec->Edit->Visible()) rec->SkipFocusTick = 0;
      return;
    }
    if (!ExamineFocusChange(*rec, newWindow, oldWindow)) return;
  }
}

// Hides the record's edit when the focus left it for the navigation tree, or left the edit or
// the window with nothing typed. False when the handler is to stop here.
bool THookThread::ExamineFocusChange(TWindowRec& rec, HWND newWindow, HWND oldWindow) {
  HWND mainForm = WindowFromValue(rec.MainForm);
  if (!::IsWindow(mainForm) || !::IsWindow(WindowFromValue(rec.SearchBox))) {
    // The window vanished under the handler: it is retired by the loop.
    QueueDestroyedWindow(rec.MainForm);
    return false;
  }
  if (!rec.Edit->Visible()) return true;
  HWND inner = rec.Edit->Edit().Handle();
  const bool toTree = ::GetForegroundWindow() == mainForm && HasWindowClass(newWindow, kNavigationTree);
  if (inner != oldWindow && IsDescendantWindow(newWindow, mainForm) && !toTree) return true;
  Trace(L"CBTHookSetFocus KillFocus \"" + WindowClassName(newWindow) + L"\" " + TimeText());
  if (toTree || Trim(rec.Edit->Text()).empty()) DoKillFocus(rec, false);
  return inner != oldWindow;
}

void THookThread::FocusMessage(const MSG& msg) {
  const bool windows8 = IsReallyWindows8OrGreater();
  switch (msg.message) {
    case kCBTCreateWnd: {
      if (windows8) return;
      TWindowRec* rec = ForegroundRecord();
      if (!rec || !rec->Inited || !rec->NeedCheckFocus || rec->Edit->Visible() || rec->FindDropDown) return;
      HWND created = reinterpret_cast<HWND>(msg.wParam);
      if (WindowClassName(created).empty() || !HasWindowClass(created, kTooltipClass)) return;
      if (++rec->TooltipCount < kDropDownTooltips) return;
      // Explorer's drop-down under its box is open: close it; the edit follows its end.
      rec->TooltipCount = 0;
      Trace(L"CBTHookHookMessage VK_ESCAPE " + TimeText());
      rec->FindDropDown = true;
      PostEscape(WindowFromValue(rec->SearchBox));
      return;
    }
    case kCBTDestroyWnd: {
      if (windows8) return;
      TWindowRec* rec = ForegroundRecord();
      if (!rec || !rec->Inited || !rec->NeedCheckFocus || rec->Edit->Visible() || !rec->FindDropDown) return;
      ShowEditAfterDropDown(*rec);
      Trace(L"CBTHookHookMessage SetFocus " + TimeText());
      return;
    }
    case kCBTClickSkipped: {  // to a window that is not a key
      TWindowRec* rec = ForegroundRecord();
      if (!rec || !ResultViewVisible(*rec)) return;
      HWND target = reinterpret_cast<HWND>(msg.lParam);
      if (target == ResultViewWindow(*rec)) {
        if (windows8 && GetThreadFocus(WindowFromValue(rec->MainForm)) == target) return;
        FocusResultView(*rec);
      } else if (!windows8 && rec->Inited && rec->Edit->Visible() && target == rec->Edit->Edit().Handle()) {
        HWND under = WindowUnderCursor();
        if (under == target)
          rec->Edit->SetFocus();
        else if (under == ResultViewWindow(*rec))
          FocusResultView(*rec);
      }
      return;
    }
    default:
      return;
  }
}

void THookThread::DoKillFocus(TWindowRec& rec, bool restore) {
  Trace(std::wstring(L"SearchEditKillFocus DoKillFocus: ") + (restore ? L"True" : L"False"));
  EmptyEditQuietly(rec);
  DoSearch(*rec.Edit);
  rec.Edit->Hide();
  if (restore) {
    rec.SkipFocusTick = ::GetTickCount();
    HWND box = WindowFromValue(rec.SearchBox);
    ::SetFocus(box);
    PostEscape(box);
    PostEscape(box);
  }
  rec.LastKillFocusTick = ::GetTickCount();
}

void THookThread::SearchEditEscPress(TImageEdit& edit) {
  TWindowRec* rec = RecordOfEdit(edit);
  if (!rec) return;
  Trace(L"SearchEditEscPress KillFocus " + TimeText());
  DoKillFocus(*rec, true);
}

void THookThread::CloseButtonClick(TImageButton& button) {
  TWindowRec* rec = RecordOfButton(button);
  if (!rec) return;
  EmptyEditQuietly(*rec);
  rec->Timer->SetEnabled(false);
  DoSearch(*rec->Edit);
  if (!IsReallyWindows8OrGreater()) rec->Edit->SetFocus();
}
