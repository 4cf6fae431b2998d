#pragma once
// The result list laid over an Explorer window's file view: a comctl32 owner-data list view
// whose rows (one TShellObjectData each) live in this object, painted row by row by the list
// itself, inside a container panel, with a status label in its middle.
//
// Placement: the panel's window is a child of the window given as ParentWindow (Explorer's
// file-view host); without one it waits hidden under the host form frmListView. SetBounds
// places the panel in its parent; the list always fills the panel.
//
// Mouse: a double click runs the item; releasing the right button shows the shell's context
// menu on the selection (with one row or none selected, the row under the mouse is selected
// first; with several selected the selection is kept). After the menu's "delete" the selected
// rows go; after its "open" the list runs the selected items itself, asking first when 15 or
// more are selected. F3 and Ctrl+F raise OnSearchKeyPress. All on the thread that made the list.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "win/common/Handle.h"
#include "win/controls/WinControl.h"
#include "win/resultview/ListPanel.h"
#include "win/resultview/ShellContextMenu.h"
#include "win/resultview/ShellObjectData.h"
#include "win/resultview/StatusLabel.h"

class TListViewEx : public TWinControl {
 public:
  static constexpr wchar_t kNoMatchText[] = L"没有与搜索条件匹配的项。";
  static constexpr wchar_t kSearchingText[] = L"正在搜索...";
  static constexpr wchar_t kDateLabel[] = L"修改日期:";
  static constexpr wchar_t kSizeLabel[] = L"大小:";
  static constexpr wchar_t kOpenQuestion[] = L"是否确实要打开 %d 个文件？";
  static constexpr wchar_t kMessageCaption[] = L"Ruvoso";
  static constexpr std::size_t kOpenQuestionThreshold = 15;
  static constexpr COLORREF kDetailsLabelColor = RGB(109, 109, 109);
  static constexpr COLORREF kGridLineColor = RGB(220, 220, 220);
  static constexpr COLORREF kMatchFillColor = RGB(255, 255, 178);
  static constexpr COLORREF kMatchFrameColor = RGB(255, 253, 0);

  // Creates the panel, the list and the label (under frmListView when it exists) and reads
  // the theme's fonts. Throws std::runtime_error when the windows cannot be made.
  TListViewEx();
  ~TListViewEx() override;

  // Places the panel in its parent window and the list in the panel, and centres the label.
  // Nothing happens when the panel has no window.
  void SetBounds(int left, int top, int width, int height);
  // Shows or hides the label, and sets its text: false = "no match", true = "searching".
  void SetStatusLabel(bool visible, bool value);
  bool StatusLabelVisible() const { return FStatusLabelVisible; }
  bool StatusLabelValue() const { return FStatusLabelValue; }
  HWND StatusLabel() const { return FStatusLabel.Handle(); }

  // The window the panel is a child of (null: none given; the panel then waits, hidden,
  // under the host form). Setting it re-parents the panel's window, also into a window of
  // another process.
  HWND ParentWindow() const { return FParentWindow; }
  void SetParentWindow(HWND parent);
  // The container window; show, hide and bring it to the top through it.
  TWinControl& Panel() { return *FPanel; }

  // The image list the row icons come from (the shell's large system icons); not owned.
  HIMAGELIST SystemImages() const { return FSystemImages; }
  void SetSystemImages(HIMAGELIST images);
  // A number the owner keeps with the list (the Explorer window's handle).
  std::uint32_t Tag() const { return FTag; }
  void SetTag(std::uint32_t tag) { FTag = tag; }
  // The folder the Explorer window shows; shell menu names are given relative to it.
  const std::u16string& SearchPath() const { return FSearchPath; }
  void SetSearchPath(std::u16string path) { FSearchPath = std::move(path); }
  // Raised on F3 and on Ctrl+F.
  std::function<void(TListViewEx&)> OnSearchKeyPress;

  // Re-reads the fonts of the rows and of the label from the visual theme (or the list's own
  // font without one). Runs at construction and on WM_THEMECHANGED.
  void UpdateThemeFonts();
  void SetFocus();

  // Rows, in display order.
  std::size_t Count() const { return FNodes.size(); }
  const TShellObjectData& Node(std::size_t index) const { return *FNodes[index]; }
  void Append(TShellObjectData data);
  // Inserts before the row at index; at or past the end it appends.
  void InsertBefore(std::size_t index, TShellObjectData data);
  // Removes every row.
  void Clear();
  std::vector<std::size_t> SelectedIndices() const;
  std::size_t SelectedCount() const;
  // Removes the selected rows.
  void DeleteSelected();
  // A row's content rectangle in client coordinates (the row without the list's margin).
  RECT ContentRect(std::size_t index);

  // Shows the shell's context menu; the shell's by default. Tests put their own in its place.
  using TShellMenu = std::function<void(HWND owner, POINT screenPoint, const std::wstring& folder,
                                        const std::vector<std::wstring>& names, std::wstring& verb,
                                        const TShellMenuOptions& options)>;
  TShellMenu ShellMenu = &ShowShellContextMenu;

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  // Handlers of the list's events.
  void ListViewDrawText(HDC dc, const TShellObjectData& d, const RECT& r, bool selected);
  void ListViewGetText(NMLVDISPINFOW& info) const;
  void ListViewKeyUp(WPARAM key);
  void ListViewMouseUp(int x, int y);  // right button
  void ListViewNodeDblClick(int x, int y);
  void WMThemeChanged();

  // Painting.
  LRESULT CustomDraw(NMLVCUSTOMDRAW& cd);
  void PaintRow(HDC dc, std::size_t index, const RECT& row);
  void PaintRowBackground(HDC dc, const RECT& row, bool selected, bool hot);
  COLORREF ValueColor(bool selected) const;
  COLORREF LabelColor(bool selected) const;

  // Mouse and rows.
  LRESULT PanelNotify(NMHDR& hdr);
  int RowAt(POINT client);
  void RightButtonDown(POINT client);
  void TrackHotRow(POINT client);
  void SetHotRow(int row);
  void SelectOnly(int row);
  void ShiftSelection(std::size_t from);
  void SyncItemCount(bool redrawAll);
  void FlushItemCount();
  void CountChanged();
  void FitColumn();
  void FitRowHeight();
  void CentreStatusLabel(int width);
  void OpenSelected();

  // Fields the owner and the painting share, in the list's order.
  std::unique_ptr<TListPanel> FPanel;
  HIMAGELIST FSystemImages = nullptr;
  TStatusLabel FStatusLabel;
  bool FStatusLabelVisible = false;
  bool FStatusLabelValue = false;
  int FFileIconTop = -1;  // icon's offset below the row's top; -1 until the first row is painted
  LOGFONTW FBaseLogFont{};
  LOGFONTW FFileNameLogFont{};
  std::u16string FSearchPath;

  HWND FParentWindow = nullptr;
  std::uint32_t FTag = 0;
  std::vector<std::unique_ptr<TShellObjectData>> FNodes;
  UniqueFont FBaseFont, FNameFont, FLabelFont;
  int FNameTextHeight = 0;
  UniqueTheme FTheme;  // the list view part of the window's visual style
  UniqueImageList FRowHeightImages;  // an empty image list that sets the row height
  UniquePen FGridPen, FMatchPen;
  UniqueBrush FMatchBrush;
  int FHotRow = -1;
  static constexpr UINT_PTR kCountTimer = 1;
  static constexpr DWORD kCountInterval = 40;  // ms between row counts told to the control
  std::size_t FControlCount = 0;  // rows the control knows of
  DWORD FLastCountSync = 0;
  bool FCountTimer = false;
  bool FCountQueriesQuiet = false;  // our own reads of the control that need no count
  bool FTrackingLeave = false;
  // Goes with the list, so that code resumed after a modal loop (the shell menu) in which the
  // list was destroyed sees it and touches nothing.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};
