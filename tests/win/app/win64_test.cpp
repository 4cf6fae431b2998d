// Run in a 64-bit prefix: the 32-bit program refuses to run on 64-bit Windows before it
// creates its instance mutex.
#include <gtest/gtest.h>

#include "TestProcess.h"

using namespace testing_support;

TEST(ProgramOn64BitWindows, RefusesToRunAndCreatesNoMutex) {
  BOOL wow64 = FALSE;
  ::IsWow64Process(::GetCurrentProcess(), &wow64);
  if (!wow64) GTEST_SKIP() << "not a 64-bit prefix";
  ChildProcess p(ExeDirectory() + L"RuvoSearch.exe");
  ASSERT_TRUE(p.Valid());
  HWND box = WaitForProcessWindow(p.Pid(), L"#32770", 20000, true);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(WindowText(box), L"Ruvoso");
  EXPECT_TRUE(Contains(DialogStaticTexts(box), L"64位系统请使用64位专用版本。"));
  UniqueKernelHandle m(::OpenMutexW(SYNCHRONIZE, FALSE, L"RuvoSearch.{1759DA90-5641-4B2F-87EE-EA112C3374C0}"));
  EXPECT_FALSE(m);
  EXPECT_EQ(FindProcessWindow(p.Pid(), L"TfrmRuvoSearch"), nullptr);
  ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(p.Wait(10000), 0);
}
