#pragma once
// Pictures of what is on screen: an area of the screen, windows of this process painted into
// it, and the result written as a PNG. Wine does not draw a window on screen when its parent
// belongs to another process, so such windows are painted in by the process that owns them.
#include <windows.h>

#include <string>

#include "win/controls/DibImage.h"

// The screen area `r` (screen coordinates) as it is shown now; empty when it cannot be read.
TDibImage CaptureScreen(const RECT& r);
// Paints `window` and its visible children, bottom first, into `picture` whose top-left corner
// is the screen point `origin`.
void PrintWindowTree(HWND window, TDibImage& picture, POINT origin);
// Paints every visible window of this process inside `parent` (at any depth below windows of
// other processes) in its stacking order, bottom first.
void PrintOwnWindows(HWND parent, TDibImage& picture, POINT origin);
// Writes the picture as an opaque PNG file; false when it is empty or cannot be written.
bool SaveOpaquePng(const TDibImage& picture, const std::wstring& path);
