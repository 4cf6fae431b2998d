#include <gtest/gtest.h>

#include <cstdint>

#include "win/common/WindowValue.h"

// A handle travels as its low 32 bits and comes back as the system widens it, by sign
// extension: from 0x80000000 up the upper half of a 64-bit handle is all ones.
TEST(WindowValue, WidensBySignExtension) {
  struct Case {
    std::uint32_t value;
    std::uint64_t widened64;
  };
  const Case cases[] = {
      {0x00000000u, 0x0000000000000000ull}, {0x00010062u, 0x0000000000010062ull},
      {0x7FFFFFFFu, 0x000000007FFFFFFFull}, {0x80000000u, 0xFFFFFFFF80000000ull},
      {0x80010062u, 0xFFFFFFFF80010062ull}, {0xFFFFFFFFu, 0xFFFFFFFFFFFFFFFFull},
  };
  for (const Case& c : cases) {
    const auto expected = static_cast<UINT_PTR>(sizeof(void*) == 8 ? c.widened64 : c.value);
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(WindowFromValue(c.value)), expected) << std::hex << c.value;
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(HookFromValue(c.value)), expected) << std::hex << c.value;
    EXPECT_EQ(WindowValue(WindowFromValue(c.value)), c.value);
    EXPECT_EQ(HookValue(HookFromValue(c.value)), c.value);
  }
}

TEST(WindowValue, RealWindowRoundTrips) {
  HWND wnd = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(wnd, nullptr);
  EXPECT_EQ(WindowFromValue(WindowValue(wnd)), wnd);
  EXPECT_TRUE(::IsWindow(WindowFromValue(WindowValue(wnd))));
  ::DestroyWindow(wnd);
}
