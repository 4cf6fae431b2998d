#include <gtest/gtest.h>

#include "win/common/Handle.h"
#include "win/common/WideText.h"

namespace {

bool HandleOpen(HANDLE h) {
  DWORD flags = 0;
  return ::GetHandleInformation(h, &flags) != FALSE;
}

}  // namespace

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

TEST(UniqueHandle, MoveAssignmentClosesWhatTheTargetHeldAndReleaseGivesUpOwnership) {
  UniqueKernelHandle target(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueKernelHandle source(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(target && source);
  const HANDLE old = target.get();
  const HANDLE moving = source.get();
  target = std::move(source);
  EXPECT_FALSE(HandleOpen(old));
  EXPECT_EQ(target.get(), moving);
  EXPECT_FALSE(source);

  const HANDLE released = target.release();
  EXPECT_FALSE(target);
  EXPECT_TRUE(HandleOpen(released));  // the caller owns it now
  ::CloseHandle(released);
}

TEST(UniqueHandle, PutClosesTheOldHandleAndTakesTheFilledOne) {
  UniqueKernelHandle source(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueKernelHandle copy(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(source && copy);
  const HANDLE old = copy.get();
  HANDLE* out = copy.put();
  EXPECT_FALSE(HandleOpen(old));
  EXPECT_FALSE(copy);
  ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), source.get(), ::GetCurrentProcess(), out, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
  ASSERT_TRUE(copy);
  ::SetEvent(source.get());
  EXPECT_EQ(::WaitForSingleObject(copy.get(), 0), WAIT_OBJECT_0);  // the same event

  UniqueFileHandle file;
  EXPECT_EQ(*file.put(), INVALID_HANDLE_VALUE);  // each kind's own "none"
}

TEST(UniqueHandle, GdiObjectsAndDcsAreDeleted) {
  HDC dcRaw;
  HBITMAP bitmapRaw;
  HBRUSH brushRaw;
  HFONT fontRaw;
  {
    UniqueDc dc(::CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    UniqueBitmap bitmap(::CreateCompatibleBitmap(dc.get(), 4, 4));
    UniqueBrush brush(::CreateSolidBrush(RGB(1, 2, 3)));
    LOGFONTW lf{};
    lf.lfHeight = 12;
    UniqueFont font(::CreateFontIndirectW(&lf));
    ASSERT_TRUE(bitmap && brush && font);
    dcRaw = dc.get();
    bitmapRaw = bitmap.get();
    brushRaw = brush.get();
    fontRaw = font.get();
    EXPECT_EQ(::GetObjectType(dcRaw), static_cast<DWORD>(OBJ_MEMDC));
    EXPECT_EQ(::GetObjectType(bitmapRaw), static_cast<DWORD>(OBJ_BITMAP));
    EXPECT_EQ(::GetObjectType(brushRaw), static_cast<DWORD>(OBJ_BRUSH));
    EXPECT_EQ(::GetObjectType(fontRaw), static_cast<DWORD>(OBJ_FONT));
  }
  EXPECT_EQ(::GetObjectType(dcRaw), 0u);
  EXPECT_EQ(::GetObjectType(bitmapRaw), 0u);
  EXPECT_EQ(::GetObjectType(brushRaw), 0u);
  EXPECT_EQ(::GetObjectType(fontRaw), 0u);
}

TEST(UniqueHandle, ModuleIsFreed) {
  // A system library this program has not loaded, so the owner's reference is the only one.
  const wchar_t* name = nullptr;
  for (const wchar_t* candidate : {L"msimg32.dll", L"mpr.dll", L"version.dll", L"imagehlp.dll"}) {
    if (!::GetModuleHandleW(candidate)) {
      name = candidate;
      break;
    }
  }
  ASSERT_NE(name, nullptr);
  {
    UniqueModule module(::LoadLibraryW(name));
    ASSERT_TRUE(module);
    EXPECT_EQ(::GetModuleHandleW(name), module.get());
  }
  EXPECT_EQ(::GetModuleHandleW(name), nullptr);
}

TEST(WideText, ExeDirectoryAndErrorText) {
  const std::wstring dir = ExeDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), L'\\');
  EXPECT_FALSE(SystemErrorMessage(ERROR_ACCESS_DENIED).empty());
  EXPECT_NE(SystemErrorMessage(ERROR_ACCESS_DENIED).back(), L'\n');
}
