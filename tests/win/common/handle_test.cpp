#include <gtest/gtest.h>

#include "win/common/Handle.h"
#include "win/common/WideText.h"

TEST(UniqueHandle, ClosesOnScopeEndAndMoves) {
  HANDLE raw;
  {
    UniqueKernelHandle ev(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(ev);
    raw = ev.get();
    UniqueKernelHandle moved(std::move(ev));
    EXPECT_FALSE(ev);
    EXPECT_EQ(moved.get(), raw);
    DWORD flags = 0;
    EXPECT_TRUE(::GetHandleInformation(raw, &flags));
  }
  DWORD flags = 0;
  EXPECT_FALSE(::GetHandleInformation(raw, &flags));  // closed by the destructor
}

TEST(WideText, ExeDirectoryAndErrorText) {
  const std::wstring dir = ExeDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), L'\\');
  EXPECT_FALSE(SystemErrorMessage(ERROR_ACCESS_DENIED).empty());
  EXPECT_NE(SystemErrorMessage(ERROR_ACCESS_DENIED).back(), L'\n');
}
