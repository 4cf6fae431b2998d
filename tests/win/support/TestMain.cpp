// The entry of every Wine test program. A program all of whose tests were skipped (a check that
// means nothing in this prefix) ends with 77, which CTest reports as skipped, not as passed.
#include <gtest/gtest.h>

#include <windows.h>

#include "ScmTestSupport.h"
#include "win/common/Handle.h"

namespace {
// Tells the script that started the program that the test run reached its end: Wine can end a
// process that crashed with exit code 0, which would otherwise read as a pass.
void MarkRunEnded() {
  wchar_t path[MAX_PATH] = L"";
  const DWORD length = ::GetEnvironmentVariableW(L"RUVO_TEST_END_MARK", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  UniqueFileHandle mark(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  DWORD written = 0;
  if (mark) ::WriteFile(mark.get(), "ended", 5, &written, nullptr);
}
}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // A program run by a test installs and starts the search service when it cannot reach one;
  // no program's service outlives it into the next test program.
  scm_testing::RemoveService(L"RuvoSearchService");
  const int result = RUN_ALL_TESTS();
  scm_testing::RemoveService(L"RuvoSearchService");
  MarkRunEnded();
  const testing::UnitTest& run = *testing::UnitTest::GetInstance();
  if (result == 0 && run.test_to_run_count() > 0 && run.skipped_test_count() == run.test_to_run_count()) return 77;
  return result;
}
