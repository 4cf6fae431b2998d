#include "win/resultview/ListViewEx.h"

#include <uxtheme.h>
#include <windowsx.h>

#include <algorithm>
#include <stdexcept>

#include "core/ResultRowLayout.h"
#include "win/resultview/ListViewForm.h"

namespace {

int ScreenDpi() {
  WindowDc screen(nullptr);
  return ::GetDeviceCaps(screen.get(), LOGPIXELSY);
}

// Where a panel without a parent window waits: under the host form, or out of sight among
// the message-only windows before the host form exists.
HWND WaitingParent() { return frmListView && frmListView->HandleAllocated() ? frmListView->Handle() : HWND_MESSAGE; }

}  // namespace

TListViewEx::TListViewEx() : FPanel(std::make_unique<TListPanel>()) {
  if (!FPanel->CreateIn(WaitingParent())) throw std::runtime_error("Cannot create the result list panel");
  FPanel->OnNotify = [this](NMHDR& hdr) { return PanelNotify(hdr); };
  if (!CreateStandardWindow(WC_LISTVIEWW,
                            WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA |
                                LVS_NOCOLUMNHEADER | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS,
                            0, FPanel->Handle(), RECT{0, 0, 0, 0})) {
    throw std::runtime_error("Cannot create the result list");
  }
  if (!FStatusLabel.CreateIn(Handle())) throw std::runtime_error("Cannot create the result list's label");
  FStatusLabel.MoveTo(0, ScaleLength(row_metrics::kStatusLabelTop, ScreenDpi()));

  ListView_SetExtendedListViewStyle(Handle(), LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  ::SetWindowTheme(Handle(), L"Explorer", nullptr);
  ::SendMessageW(Handle(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS), 0);
  LVCOLUMNW column{};
  column.mask = LVCF_WIDTH;
  ListView_InsertColumn(Handle(), 0, &column);
  FitRowHeight();
  FGridPen.reset(::CreatePen(PS_SOLID, 1, kGridLineColor));
  FMatchPen.reset(::CreatePen(PS_SOLID, 1, kMatchFrameColor));
  FMatchBrush.reset(::CreateSolidBrush(kMatchFillColor));
  FTheme.reset(::OpenThemeData(Handle(), L"LISTVIEW"));
  UpdateThemeFonts();
  // The label starts with the text of its initial status, so showing it before any status
  // change never shows an empty label.
  FStatusLabel.SetCaption(kNoMatchText);
}

TListViewEx::~TListViewEx() {
  // The label goes with the list's window, the list's window with the panel.
  DestroyHandle();
  FPanel.reset();
}

void TListViewEx::FitRowHeight() {
  // The row height of a report list follows its small image list; an empty list of the row's
  // height sets it, corrected once by what the control actually makes of it.
  const int wanted = ScaleLength(row_metrics::kRowHeight, ScreenDpi());
  int imageHeight = wanted;
  for (int attempt = 0; attempt < 2; ++attempt) {
    FRowHeightImages.reset(::ImageList_Create(1, std::max(imageHeight, 1), ILC_COLOR32, 0, 1));
    ListView_SetImageList(Handle(), FRowHeightImages.get(), LVSIL_SMALL);
    ListView_SetItemCountEx(Handle(), 1, LVSICF_NOINVALIDATEALL);
    RECT r{};
    r.left = LVIR_BOUNDS;
    const bool measured = ::SendMessageW(Handle(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r)) != 0;
    ListView_SetItemCountEx(Handle(), 0, 0);
    const int actual = r.bottom - r.top;
    if (!measured || actual == wanted) break;
    imageHeight += wanted - actual;
  }
}

LRESULT TListViewEx::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  // Whatever asks the control about rows, or moves through them, sees every row added.
  const bool asksControl = msg >= LVM_FIRST && msg < LVM_FIRST + 0x100 && msg != LVM_SETITEMCOUNT;
  const bool input = (msg >= WM_KEYFIRST && msg <= WM_KEYLAST) || (msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST);
  if ((asksControl || input) && !FCountQueriesQuiet && FControlCount != FNodes.size()) FlushItemCount();
  switch (msg) {
    case WM_GETDLGCODE:
      return DefaultProc(msg, wp, lp) | DLGC_WANTTAB | DLGC_WANTARROWS;
    case WM_KEYUP: {
      const LRESULT result = DefaultProc(msg, wp, lp);
      ListViewKeyUp(wp);
      return result;
    }
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      RightButtonDown(POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
      return 0;
    case WM_RBUTTONUP:
      ListViewMouseUp(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_LBUTTONDBLCLK: {
      const LRESULT result = DefaultProc(msg, wp, lp);
      ListViewNodeDblClick(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return result;
    }
    case WM_MOUSEMOVE:
      TrackHotRow(POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
      break;
    case WM_MOUSELEAVE:
      FTrackingLeave = false;
      SetHotRow(-1);
      break;
    case WM_SIZE: {
      const LRESULT result = DefaultProc(msg, wp, lp);
      FitColumn();
      return result;
    }
    case WM_TIMER:
      if (wp == kCountTimer) {
        FlushItemCount();
        return 0;
      }
      break;
    case WM_THEMECHANGED: {
      const LRESULT result = DefaultProc(msg, wp, lp);
      WMThemeChanged();
      return result;
    }
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lp) == FStatusLabel.Handle()) {
        const auto dc = reinterpret_cast<HDC>(wp);
        ::SetTextColor(dc, FStatusLabel.TextColor);
        ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
      }
      break;
    default:
      break;
  }
  return DefaultProc(msg, wp, lp);
}

LRESULT TListViewEx::PanelNotify(NMHDR& hdr) {
  if (hdr.hwndFrom != Handle()) return 0;
  switch (hdr.code) {
    case NM_CUSTOMDRAW:
      return CustomDraw(reinterpret_cast<NMLVCUSTOMDRAW&>(hdr));
    case LVN_GETDISPINFOW:
      ListViewGetText(reinterpret_cast<NMLVDISPINFOW&>(hdr));
      return 0;
    case LVN_ODFINDITEMW:
      return -1;
    default:
      return 0;
  }
}

void TListViewEx::ListViewGetText(NMLVDISPINFOW& info) const {
  LVITEMW& item = info.item;
  if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
  if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= FNodes.size()) {
    item.pszText[0] = L'\0';
    return;
  }
  const std::u16string& path = FNodes[static_cast<std::size_t>(item.iItem)]->FullPath;
  const std::size_t n = std::min(path.size(), static_cast<std::size_t>(item.cchTextMax - 1));
  std::copy_n(reinterpret_cast<const wchar_t*>(path.data()), n, item.pszText);
  item.pszText[n] = L'\0';
}

void TListViewEx::FitColumn() {
  RECT client{};
  ::GetClientRect(Handle(), &client);
  ListView_SetColumnWidth(Handle(), 0, std::max<LONG>(client.right, 1));
}

void TListViewEx::SetBounds(int left, int top, int width, int height) {
  if (!FPanel->HandleAllocated()) return;
  FPanel->SetBounds(left, top, width, height);
  TWinControl::SetBounds(0, 0, width, height);
  CentreStatusLabel(width);
}

void TListViewEx::CentreStatusLabel(int width) {
  FStatusLabel.MoveTo((width - FStatusLabel.Width()) / 2, FStatusLabel.Top());
}

void TListViewEx::SetStatusLabel(bool visible, bool value) {
  if (visible != FStatusLabelVisible) {
    FStatusLabelVisible = visible;
    if (visible)
      FStatusLabel.Show();
    else
      FStatusLabel.Hide();
  }
  if (value != FStatusLabelValue) {
    FStatusLabelValue = value;
    FStatusLabel.SetCaption(value ? kSearchingText : kNoMatchText);
    CentreStatusLabel(Width());
  }
}

void TListViewEx::SetParentWindow(HWND parent) {
  FParentWindow = parent;
  if (!FPanel->HandleAllocated()) return;
  if (!parent) FPanel->Hide();
  ::SetParent(FPanel->Handle(), parent ? parent : WaitingParent());
}

void TListViewEx::SetSystemImages(HIMAGELIST images) {
  if (images == FSystemImages) return;
  FSystemImages = images;
  FFileIconTop = -1;  // another image size
  Invalidate();
}

void TListViewEx::SetFocus() {
  if (HandleAllocated()) ::SetFocus(Handle());
}

void TListViewEx::SyncItemCount(bool redrawAll) {
  if (FCountTimer) ::KillTimer(Handle(), kCountTimer);
  FCountTimer = false;
  FControlCount = FNodes.size();
  if (!HandleAllocated()) return;  // the window went with the one it was laid over
  ListView_SetItemCountEx(Handle(), static_cast<int>(FNodes.size()),
                          LVSICF_NOSCROLL | (redrawAll ? 0 : LVSICF_NOINVALIDATEALL));
  FLastCountSync = ::GetTickCount();
}

void TListViewEx::FlushItemCount() {
  if (FControlCount != FNodes.size()) SyncItemCount(false);
}

void TListViewEx::CountChanged() {
  // Telling the control its new row count updates its scroll bars, which costs far more than
  // adding a row: while rows pour in the control learns the count a few times a second.
  if (!HandleAllocated() || ::GetTickCount() - FLastCountSync >= kCountInterval) {
    SyncItemCount(false);
  } else if (!FCountTimer) {
    FCountTimer = ::SetTimer(Handle(), kCountTimer, kCountInterval, nullptr) != 0;
    if (!FCountTimer) SyncItemCount(false);
  }
}

void TListViewEx::Append(TShellObjectData data) {
  FNodes.push_back(std::make_unique<TShellObjectData>(std::move(data)));
  CountChanged();
}

void TListViewEx::InsertBefore(std::size_t index, TShellObjectData data) {
  if (index >= FNodes.size()) {
    Append(std::move(data));
    return;
  }
  // Selection and scrolling are read as the control has them, without telling it the count.
  FCountQueriesQuiet = true;
  const bool selection =
      ListView_GetSelectedCount(Handle()) > 0 || ListView_GetNextItem(Handle(), -1, LVNI_FOCUSED) >= 0;
  const int lastShown = ListView_GetTopIndex(Handle()) + ListView_GetCountPerPage(Handle());
  FCountQueriesQuiet = false;
  FNodes.insert(FNodes.begin() + static_cast<std::ptrdiff_t>(index),
                std::make_unique<TShellObjectData>(std::move(data)));
  if (selection) {
    // The control must know the new last row before selection can move onto it.
    SyncItemCount(true);
    ShiftSelection(index);
  } else {
    // The rows below the new one move down: repaint when that shows.
    if (static_cast<int>(index) <= lastShown) ::InvalidateRect(Handle(), nullptr, FALSE);
    CountChanged();
  }
}

void TListViewEx::ShiftSelection(std::size_t from) {
  // The control keeps selection by position: rows at and after an insertion move down one.
  const int focused = ListView_GetNextItem(Handle(), -1, LVNI_FOCUSED);
  std::vector<std::size_t> moved;
  for (std::size_t i : SelectedIndices())
    if (i >= from) moved.push_back(i);
  for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
    ListView_SetItemState(Handle(), static_cast<int>(*it), 0, LVIS_SELECTED);
    ListView_SetItemState(Handle(), static_cast<int>(*it + 1), LVIS_SELECTED, LVIS_SELECTED);
  }
  if (focused >= 0 && static_cast<std::size_t>(focused) >= from)
    ListView_SetItemState(Handle(), focused + 1, LVIS_FOCUSED, LVIS_FOCUSED);
}

void TListViewEx::Clear() {
  ListView_SetItemState(Handle(), -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  FNodes.clear();
  FHotRow = -1;
  SyncItemCount(true);
}

std::vector<std::size_t> TListViewEx::SelectedIndices() const {
  // Rows the control does not count yet cannot be selected.
  std::vector<std::size_t> out;
  if (!HandleAllocated()) return out;
  for (int i = ListView_GetNextItem(Handle(), -1, LVNI_SELECTED); i >= 0 && static_cast<std::size_t>(i) < FNodes.size();
       i = ListView_GetNextItem(Handle(), i, LVNI_SELECTED)) {
    out.push_back(static_cast<std::size_t>(i));
  }
  return out;
}

std::size_t TListViewEx::SelectedCount() const {
  return static_cast<std::size_t>(ListView_GetSelectedCount(Handle()));
}

void TListViewEx::DeleteSelected() {
  FlushItemCount();
  const std::vector<std::size_t> selected = SelectedIndices();
  if (selected.empty()) return;
  ListView_SetItemState(Handle(), -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  for (auto it = selected.rbegin(); it != selected.rend(); ++it)
    FNodes.erase(FNodes.begin() + static_cast<std::ptrdiff_t>(*it));
  FHotRow = -1;
  SyncItemCount(true);
}

RECT TListViewEx::ContentRect(std::size_t index) {
  FlushItemCount();
  RECT r{};
  r.left = LVIR_BOUNDS;
  if (index >= FNodes.size() ||
      !::SendMessageW(Handle(), LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r))) {
    return RECT{};
  }
  RECT client{};
  ::GetClientRect(Handle(), &client);
  r.right = std::max(r.right, client.right);
  r.left += ScaleLength(row_metrics::kContentLeft, ScreenDpi());
  return r;
}

int TListViewEx::RowAt(POINT client) {
  FlushItemCount();
  RECT clientRect{};
  ::GetClientRect(Handle(), &clientRect);
  if (!::PtInRect(&clientRect, client)) return -1;
  const int top = ListView_GetTopIndex(Handle());
  if (top < 0 || static_cast<std::size_t>(top) >= FNodes.size()) return -1;
  RECT first{};
  first.left = LVIR_BOUNDS;
  if (!::SendMessageW(Handle(), LVM_GETITEMRECT, static_cast<WPARAM>(top), reinterpret_cast<LPARAM>(&first)))
    return -1;
  const int height = first.bottom - first.top;
  if (height <= 0 || client.y < first.top) return -1;
  const int row = top + (client.y - first.top) / height;
  return static_cast<std::size_t>(row) < FNodes.size() ? row : -1;
}

void TListViewEx::TrackHotRow(POINT client) {
  if (!FTrackingLeave) {
    TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, Handle(), 0};
    FTrackingLeave = ::TrackMouseEvent(&tme) != FALSE;
  }
  SetHotRow(RowAt(client));
}

void TListViewEx::SetHotRow(int row) {
  if (row == FHotRow) return;
  for (int r : {FHotRow, row}) {
    if (r >= 0) ListView_RedrawItems(Handle(), r, r);
  }
  FHotRow = row;
}

void TListViewEx::SelectOnly(int row) {
  ListView_SetItemState(Handle(), -1, 0, LVIS_SELECTED);
  if (row >= 0) {
    ListView_SetItemState(Handle(), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetSelectionMark(Handle(), row);
  }
}
