#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "TestProcess.h"
#include "win/common/Handle.h"
#include "win/common/WideText.h"

// A test program that dies without cleaning up takes the processes it started with it.
TEST(ChildJob, ChildrenEndWithTheProgramThatStartedThem) {
  const std::wstring tag = std::to_wstring(::GetCurrentProcessId());
  const std::wstring event = L"ruvo-job-test-" + tag;
  const std::wstring pidFile = ExeDirectory() + L"job-test-" + tag + L".pid";
  UniqueKernelHandle ready(::CreateEventW(nullptr, TRUE, FALSE, event.c_str()));
  ASSERT_TRUE(ready);
  testing_support::ChildProcess parent(ExeDirectory() + L"job_parent.exe", event + L" \"" + pidFile + L"\"");
  ASSERT_TRUE(parent.Valid());
  ASSERT_EQ(::WaitForSingleObject(ready.get(), 20000), WAIT_OBJECT_0);
  EXPECT_EQ(parent.Wait(20000), 3);  // ended abruptly, as a crash would

  unsigned long pid = 0;
  FILE* f = _wfopen(pidFile.c_str(), L"r");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fscanf(f, "%lu", &pid), 1);
  std::fclose(f);
  ::DeleteFileW(pidFile.c_str());

  // Without the job the grandchild would wait a minute.
  UniqueKernelHandle child(::OpenProcess(SYNCHRONIZE, FALSE, pid));
  if (child) {
    EXPECT_EQ(::WaitForSingleObject(child.get(), 10000), WAIT_OBJECT_0);
  }
}
