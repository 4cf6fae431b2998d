#include <gtest/gtest.h>

#include <utility>

#include "TestSupport.h"
#include "win/controls/DrawAlpha.h"
#include "win/controls/PngImage.h"

namespace {

const wchar_t* const kCloseButtons[] = {L"Button_Close_10_Normal", L"Button_Close_10_Over", L"Button_Close_10_Click",
                                        L"Button_Close_7_Normal",  L"Button_Close_7_Over",  L"Button_Close_7_Click"};

TEST(PngImage, LoadsEveryCloseButtonPictureAt18By18) {
  for (const wchar_t* name : kCloseButtons) {
    TPngImage png;
    ASSERT_TRUE(png.LoadFromResource(GetModuleHandleW(nullptr), name)) << name;
    EXPECT_EQ(png.Width(), 18);
    EXPECT_EQ(png.Height(), 18);
  }
}

TEST(PngImage, PicturesAreStoredAsSimplifiedChineseRawData) {
  for (const wchar_t* name : kCloseButtons) {
    EXPECT_NE(FindResourceExW(GetModuleHandleW(nullptr), RT_RCDATA, name,
                              MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)),
              nullptr)
        << name;
  }
}

TEST(PngImage, ResourceNamesMatchWhateverTheCase) {
  for (const wchar_t* name : {L"button_close_10_over", L"BUTTON_CLOSE_10_OVER", L"bUtToN_cLoSe_10_oVeR"}) {
    TPngImage png;
    EXPECT_TRUE(png.LoadFromResource(GetModuleHandleW(nullptr), name)) << name;
    EXPECT_FALSE(png.Empty());
  }
}

TEST(PngImage, MissingResourceLeavesItEmpty) {
  TPngImage png;
  EXPECT_FALSE(png.LoadFromResource(GetModuleHandleW(nullptr), L"Button_Close_10_Disabled"));
  EXPECT_TRUE(png.Empty());
  EXPECT_FALSE(png.LoadFromResource(GetModuleHandleW(nullptr), nullptr));
}

TEST(PngImage, PixelsArePremultipliedTopDown) {
  // Row 0: opaque red, half-transparent white; row 1: transparent green, opaque blue.
  const std::vector<std::uint8_t> rgba = {255, 0, 0, 255, 255, 255, 255, 128, 0, 255, 0, 0, 0, 0, 255, 255};
  const std::string bytes = EncodePng(2, 2, rgba);
  TPngImage png;
  ASSERT_TRUE(png.LoadFromMemory(bytes.data(), bytes.size()));
  ASSERT_EQ(png.Width(), 2);
  ASSERT_EQ(png.Height(), 2);
  EXPECT_EQ(png.Pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(png.Pixel(1, 0), 0x80808080u);
  EXPECT_EQ(png.Pixel(0, 1), 0x00000000u);
  EXPECT_EQ(png.Pixel(1, 1), 0xFF0000FFu);
  EXPECT_EQ(png.Pixel(2, 0), 0u) << "outside the picture";
}

TEST(PngImage, RejectsBadInputWithoutCrashing) {
  const std::string good = EncodePng(2, 2, std::vector<std::uint8_t>(16, 200));
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string hugeWidth = good;
  hugeWidth[16] = 0x00;  // IHDR width 0x00FFFFFF (CRC left wrong as well)
  hugeWidth[17] = static_cast<char>(0xFF);
  hugeWidth[18] = static_cast<char>(0xFF);
  hugeWidth[19] = static_cast<char>(0xFF);
  const Case cases[] = {
      {"empty", ""},
      {"not a png", "GIF89a not a png at all"},
      {"signature only", good.substr(0, 8)},
      {"truncated in IDAT", good.substr(0, good.size() - 20)},
      {"oversized header", hugeWidth},
  };
  for (const Case& c : cases) {
    TPngImage png;
    EXPECT_FALSE(png.LoadFromMemory(c.bytes.data(), c.bytes.size())) << c.what;
    EXPECT_TRUE(png.Empty()) << c.what;
  }
  TPngImage png;
  EXPECT_FALSE(png.LoadFromMemory(nullptr, 10));
}

TEST(PngImage, CopiesAreIndependent) {
  TPngImage png;
  ASSERT_TRUE(png.LoadFromResource(GetModuleHandleW(nullptr), kCloseButtons[1]));
  TDibImage copy = png;
  ASSERT_EQ(copy.Width(), 18);
  EXPECT_EQ(copy.Pixel(9, 9), png.Pixel(9, 9));
  EXPECT_NE(copy.Bits(), png.Bits());
  png.Clear();
  EXPECT_FALSE(copy.Empty());
}

TEST(DibImage, AMovedFromPictureIsEmpty) {
  TDibImage a;
  ASSERT_TRUE(a.Create(4, 3));
  a.Bits()[5] = 0xFF102030;
  TDibImage b(std::move(a));
  EXPECT_EQ(b.Pixel(1, 1), 0xFF102030u);
  EXPECT_TRUE(a.Empty());
  EXPECT_EQ(a.Bits(), nullptr);
  EXPECT_EQ(a.Width(), 0);
  EXPECT_EQ(a.Pixel(1, 1), 0u);
  TDibImage c;
  c = std::move(b);
  EXPECT_EQ(c.Pixel(1, 1), 0xFF102030u);
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.Pixel(1, 1), 0u);
}

TEST(DibImage, TakesABitmapAsOpaquePixels) {
  WindowDc screen(nullptr);
  UniqueBitmap bitmap(CreateCompatibleBitmap(screen.get(), 5, 4));
  {
    UniqueDc dc(CreateCompatibleDC(screen.get()));
    SelectObjectScope sel(dc.get(), bitmap.get());
    UniqueBrush brush(CreateSolidBrush(RGB(10, 20, 30)));
    RECT r{0, 0, 5, 4};
    FillRect(dc.get(), &r, brush.get());
  }
  TDibImage image;
  ASSERT_TRUE(image.AssignBitmap(bitmap.get()));
  EXPECT_EQ(image.Width(), 5);
  EXPECT_EQ(image.Height(), 4);
  EXPECT_EQ(image.Pixel(4, 3), 0xFF0A141Eu);
  EXPECT_FALSE(image.AssignBitmap(nullptr));
  EXPECT_TRUE(image.Empty());
  EXPECT_FALSE(image.Create(0, 5));
  EXPECT_FALSE(image.Create(TDibImage::kMaxSide + 1, 1));
}

TEST(DrawAlpha, BlendsByPixelAlphaAndOpacity) {
  const std::string bytes = EncodePng(1, 1, {255, 0, 0, 128});  // half red
  TPngImage png;
  ASSERT_TRUE(png.LoadFromMemory(bytes.data(), bytes.size()));
  struct Case {
    int opacity;
    COLORREF expected;
  };
  // Over white: full opacity keeps half of the white; 50 % keeps three quarters.
  for (const Case& c : {Case{100, RGB(255, 127, 127)}, Case{50, RGB(255, 191, 191)}, Case{0, RGB(255, 255, 255)}}) {
    TDibImage target;
    ASSERT_TRUE(target.Create(1, 1));
    target.Bits()[0] = 0xFFFFFFFFu;
    UniqueDc dest(CreateCompatibleDC(nullptr));
    UniqueDc src(CreateCompatibleDC(nullptr));
    {
      SelectObjectScope s1(dest.get(), target.Bitmap());
      SelectObjectScope s2(src.get(), png.Bitmap());
      EXPECT_TRUE(DrawAlpha(dest.get(), RECT{0, 0, 1, 1}, src.get(), RECT{0, 0, 1, 1}, c.opacity));
    }
    const std::uint32_t p = target.Pixel(0, 0);
    EXPECT_TRUE(Near(RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF), c.expected, 2))
        << c.opacity << "% gave " << std::hex << p;
  }
}

}  // namespace
