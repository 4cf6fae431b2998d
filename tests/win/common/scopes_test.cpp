// The generic scopes: each restores what it changed, whatever happens inside.
#include <gtest/gtest.h>

#include <thread>

#include "win/common/ComScope.h"
#include "win/common/ErrorModeScope.h"

TEST(ErrorModeScope, RestoresTheModeAndKeepsTheLastErrorOfItsCalls) {
  const UINT before = ::SetErrorMode(0);
  ::SetErrorMode(SEM_NOGPFAULTERRORBOX);
  {
    const ErrorModeScope quiet(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    EXPECT_EQ(::GetErrorMode(), static_cast<UINT>(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX));
    ::SetLastError(ERROR_MOD_NOT_FOUND);
  }
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(::GetErrorMode(), static_cast<UINT>(SEM_NOGPFAULTERRORBOX));
  ::SetErrorMode(before);
}

namespace {

bool ComReady() {
  APTTYPE type{};
  APTTYPEQUALIFIER qualifier{};
  return SUCCEEDED(::CoGetApartmentType(&type, &qualifier));
}

}  // namespace

TEST(ComScope, SetsUpComForTheScopeAndLeavesAnotherApartmentAlone) {
  std::thread([] {
    EXPECT_FALSE(ComReady());
    {
      const ComScope com;
      EXPECT_TRUE(ComReady());
    }
    EXPECT_FALSE(ComReady());
    // A thread already in the multithreaded apartment keeps it past the scope.
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    {
      const ComScope com;
      EXPECT_TRUE(ComReady());
    }
    EXPECT_TRUE(ComReady());
    ::CoUninitialize();
  }).join();
}
