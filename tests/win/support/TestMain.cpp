// The entry of every Wine test program. A program all of whose tests were skipped (a check that
// means nothing in this prefix) ends with 77, which CTest reports as skipped, not as passed.
#include <gtest/gtest.h>

#include "ScmTestSupport.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // A program run by a test installs and starts the search service when it cannot reach one;
  // no program's service outlives it into the next test program.
  scm_testing::RemoveService(L"RuvoSearchService");
  const int result = RUN_ALL_TESTS();
  scm_testing::RemoveService(L"RuvoSearchService");
  const testing::UnitTest& run = *testing::UnitTest::GetInstance();
  if (result == 0 && run.test_to_run_count() > 0 && run.skipped_test_count() == run.test_to_run_count()) return 77;
  return result;
}
