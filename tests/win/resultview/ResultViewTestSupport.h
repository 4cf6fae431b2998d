#pragma once
// Helpers of the result view tests: a temporary folder with real files, a list laid into a
// visible host window, and pixels read back from the screen.
#include <windows.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "app/WindowRec.h"
#include "win/resultview/ListViewEx.h"
#include "win/resultview/ListViewForm.h"

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
 public:
  explicit TempFolder(const std::wstring& name);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  // The folder with a trailing backslash.
  const std::wstring& Path() const { return path_; }
  // Creates a file (with its folders) holding `bytes` bytes; returns its full path.
  std::wstring File(const std::wstring& relative, std::size_t bytes = 1) const;
  std::wstring Folder(const std::wstring& relative) const;

 private:
  std::wstring path_;
};

// The host form and one list laid into a visible window of its own, as the program lays a
// list over Explorer's file view.
class ListFixture {
 public:
  ListFixture(int x, int y, int width, int height);
  ~ListFixture();
  TListViewEx& List() { return *list_; }
  HWND Host() const { return host_.get(); }

 private:
  std::unique_ptr<TfrmListView> form_;
  TestHost host_;
  std::unique_ptr<TListViewEx> list_;
};

// The pixels shown in a window's client rectangle, after pending painting, as far as the
// screen reaches.
TDibImage CaptureClient(HWND wnd);
COLORREF PixelAt(const TDibImage& shot, int x, int y);

// Sends a mouse click of the given buttons (MOUSEEVENTF_*DOWN | ...UP) at a screen point.
void ClickAt(POINT screen, DWORD down, DWORD up, bool twice = false);

// The directory of the test program, with a trailing backslash.
std::wstring TestDirectory();

// A helper thread that plays the user at a popup menu or dialog of this process while the
// main thread sits in its modal loop. Every wait is bounded.
class MenuRobot {
 public:
  enum class Action { Dismiss, Choose };
  // Waits up to ms for a popup menu; then dismisses it or clicks the item whose text
  // contains `item` (the "&" of mnemonics ignored). Dialogs that come up afterwards within
  // the same time are answered with dialogAnswer (IDYES, IDNO, ...; 0 leaves them alone).
  MenuRobot(Action action, std::wstring item = L"", int dialogAnswer = 0, DWORD ms = 8000);
  // Waits up to ms for a dialog (not a menu) and answers it with `answer`, noting its texts.
  static MenuRobot ForDialog(int answer, DWORD ms = 8000);
  ~MenuRobot();
  MenuRobot(MenuRobot&&) noexcept;
  MenuRobot(const MenuRobot&) = delete;
  MenuRobot& operator=(const MenuRobot&) = delete;

  // What the robot saw; valid after Join.
  void Join();
  bool SawMenu() const;
  const std::vector<std::wstring>& MenuItems() const;
  bool SawCallbackWindow() const;
  const std::vector<std::wstring>& DialogTexts() const;  // static texts of dialogs seen
  const std::vector<std::wstring>& DialogCaptions() const;

 private:
  struct State;
  MenuRobot() = default;
  std::unique_ptr<State> state_;
};

// Copies the run recorder under the given name into the folder; returns its path.
std::wstring CopyRunRecorder(const TempFolder& folder, const std::wstring& name);
// How often each program of the folder ran, by file name, from its runs.log.
std::vector<std::wstring> RunsRecorded(const TempFolder& folder);
