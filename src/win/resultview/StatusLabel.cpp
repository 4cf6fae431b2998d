#include "win/resultview/StatusLabel.h"

#include "win/common/Handle.h"

bool TStatusLabel::CreateIn(HWND parent) {
  return CreateStandardWindow(L"STATIC", WS_CHILD | SS_LEFT | SS_NOPREFIX, 0, parent, RECT{0, 0, 0, 0});
}

void TStatusLabel::SetCaption(const std::wstring& text) {
  if (!HandleAllocated()) return;
  ::SetWindowTextW(Handle(), text.c_str());
  WindowDc dc(Handle());
  const auto font = reinterpret_cast<HFONT>(::SendMessageW(Handle(), WM_GETFONT, 0, 0));
  SelectObjectScope select(dc.get(), font ? static_cast<HGDIOBJ>(font) : ::GetStockObject(SYSTEM_FONT));
  SIZE size{};
  ::GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
  ::SetWindowPos(Handle(), nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TStatusLabel::SetFont(HFONT font) {
  if (!HandleAllocated()) return;
  ::SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  wchar_t text[128] = L"";
  ::GetWindowTextW(Handle(), text, 128);
  SetCaption(text);
}

void TStatusLabel::MoveTo(int left, int top) {
  if (HandleAllocated()) ::SetWindowPos(Handle(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
