// The window records: registration, the overlay controls laid over an Explorer window, their
// re-layout when the window changes size, and their release.
#include "app/HookThread.h"

#include <uxtheme.h>

#include "app/MainForm.h"
#include "win/common/Trace.h"
#include "win/controls/PngImage.h"
#include "win/shell/ShellUtils.h"

namespace {

struct TCloseButtonPictures {
  const wchar_t* normal;
  const wchar_t* over;
  const wchar_t* click;
};
constexpr TCloseButtonPictures kWindows8Pictures{L"Button_Close_10_Normal", L"Button_Close_10_Over",
                                                 L"Button_Close_10_Click"};
constexpr TCloseButtonPictures kWindows7Pictures{L"Button_Close_7_Normal", L"Button_Close_7_Over",
                                                 L"Button_Close_7_Click"};

TDibImage ProgramPicture(const wchar_t* name) {
  TPngImage png;
  png.LoadFromResource(::GetModuleHandleW(nullptr), name);
  return png;
}

int MeasureTextHeight(const TImageEdit& edit) {
  WindowDc dc(edit.Edit().Handle());
  SelectObjectScope font(dc.get(), edit.EditFont() ? static_cast<HGDIOBJ>(edit.EditFont())
                                                   : ::GetStockObject(DEFAULT_GUI_FONT));
  SIZE size{};
  ::GetTextExtentPoint32W(dc.get(), L"0", 1, &size);
  return size.cy;
}

}  // namespace

void THookThread::AddHookWindow(std::uint32_t window, TSearchType searchType) {
  const std::u16string key = WindowKey(window);
  if (FWindowList->GetIndex(key) >= 0) return;
  Trace(L"AddHookWindow: " + std::to_wstring(window) + L" SearchType: " +
        std::to_wstring(static_cast<int>(searchType)));
  auto* rec = new TWindowRec;
  rec->SearchType = searchType;
  rec->MainForm = window;
  FWindowList->AddItem(key, rec);
}

void THookThread::CreateOverlayControls(TWindowRec& rec) {
  rec.ResultList.clear();
  rec.Edit = std::make_unique<TImageEdit>();
  TImageEdit& edit = *rec.Edit;
  // The edit's windows are made under a window of ours, then it waits hidden, without parent,
  // until Explorer's box takes the focus.
  edit.SetParentWindow(FOwner ? FOwner->Handle() : HWND_MESSAGE);
  edit.DisableRightClick = true;
  edit.SetUseExplorerFont(true);
  edit.TextHeight = MeasureTextHeight(edit);
  edit.SetParentWindow(nullptr);
  edit.Hide();
  edit.OnChange = [this](TImageEdit& sender) { SearchEditChange(sender); };
  edit.OnEnterPress = [this](TImageEdit& sender) { SearchEditEnterPress(sender); };
  edit.OnEscPress = [this](TImageEdit& sender) { SearchEditEscPress(sender); };

  RECT box{};
  if (!::GetWindowRect(WindowFromValue(rec.SearchBox), &box)) box = RECT{};
  const int width = box.right - box.left, height = box.bottom - box.top;
  edit.SetBounds(0, 0, width, height);
  int top = (height - kCloseButtonSize) / 2;
  int left = width - kCloseButtonSize - top;
  if (!::IsThemeActive()) {
    top -= 1;
    left -= 2;
  }
  const bool windows8 = IsReallyWindows8OrGreater();
  if (!windows8) left += 2;
  rec.Button = std::make_unique<TImageButton>();
  rec.Button->CreateIn(edit.Edit().Handle(), RECT{left, top, left + kCloseButtonSize, top + kCloseButtonSize});
  rec.Button->OnClick = [this](TImageButton& sender) { CloseButtonClick(sender); };
  const TCloseButtonPictures& pictures = windows8 ? kWindows8Pictures : kWindows7Pictures;
  rec.Button->SetPngNormal(ProgramPicture(pictures.normal));
  rec.Button->SetPngOver(ProgramPicture(pictures.over));
  rec.Button->SetPngClick(ProgramPicture(pictures.click));

  rec.Timer = std::make_unique<TTimer>();
  rec.Timer->SetInterval(kSearchDelay);
  rec.Timer->OnTimer = [this](TTimer& sender) { SearchTimerTimer(sender); };
  if (!windows8) {
    rec.DropDownTimer = std::make_unique<TTimer>();
    rec.DropDownTimer->SetInterval(kDropDownWait);
    rec.DropDownTimer->OnTimer = [this, key = WindowKey(rec.MainForm)](TTimer&) { DropDownWaitOver(key); };
  }
  rec.Inited = true;
}

void THookThread::WindowListDelete(TWindowRec* rec) {
  if (!rec) return;
  DetachEditInput(*rec);
  // Each field is cleared before its control goes, so no handler finds a half-freed one; the
  // button's window goes with the edit's inner control, its parent.
  std::unique_ptr<TImageEdit> edit = std::move(rec->Edit);
  edit.reset();
  std::unique_ptr<TImageButton> button = std::move(rec->Button);
  button.reset();
  rec->ResultList.clear();
  DropResultView(*rec);
  std::unique_ptr<TTimer> timer = std::move(rec->Timer);
  timer.reset();
  std::unique_ptr<TTimer> dropDownTimer = std::move(rec->DropDownTimer);
  dropDownTimer.reset();
  delete rec;
}

TWindowRec* THookThread::RecordOf(HWND window) const {
  if (!window) return nullptr;
  return FWindowList->GetValue(WindowKey(WindowValue(window)));
}

TWindowRec* THookThread::ForegroundRecord() const { return RecordOf(::GetForegroundWindow()); }

TWindowRec* THookThread::RecordOfEdit(const TImageEdit& edit) const {
  for (int i = 0; i < FWindowList->Count(); ++i)
    if (TWindowRec* rec = FWindowList->GetByIndex(i); rec && rec->Edit.get() == &edit) return rec;
  return nullptr;
}

TWindowRec* THookThread::RecordOfButton(const TImageButton& button) const {
  for (int i = 0; i < FWindowList->Count(); ++i)
    if (TWindowRec* rec = FWindowList->GetByIndex(i); rec && rec->Button.get() == &button) return rec;
  return nullptr;
}

TWindowRec* THookThread::RecordOfTimer(const TTimer& timer) const {
  for (int i = 0; i < FWindowList->Count(); ++i)
    if (TWindowRec* rec = FWindowList->GetByIndex(i); rec && rec->Timer.get() == &timer) return rec;
  return nullptr;
}

void THookThread::CBTHookHookMessage(MSG& msg, bool&) {
  bool targetIsKey = false;
  SizeMessage(msg, targetIsKey);
  if (!targetIsKey) FocusMessage(msg);
}

void THookThread::SizeMessage(const MSG& msg, bool& targetIsKey) {
  switch (msg.message) {
    case kCBTMoveSize: {
      TWindowRec* rec = RecordOf(reinterpret_cast<HWND>(msg.wParam));
      RECT r{};
      if (rec && ResultViewVisible(*rec) && ::GetWindowRect(WindowFromValue(rec->FileHandle), &r)) {
        FNeedCheckSize = false;
        LayResultView(*rec, r);
      }
      break;
    }
    case kCBTMinMax: {
      TWindowRec* rec = RecordOf(reinterpret_cast<HWND>(msg.wParam));
      if (rec && ResultViewVisible(*rec)) ScheduleSizeCheck();
      break;
    }
    case kCBTClickSkipped: {
      TWindowRec* rec = RecordOf(reinterpret_cast<HWND>(msg.lParam));
      targetIsKey = rec != nullptr;
      // Dragging a border: keep re-laying until a move-size start settles it.
      if (rec && ResultViewVisible(*rec)) RequestSizeCheck();
      break;
    }
    default:
      break;
  }
}

void THookThread::CheckResultViewSize() {
  TWindowRec* rec = ForegroundRecord();
  if (!rec || !ResultViewVisible(*rec)) {
    FCheckSizeTick = 0;
    return;
  }
  if (::IsIconic(WindowFromValue(rec->MainForm))) {
    FCheckSizeTick = ::GetTickCount();
    return;
  }
  RECT host{}, list{};
  if (!::GetWindowRect(WindowFromValue(rec->FileHandle), &host) || !ResultViewRect(*rec, list)) return;
  if (!::EqualRect(&host, &list)) {
    LayResultView(*rec, host);
    FCheckSizeTick = ::GetTickCount();
  } else if (!FNeedCheckSize) {
    FCheckSizeTick = 0;
  }
}
