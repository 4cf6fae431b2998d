#include "win/controls/DrawAlpha.h"

#include <algorithm>
#include <cmath>

bool DrawAlpha(HDC dest, const RECT& destRect, HDC source, const RECT& sourceRect, int opacityPercent) {
  const int percent = std::clamp(opacityPercent, 0, 100);
  BLENDFUNCTION blend{};
  blend.BlendOp = AC_SRC_OVER;
  blend.SourceConstantAlpha = static_cast<BYTE>(std::lround(percent * 2.55));
  blend.AlphaFormat = AC_SRC_ALPHA;
  return ::AlphaBlend(dest, destRect.left, destRect.top, destRect.right - destRect.left,
                      destRect.bottom - destRect.top, source, sourceRect.left, sourceRect.top,
                      sourceRect.right - sourceRect.left, sourceRect.bottom - sourceRect.top, blend) != FALSE;
}
