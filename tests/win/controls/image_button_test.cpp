#include <gtest/gtest.h>

#include "TestSupport.h"
#include "win/controls/ImageButton.h"
#include "win/controls/PngImage.h"

namespace {

TPngImage Picture(const wchar_t* name) {
  TPngImage png;
  EXPECT_TRUE(png.LoadFromResource(GetModuleHandleW(nullptr), name)) << name;
  return png;
}

// The flat pictures: Over and Click fill (1..17) with a tint; Normal is transparent there.
constexpr COLORREF kOverTint = RGB(0xE5, 0xF3, 0xFF);
constexpr COLORREF kClickTint = RGB(0xCC, 0xE8, 0xFF);
constexpr COLORREF kHostColour = RGB(0xFF, 0xFF, 0xFF);

struct ButtonFixture : ::testing::Test {
  TestHost host{20, 20, 200, 100};
  TImageButton button;
  int clicks = 0, enters = 0, leaves = 0;

  void SetUp() override {
    ASSERT_TRUE(button.CreateIn(host.get(), RECT{50, 40, 68, 58}));
    button.SetPngNormal(Picture(L"Button_Close_10_Normal"));
    button.SetPngOver(Picture(L"Button_Close_10_Over"));
    button.SetPngClick(Picture(L"Button_Close_10_Click"));
    button.OnClick = [this](TImageButton& b) {
      EXPECT_EQ(&b, &button);
      ++clicks;
    };
    button.OnMouseEnter = [this](TImageButton&) { ++enters; };
    button.OnMouseLeave = [this](TImageButton&) { ++leaves; };
    button.Show();
    UpdateWindow(host.get());
  }
  void CursorOnButton() {
    POINT p{9, 9};
    ClientToScreen(button.Handle(), &p);
    SetCursorPos(p.x, p.y);
  }
  void CursorAway() {
    POINT p{150, 90};
    ClientToScreen(host.get(), &p);
    SetCursorPos(p.x, p.y);
  }
  void Send(UINT msg, int x = 9, int y = 9) { SendMessageW(button.Handle(), msg, 0, MAKELPARAM(x, y)); }
  COLORREF Tint() { return ClientPixel(host.get(), 50 + 3, 40 + 3); }  // away from the cross
};

TEST_F(ButtonFixture, HoverPressReleaseAndLeave) {
  EXPECT_EQ(button.ButtonState(), TButtonState::bsNormal);
  EXPECT_TRUE(Near(Tint(), kHostColour)) << "the normal picture is transparent there";

  CursorOnButton();
  Send(WM_MOUSEMOVE);
  EXPECT_EQ(button.ButtonState(), TButtonState::bsOver);
  EXPECT_EQ(enters, 1);
  EXPECT_TRUE(Near(Tint(), kOverTint));

  Send(WM_LBUTTONDOWN);
  EXPECT_EQ(button.ButtonState(), TButtonState::bsClick);
  EXPECT_TRUE(Near(Tint(), kClickTint));
  EXPECT_EQ(clicks, 0);

  Send(WM_LBUTTONUP);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(button.ButtonState(), TButtonState::bsOver);
  EXPECT_TRUE(Near(Tint(), kOverTint));

  CursorAway();
  Send(WM_MOUSELEAVE);
  EXPECT_EQ(button.ButtonState(), TButtonState::bsNormal);
  EXPECT_EQ(leaves, 1);
  EXPECT_TRUE(Near(Tint(), kHostColour));
}

TEST_F(ButtonFixture, MovingWhilePressedKeepsThePressedPicture) {
  CursorOnButton();
  Send(WM_MOUSEMOVE);
  Send(WM_LBUTTONDOWN);
  Send(WM_MOUSEMOVE, 10, 10);
  Send(WM_MOUSEMOVE, 12, 8);
  EXPECT_EQ(button.ButtonState(), TButtonState::bsClick);
  EXPECT_TRUE(Near(Tint(), kClickTint));
  EXPECT_EQ(enters, 1);
}

TEST_F(ButtonFixture, DisabledShowsTheDisabledPictureUntilEnabled) {
  const TDibImage grey = SolidPicture(18, 18, 0xFF808080u);
  ASSERT_FALSE(grey.Empty());
  button.SetPngDisable(grey);
  button.SetEnabled(false);
  EXPECT_FALSE(button.Enabled());
  EXPECT_EQ(button.ButtonState(), TButtonState::bsDisbled);
  EXPECT_TRUE(Near(Tint(), RGB(0x80, 0x80, 0x80)));
  button.SetEnabled(true);
  EXPECT_EQ(button.ButtonState(), TButtonState::bsNormal);
  EXPECT_TRUE(Near(Tint(), kHostColour));
}

TEST_F(ButtonFixture, ReleaseOutsideDoesNotClick) {
  CursorOnButton();
  Send(WM_MOUSEMOVE);
  Send(WM_LBUTTONDOWN);
  CursorAway();
  Send(WM_LBUTTONUP, 100, 100);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(button.ButtonState(), TButtonState::bsNormal) << "the pointer check after the release";
}

TEST_F(ButtonFixture, RightButtonPressesButDoesNotClick) {
  CursorOnButton();
  Send(WM_RBUTTONDOWN);
  EXPECT_EQ(button.ButtonState(), TButtonState::bsClick);
  Send(WM_RBUTTONUP);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(button.ButtonState(), TButtonState::bsOver);
}

TEST_F(ButtonFixture, MissingPicturesDrawNothing) {
  button.SetButtonType(TButtonType::btDown);
  button.SetDown(true);
  EXPECT_EQ(button.ButtonState(), TButtonState::bsDown);
  EXPECT_TRUE(Near(ClientPixel(host.get(), 50 + 9, 40 + 9), kHostColour)) << "no PngDown";
  button.SetEnabled(false);
  EXPECT_EQ(button.ButtonState(), TButtonState::bsDisbled);
  EXPECT_TRUE(Near(ClientPixel(host.get(), 50 + 9, 40 + 9), kHostColour)) << "no PngDisable";
  button.SetEnabled(true);
  EXPECT_EQ(button.ButtonState(), TButtonState::bsDown);
}

TEST_F(ButtonFixture, PushButtonDoesNotStayDown) {
  button.SetDown(true);
  EXPECT_FALSE(button.Down());
  EXPECT_EQ(button.ButtonState(), TButtonState::bsNormal);
}

TEST_F(ButtonFixture, BadgeEnlargesAndZeroRestoresTheBounds) {
  const TDibImage badge = SolidPicture(10, 10, 0xFFFF0000u);
  ASSERT_FALSE(badge.Empty());
  button.SetPngBadge(badge);
  button.SetBadgeNum(7);
  UpdateWindow(host.get());
  PumpFor(30);
  RECT b = button.BoundsRect();
  EXPECT_EQ(b.top, 32);
  EXPECT_EQ(b.right - b.left, 20);
  EXPECT_EQ(b.bottom - b.top, 26);
  EXPECT_TRUE(Near(ClientPixel(host.get(), 50 + 20 - 1, 32), RGB(255, 0, 0))) << "the badge in the top right corner";
  button.SetBadgeNum(0);
  UpdateWindow(host.get());
  PumpFor(30);
  b = button.BoundsRect();
  EXPECT_EQ(b.left, 50);
  EXPECT_EQ(b.top, 40);
  EXPECT_EQ(b.right - b.left, 18);
  EXPECT_EQ(b.bottom - b.top, 18);
}

TEST_F(ButtonFixture, BadgeRestoresATopOfZeroToo) {
  button.SetBounds(50, 0, 18, 18);
  TDibImage badge;
  ASSERT_TRUE(badge.Create(6, 6));
  button.SetPngBadge(badge);
  button.SetBadgeNum(1);
  UpdateWindow(host.get());
  EXPECT_EQ(button.Top(), -8);
  button.SetBadgeNum(0);
  UpdateWindow(host.get());
  EXPECT_EQ(button.Top(), 0);
  EXPECT_EQ(button.Height(), 18);
}

TEST_F(ButtonFixture, AutoSizeTakesTheNormalPicturesSize) {
  button.SetBounds(50, 40, 40, 30);
  button.SetAutoSize(true);
  EXPECT_EQ(button.Width(), 18);
  EXPECT_EQ(button.Height(), 18);
}

TEST(ImageButton, ClickInAGroupReleasesTheOtherButtons) {
  TestHost host(20, 20, 200, 60);
  TImageButton a, b, c;
  int x = 0;
  for (TImageButton* btn : {&a, &b, &c}) {
    ASSERT_TRUE(btn->CreateIn(host.get(), RECT{x, 0, x + 18, 18}));
    btn->SetButtonType(TButtonType::btDown);
    btn->Show();
    x += 20;
  }
  b.SetDown(true);
  c.SetDown(true);
  a.GroupIndex = 1;
  SendMessageW(a.Handle(), WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
  SendMessageW(a.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_TRUE(a.Down());
  EXPECT_FALSE(b.Down());
  EXPECT_FALSE(c.Down());
  EXPECT_EQ(b.ButtonState(), TButtonState::bsNormal);
}

TEST(ImageButton, AHandlerMayFreeTheButton) {
  TestHost host(20, 20, 100, 60);
  auto button = std::make_unique<TImageButton>();
  ASSERT_TRUE(button->CreateIn(host.get(), RECT{0, 0, 18, 18}));
  button->Show();
  HWND wnd = button->Handle();
  bool clicked = false;
  button->OnClick = [&](TImageButton&) {
    clicked = true;
    button.reset();
  };
  SendMessageW(wnd, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
  SendMessageW(wnd, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_TRUE(clicked);
  EXPECT_FALSE(IsWindow(wnd));
}

TEST(ImageButton, CaptionIsDrawnInTheOverColourWhileHovered) {
  TestHost host(20, 20, 200, 60);
  TImageButton button;
  ASSERT_TRUE(button.CreateIn(host.get(), RECT{0, 0, 120, 40}));
  LOGFONTW lf{};
  lf.lfHeight = -28;
  lf.lfWeight = FW_HEAVY;
  wcscpy(lf.lfFaceName, L"Tahoma");
  button.SetFont(lf);
  button.SetCaption(u"MMM");
  button.OverFontColor = RGB(255, 0, 0);
  button.Show();
  auto count = [&](COLORREF colour) {
    int n = 0;
    for (int x = 0; x < 120; x += 2) {
      for (int y = 0; y < 40; y += 2) n += Near(ClientPixel(host.get(), x, y), colour, 60);
    }
    return n;
  };
  EXPECT_GT(count(RGB(0, 0, 0)), 5);
  EXPECT_EQ(count(RGB(255, 0, 0)), 0);
  POINT p{60, 20};
  ClientToScreen(button.Handle(), &p);
  SetCursorPos(p.x, p.y);
  SendMessageW(button.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(60, 20));
  EXPECT_TRUE(button.MouseInControl());
  EXPECT_GT(count(RGB(255, 0, 0)), 5);
}

}  // namespace
