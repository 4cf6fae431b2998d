#include "TestSupport.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

LRESULT CALLBACK HostProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcW(wnd, msg, wp, lp); }

}  // namespace

TestHost::TestHost(int x, int y, int width, int height, COLORREF background) : brush_(CreateSolidBrush(background)) {
  static const ATOM atom = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"RuvoControlsTestHost";
    return RegisterClassW(&wc);
  }();
  wnd_.reset(CreateWindowExW(0, MAKEINTATOM(atom), L"host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, x, y, width,
                             height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
  SetClassLongPtrW(wnd_.get(), GCLP_HBRBACKGROUND, reinterpret_cast<LONG_PTR>(brush_.get()));
  InvalidateRect(wnd_.get(), nullptr, TRUE);
  UpdateWindow(wnd_.get());
}

COLORREF ClientPixel(HWND wnd, int x, int y) {
  RedrawWindow(wnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  WindowDc dc(wnd);
  return GetPixel(dc.get(), x, y);
}

std::string EncodePng(int width, int height, const std::vector<std::uint8_t>& rgba) {
  std::string raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back('\0');
    raw.append(reinterpret_cast<const char*>(rgba.data()) + static_cast<std::size_t>(y) * width * 4,
               static_cast<std::size_t>(width) * 4);
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
           static_cast<uLong>(raw.size()));
  packed.resize(packedSize);
  auto be32 = [](std::uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
  };
  auto chunk = [&](const char* tag, const std::string& data) {
    std::string body = std::string(tag, 4) + data;
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
    return be32(static_cast<std::uint32_t>(data.size())) + body + be32(crc);
  };
  std::string ihdr = be32(static_cast<std::uint32_t>(width)) + be32(static_cast<std::uint32_t>(height));
  ihdr += std::string{8, 6, 0, 0, 0};
  return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", packed) + chunk("IEND", "");
}

COLORREF BlendOver(std::uint32_t p, COLORREF below) {
  const int a = static_cast<int>(p >> 24);
  auto ch = [&](int src, int dst) { return src + (dst * (255 - a) + 127) / 255; };
  return RGB(ch((p >> 16) & 0xFF, GetRValue(below)), ch((p >> 8) & 0xFF, GetGValue(below)),
             ch(p & 0xFF, GetBValue(below)));
}

bool Near(COLORREF a, COLORREF b, int tolerance) {
  return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
         std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

TDibImage SolidPicture(int width, int height, std::uint32_t pixel) {
  TDibImage picture;
  if (picture.Create(width, height)) std::fill_n(picture.Bits(), width * height, pixel);
  return picture;
}
