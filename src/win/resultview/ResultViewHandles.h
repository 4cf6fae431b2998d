#pragma once
// RAII owners the result view needs beyond win/common/Handle.h.
#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include "win/common/Handle.h"

struct ImageListTraits {
  using Type = HIMAGELIST;
  static Type Invalid() { return nullptr; }
  static bool Valid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::ImageList_Destroy(h); }
};
using UniqueImageList = UniqueHandle<ImageListTraits>;

struct ThemeTraits {
  using Type = HTHEME;
  static Type Invalid() { return nullptr; }
  static bool Valid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::CloseThemeData(h); }
};
using UniqueTheme = UniqueHandle<ThemeTraits>;

struct MenuTraits {
  using Type = HMENU;
  static Type Invalid() { return nullptr; }
  static bool Valid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::DestroyMenu(h); }
};
using UniqueMenu = UniqueHandle<MenuTraits>;
