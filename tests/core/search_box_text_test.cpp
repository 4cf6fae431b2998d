// Erasing the placeholder from a picture of Explorer's search box, and the drive part of a
// path that decides whether a folder can be searched.
#include <gtest/gtest.h>

#include <vector>

#include "core/SearchBoxText.h"
#include "core/TextUtils.h"

namespace {

constexpr std::uint32_t kFill = 0x00FFFFFF;      // COLORREF white
constexpr std::uint32_t kFillPixel = 0xFFFFFFFF;  // the same as an opaque pixel

struct Picture {
  int width, height;
  std::vector<std::uint32_t> px;
  Picture(int w, int h, std::uint32_t background) : width(w), height(h), px(static_cast<std::size_t>(w * h), background) {}
  std::uint32_t& at(int x, int y) { return px[static_cast<std::size_t>(y * width + x)]; }
  TPixelBuffer buffer() { return {px.data(), width, height}; }
};

TEST(SearchBoxInk, PixelOrderIsConvertedToColorRef) {
  EXPECT_EQ(PixelToColorRef(0xFF112233u), 0x00332211u);
  EXPECT_EQ(PixelToColorRef(0x00FF0000u), 0x000000FFu);  // red
}

TEST(SearchBoxInk, MatchingRuleOfEachFamily) {
  struct Case {
    std::uint32_t color, ref;
    TSearchBoxFamily family;
    bool match;
  } cases[] = {
      {0x6D6D6D, 0x6D6D6D, TSearchBoxFamily::Windows8OrLater, true},
      {0x6D6D6E, 0x6D6D6D, TSearchBoxFamily::Windows8OrLater, false},
      {0x6D6D6D, 0x6D6D6D, TSearchBoxFamily::Windows7, false},  // exact reference is kept
      {0x6D6D6E, 0x6D6D6D, TSearchBoxFamily::Windows7, true},   // differs by 1
      {0x6D6D6C, 0x6D6D6D, TSearchBoxFamily::Windows7, true},   // either direction
      {599186, 0, TSearchBoxFamily::Windows7, true},            // the widest difference
      {599187, 0, TSearchBoxFamily::Windows7, false},
      {0, 599186, TSearchBoxFamily::Windows7, true},
      {0, 599187, TSearchBoxFamily::Windows7, false},
      {0xFFFFFF, 0, TSearchBoxFamily::Windows7, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MatchesSearchBoxInk(c.color, c.ref, c.family), c.match)
        << std::hex << c.color << " vs " << c.ref << " family " << static_cast<int>(c.family);
}

// A 60 x 20 box: reference row (20 - 8) / 2 = 6, band rows 5..16, magnifier end from x = 45.
TEST(SearchBoxInk, Windows8BandIsFilledAndTheMagnifierKeepsItsOwnPixels) {
  const std::uint32_t bg = 0xFFF0F0F0, ink = 0xFF6D6D6D, glyph = 0xFF202020;
  Picture p(60, 20, bg);
  p.at(0, 6) = bg;  // reference colour: the box's background at the text row
  p.at(10, 8) = ink;         // placeholder ink inside the band
  p.at(50, 8) = glyph;       // magnifier glyph in the band's right end: not the reference
  p.at(52, 9) = bg;          // background there matches the reference
  p.at(10, 0) = ink;         // outside the band, not the reference: kept
  p.at(20, 18) = bg;         // outside the band but equal to the reference: filled
  p.at(30, 2) = 0xFF000000;  // frame pixel outside the band: kept
  EraseSearchBoxInk(p.buffer(), kFill, 8, TSearchBoxFamily::Windows8OrLater);
  EXPECT_EQ(p.at(10, 8), kFillPixel);
  EXPECT_EQ(p.at(44, 5), kFillPixel);    // last column before the magnifier, first band row
  EXPECT_EQ(p.at(10, 16), kFillPixel);   // last band row
  EXPECT_EQ(p.at(50, 8), glyph);
  EXPECT_EQ(p.at(52, 9), kFillPixel);
  EXPECT_EQ(p.at(10, 0), ink);
  EXPECT_EQ(p.at(20, 18), kFillPixel);
  EXPECT_EQ(p.at(30, 2), 0xFF000000u);
}

TEST(SearchBoxInk, Windows7KeepsTheExactReferenceAndFillsItsNeighbours) {
  const std::uint32_t bg = 0xFFF0F0F0;
  Picture p(60, 20, bg);
  const std::uint32_t near = 0xFFF0F0EF;   // COLORREF differs by 65536 (blue)
  const std::uint32_t far = 0xFF000000;    // black: far off
  p.at(50, 8) = near;  // magnifier end, near the reference: filled
  p.at(51, 8) = bg;    // magnifier end, exactly the reference: kept
  p.at(52, 8) = far;
  p.at(5, 1) = near;   // outside the band: filled all the same
  p.at(6, 1) = bg;     // equal: kept
  EraseSearchBoxInk(p.buffer(), 0x00FFFFFF, 8, TSearchBoxFamily::Windows7);
  EXPECT_EQ(p.at(50, 8), kFillPixel);
  EXPECT_EQ(p.at(51, 8), bg);
  EXPECT_EQ(p.at(52, 8), far);
  EXPECT_EQ(p.at(5, 1), kFillPixel);
  EXPECT_EQ(p.at(6, 1), bg);
  EXPECT_EQ(p.at(3, 8), kFillPixel);  // band left of the magnifier: always filled
}

TEST(SearchBoxInk, AlphaIsKeptAndOddSizesAreSafe) {
  Picture p(30, 10, 0x80102030);
  EraseSearchBoxInk(p.buffer(), 0x00010203, 4, TSearchBoxFamily::Windows8OrLater);
  EXPECT_EQ(p.at(0, 3), 0x80030201u);
  // A text taller than the picture, an empty picture and a one-pixel picture change nothing
  // out of bounds.
  Picture small(5, 3, 0xFF000000);
  EraseSearchBoxInk(small.buffer(), kFill, 40, TSearchBoxFamily::Windows7);
  EXPECT_EQ(small.at(0, 0), 0xFF000000u);
  EraseSearchBoxInk({nullptr, 0, 0}, kFill, 8, TSearchBoxFamily::Windows7);
  Picture one(1, 1, 0xFF000000);
  EraseSearchBoxInk(one.buffer(), kFill, 0, TSearchBoxFamily::Windows8OrLater);
  EXPECT_EQ(one.at(0, 0), kFillPixel);
}

TEST(ExtractFileDrive, LettersSharesAndOthers) {
  const struct {
    const char16_t* path;
    const char16_t* drive;
  } cases[] = {
      {u"C:\\dir\\", u"C:"},       {u"d:", u"d:"},
      {u"\\\\srv\\share\\dir\\", u"\\\\srv\\share"}, {u"\\\\srv\\share", u"\\\\srv\\share"},
      {u"\\\\srv", u""},           {u"\\\\\\x", u""},
      {u"", u""},                  {u"relative\\x", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExtractFileDrive(c.path), c.drive) << Utf16ToUtf8(c.path);
}

}  // namespace
