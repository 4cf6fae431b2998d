#pragma once
// Per-pixel alpha drawing of a premultiplied 32-bit source.
#include <windows.h>

// AlphaBlend with AC_SRC_OVER and AC_SRC_ALPHA; the source constant alpha is `opacityPercent`
// (clamped to 0..100) times 2.55, rounded. True when the blend succeeded.
bool DrawAlpha(HDC dest, const RECT& destRect, HDC source, const RECT& sourceRect, int opacityPercent);
