// The host form of the result lists: its window, and the program making it at start-up.
#include <gtest/gtest.h>

#include "RequestRecorder.h"
#include "ResultViewTestSupport.h"
#include "TestProcess.h"

namespace {

using testing_support::ChildProcess;
using testing_support::WaitForProcessWindow;

void ExpectHostFormWindow(HWND form) {
  EXPECT_EQ(static_cast<DWORD>(::GetWindowLongW(form, GWL_STYLE)) & ~static_cast<DWORD>(WS_VISIBLE),
            static_cast<DWORD>(WS_POPUP | WS_CLIPSIBLINGS));
  EXPECT_EQ(static_cast<DWORD>(::GetWindowLongW(form, GWL_EXSTYLE)), static_cast<DWORD>(WS_EX_TOOLWINDOW));
  EXPECT_EQ(testing_support::WindowText(form), L"frmListView");
}

TEST(HostForm, WindowAndWaitingPanels) {
  {
    TfrmListView form;
    ASSERT_EQ(frmListView, &form);
    ExpectHostFormWindow(form.Handle());
    // A list without a parent window waits, hidden, under the host form, and goes there
    // again when its parent window is taken away.
    TListViewEx list;
    EXPECT_EQ(::GetParent(list.Panel().Handle()), form.Handle());
    EXPECT_EQ(list.ParentWindow(), nullptr);
    TestHost host(0, 0, 200, 100);
    list.SetParentWindow(host.get());
    EXPECT_EQ(::GetParent(list.Panel().Handle()), host.get());
    EXPECT_EQ(list.ParentWindow(), host.get());
    list.SetBounds(10, 20, 150, 60);
    EXPECT_EQ(list.Panel().BoundsRect().left, 10);
    EXPECT_EQ(list.Panel().BoundsRect().top, 20);
    EXPECT_EQ(list.Width(), 150);
    EXPECT_EQ(list.Height(), 60);
    list.Panel().Show();
    list.SetParentWindow(nullptr);
    EXPECT_EQ(::GetParent(list.Panel().Handle()), form.Handle());
    EXPECT_FALSE(::IsWindowVisible(list.Panel().Handle()));
  }
  EXPECT_EQ(frmListView, nullptr);
}

TEST(HostForm, ListOutlivingItsParentWindow) {
  TfrmListView form;
  auto list = std::make_unique<TListViewEx>();
  {
    TestHost host(0, 0, 200, 100);  // Explorer closing its window under the list
    list->SetParentWindow(host.get());
    list->Append(TShellObjectData{});
  }
  EXPECT_FALSE(list->HandleAllocated());
  EXPECT_EQ(list->Count(), 1u);
  list->SetBounds(0, 0, 10, 10);  // does nothing without the panel's window
  list->SetStatusLabel(true, true);
  EXPECT_TRUE(list->SelectedIndices().empty());
  list->DeleteSelected();
  list->InsertBefore(0, TShellObjectData{});
  EXPECT_EQ(list->Count(), 2u);
  list->Clear();
  list.reset();
}

TEST(HostForm, TheProgramMakesItAtStartUpZeroSizedAndShown) {
  testing_support::RequestRecorder service;  // without one the program installs the real service
  ChildProcess program(TestDirectory() + L"RuvoSearch.exe");
  ASSERT_TRUE(program.Valid());
  const HWND main = WaitForProcessWindow(program.Pid(), L"TfrmRuvoSearch", 15000);
  // Found once shown: the window exists a moment before its start-up has finished with it.
  const HWND form = WaitForProcessWindow(program.Pid(), L"TfrmListView", 15000, true);
  ASSERT_NE(form, nullptr);
  ExpectHostFormWindow(form);
  EXPECT_TRUE(::IsWindowVisible(form));
  RECT r{};
  ::GetWindowRect(form, &r);
  EXPECT_EQ(r.right - r.left, 0);
  EXPECT_EQ(r.bottom - r.top, 0);
  if (main) ::PostMessageW(main, WM_CLOSE, 10, 10);
  EXPECT_EQ(program.Wait(15000), 0);
}

}  // namespace
