#pragma once
// Helpers for the Explorer integration tests: the stand-in Explorer as a second process, real
// mouse and keyboard input, the OS family a test program runs as, and screenshots.
#include <windows.h>

#include <string>

#include "../../fixtures/explorer_standin/ExplorerStandIn.h"
#include "TestProcess.h"
#include "win/common/WideText.h"
#include "win/controls/DibImage.h"
#include "win/controls/WindowPicture.h"

namespace explorer_test {

// This program's file name.
std::wstring ExeName();
// Which family this test program runs as: its exe name ends in "_win10" for Windows 10.
bool RunsAsWindows10();
// The stand-in's flag for this program's family.
inline const wchar_t* StandInFamilyFlag() { return RunsAsWindows10() ? L"--win8" : L"--win7"; }

// A running stand-in Explorer; ended when the test is done.
class StandIn {
 public:
  explicit StandIn(const std::wstring& args)
      : process_(ExeDirectory() + L"explorer_standin.exe", std::wstring(StandInFamilyFlag()) + L" " + args) {}
  DWORD Pid() const { return process_.Pid(); }
  testing_support::ChildProcess& Process() { return process_; }
  // The visible top-level window with that title (a visible one is completely built).
  HWND Window(const wchar_t* title, const wchar_t* cls = kExplorerClass, DWORD ms = 10000) const;

 private:
  testing_support::ChildProcess process_;
};

// Explorer's search box and file-view host inside a stand-in window.
HWND SearchBoxOf(HWND top);
HWND FileViewHostOf(HWND top);
HWND TreeOf(HWND top);

// Real input: a left or right click at a window's client point, keys by virtual-key code, text.
void ClickAt(HWND window, int x, int y);
void RightClickAt(HWND window, int x, int y);
// A press and release of the mouse buttons `down` and `up` (MOUSEEVENTF_*) at a client point.
void ClickWith(HWND window, int x, int y, DWORD down, DWORD up);
void ClickCentre(HWND window);
void PressKey(WORD vk);
void TypeText(const std::wstring& text, DWORD pauseMs = 0);
// Clicks the tree's entry at that index (the stand-in lists locations, then places).
void ClickTreeItem(HWND tree, int index);

// Captures the screen area of a window and writes it as a PNG in the build tree.
bool SaveWindowShot(HWND window, const std::wstring& name, int margin = 0);
// Like SaveWindowShot of `area`, with this process's windows inside another process's window
// (which Wine does not draw on screen) painted in at their places.
bool SaveComposedShot(HWND area, const std::wstring& name, int margin = 0);

}  // namespace explorer_test
