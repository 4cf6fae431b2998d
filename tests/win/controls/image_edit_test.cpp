#include <gtest/gtest.h>

#include "TestSupport.h"
// after windows.h
#include <uxtheme.h>
#include "win/controls/ImageEdit.h"

namespace {

struct EditFixture : ::testing::Test {
  TestHost host{20, 20, 320, 120};
  TImageEdit edit;
  int changes = 0, enters = 0, escapes = 0;

  void SetUp() override {
    ASSERT_TRUE(edit.SetParentWindow(host.get()));
    edit.OnChange = [this](TImageEdit& e) {
      EXPECT_EQ(&e, &edit);
      ++changes;
    };
    edit.OnEnterPress = [this](TImageEdit&) { ++enters; };
    edit.OnEscPress = [this](TImageEdit&) { ++escapes; };
  }
  void Type(const std::wstring& keys) {
    for (wchar_t c : keys) SendMessageW(edit.Edit().Handle(), WM_CHAR, c, 1);
  }
};

TEST_F(EditFixture, StartsAt121By25WithTheInnerEditFillingIt) {
  EXPECT_EQ(edit.Width(), TImageEdit::kDefaultWidth);
  EXPECT_EQ(edit.Height(), TImageEdit::kDefaultHeight);
  ASSERT_TRUE(edit.Edit().HandleAllocated());
  EXPECT_EQ(GetParent(edit.Edit().Handle()), edit.Handle());
  EXPECT_TRUE(GetWindowLongW(edit.Edit().Handle(), GWL_STYLE) & ES_MULTILINE);
  EXPECT_FALSE(GetWindowLongW(edit.Edit().Handle(), GWL_STYLE) & WS_BORDER);
  edit.SetBounds(0, 0, 200, 30);
  EXPECT_EQ(edit.Edit().Width(), 200);
  EXPECT_EQ(edit.Edit().Height(), 30);
}

TEST_F(EditFixture, TypingRaisesOnChangePerChange) {
  Type(L"abc");
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(edit.Text(), u"abc");
  Type(L"\b");
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(edit.Text(), u"ab");
}

TEST_F(EditFixture, EnterRaisesOnEnterPressAndNeverBreaksTheLine) {
  Type(L"ab\rc\n");
  EXPECT_EQ(enters, 1);
  EXPECT_EQ(edit.Text(), u"abc");
  EXPECT_EQ(SendMessageW(edit.Edit().Handle(), EM_GETLINECOUNT, 0, 0), 1);
}

TEST_F(EditFixture, EscapeRaisesOnEscPressAndKeepsTheText) {
  Type(L"query");
  changes = 0;
  Type(L"\x1b");
  EXPECT_EQ(escapes, 1);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(edit.Text(), u"query");
}

TEST_F(EditFixture, OnKeyPressMayChangeOrDropTheKey) {
  edit.OnKeyPress = [](TImageEdit&, wchar_t& key) {
    if (key == L'x') key = L'y';
    if (key == L'q') key = 0;
    if (key == L'!') key = L'\r';  // becomes Enter
  };
  Type(L"axqb!");
  EXPECT_EQ(edit.Text(), u"ayb");
  EXPECT_EQ(enters, 1);
}

TEST_F(EditFixture, SettingTextRaisesOneChangeOnlyWhenItDiffers) {
  edit.SetText(u"hello");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(edit.Text(), u"hello");
  edit.SetText(u"hello");
  EXPECT_EQ(changes, 1);
  edit.SetText(u"");
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(edit.Text(), u"");
}

TEST_F(EditFixture, PastedLineBreaksBecomeBlanks) {
  const std::wstring text = L"one\r\ntwo";
  ASSERT_TRUE(OpenClipboard(host.get()));
  EmptyClipboard();
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
  memcpy(GlobalLock(mem), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  GlobalUnlock(mem);
  SetClipboardData(CF_UNICODETEXT, mem);
  CloseClipboard();
  SendMessageW(edit.Edit().Handle(), WM_PASTE, 0, 0);
  EXPECT_EQ(edit.Text(), u"one  two");
  EXPECT_EQ(SendMessageW(edit.Edit().Handle(), EM_GETLINECOUNT, 0, 0), 1);
}

bool menuSeen = false;

void CALLBACK CloseOpenMenu(HWND, UINT, UINT_PTR, DWORD) {
  HWND menu = FindWindowW(L"#32768", nullptr);
  if (menu && IsWindowVisible(menu)) {
    menuSeen = true;
    EndMenu();
  }
}

// Answers whether a context menu opened while `send` ran; closes any that did.
bool MenuOpenedDuring(const std::function<void()>& send) {
  menuSeen = false;
  UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseOpenMenu);
  send();
  PumpFor(300);
  KillTimer(nullptr, timer);
  return menuSeen;
}

TEST_F(EditFixture, RightClickMenuOnlyWhenNotDisabled) {
  HWND inner = edit.Edit().Handle();
  RECT r;
  GetWindowRect(inner, &r);
  const LPARAM at = MAKELPARAM(r.left + 5, r.top + 5);
  EXPECT_TRUE(MenuOpenedDuring([&] { SendMessageW(inner, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(inner), at); }))
      << "the edit's own menu must show while allowed";
  edit.DisableRightClick = true;
  LRESULT answer = 0;
  EXPECT_FALSE(MenuOpenedDuring(
      [&] { answer = SendMessageW(inner, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(inner), at); }));
  EXPECT_EQ(answer, 1);
}

TEST_F(EditFixture, BackgroundOfAnotherSizeResizesTheControlAtTheNextPaint) {
  const TDibImage picture = SolidPicture(200, 30, 0xFF20A040u);
  ASSERT_FALSE(picture.Empty());
  edit.SetBackground(picture);
  EXPECT_EQ(edit.Width(), TImageEdit::kDefaultWidth) << "not before the paint";
  UpdateWindow(edit.Handle());
  PumpFor(50);
  EXPECT_EQ(edit.Width(), 200);
  EXPECT_EQ(edit.Height(), 30);
  EXPECT_EQ(edit.Edit().Width(), 200);
  EXPECT_TRUE(Near(ClientPixel(host.get(), 150, 2), RGB(0x20, 0xA0, 0x40)));
}

TEST_F(EditFixture, EveryChangeRepaintsTheBackgroundUnderTheText) {
  const TDibImage picture = SolidPicture(121, 25, 0xFFFFFFC0u);
  ASSERT_FALSE(picture.Empty());
  edit.SetBackground(picture);
  Type(L"WWWWWW");
  PumpFor(50);
  auto inkInText = [&] {
    int ink = 0;
    for (int x = 0; x < 60; ++x) {
      for (int y = 0; y < 25; ++y) ink += !Near(ClientPixel(host.get(), x, y), RGB(0xFF, 0xFF, 0xC0), 40);
    }
    return ink;
  };
  EXPECT_GT(inkInText(), 10) << "the text is drawn";
  edit.SetText(u"");
  PumpFor(50);
  EXPECT_EQ(inkInText(), 0) << "no glyphs left behind once the text is gone";
}

TEST_F(EditFixture, TextRectCentresOneLineAndHonoursTheOffset) {
  edit.SetBounds(0, 0, 150, 40);
  TEXTMETRICW tm{};
  {
    WindowDc dc(nullptr);
    SelectObjectScope sel(dc.get(), edit.EditFont());
    GetTextMetricsW(dc.get(), &tm);
  }
  // The edit adds its own left margin to the rectangle it is given.
  const int margin = LOWORD(SendMessageW(edit.Edit().Handle(), EM_GETMARGINS, 0, 0));
  RECT r{};
  SendMessageW(edit.Edit().Handle(), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
  EXPECT_EQ(r.left, 3 + margin);
  EXPECT_EQ(r.top, (40 - tm.tmHeight) / 2);
  edit.SetTextXOffset(20);
  SendMessageW(edit.Edit().Handle(), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
  EXPECT_EQ(r.left, 23 + margin);
}

LOGFONTW FontOf(HFONT font) {
  LOGFONTW lf{};
  GetObjectW(font, sizeof(lf), &lf);
  return lf;
}

TEST_F(EditFixture, ExplorerFontComesFromTheRebarTheme) {
  HTHEME theme = OpenThemeData(nullptr, L"REBAR");
  if (!theme) GTEST_SKIP() << "no visual theme in this prefix";
  LOGFONTW themed = FontOf(edit.Font());
  GetThemeFont(theme, nullptr, 3, 0, 210, &themed);
  CloseThemeData(theme);
  edit.SetUseExplorerFont(true);
  const HFONT used = reinterpret_cast<HFONT>(SendMessageW(edit.Edit().Handle(), WM_GETFONT, 0, 0));
  EXPECT_EQ(used, edit.EditFont());
  const LOGFONTW lf = FontOf(used);
  EXPECT_STREQ(lf.lfFaceName, themed.lfFaceName);
  EXPECT_EQ(lf.lfHeight, themed.lfHeight);
}

// Theme data is read when uxtheme loads, so the check without a theme runs in a second
// process of this program started while the user's theme is switched off.
constexpr wchar_t kNoThemeMarker[] = L"RUVO_CONTROLS_NO_THEME_CHILD";
constexpr wchar_t kThemeKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager";

TEST(ImageEditWithoutTheme, ExplorerFontIsTheControlsOwn) {
  if (GetEnvironmentVariableW(kNoThemeMarker, nullptr, 0) == 0) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kThemeKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    wchar_t saved[16] = {};
    DWORD savedSize = sizeof(saved);
    const bool hadValue = RegQueryValueExW(key, L"ThemeActive", nullptr, nullptr,
                                           reinterpret_cast<BYTE*>(saved), &savedSize) == ERROR_SUCCESS;
    RegSetValueExW(key, L"ThemeActive", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"0"), 2 * sizeof(wchar_t));
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    bool started = false;
    long code = 1;
    {
      SetEnvironmentVariableW(kNoThemeMarker, L"1");
      testing_support::ChildProcess child(exe, L"--gtest_filter=ImageEditWithoutTheme.*");
      SetEnvironmentVariableW(kNoThemeMarker, nullptr);
      started = child.Valid();
      if (started) code = child.Wait(60000);
    }  // ended here at the latest
    if (hadValue) {
      RegSetValueExW(key, L"ThemeActive", 0, REG_SZ, reinterpret_cast<const BYTE*>(saved), savedSize);
    } else {
      RegDeleteValueW(key, L"ThemeActive");
    }
    RegCloseKey(key);
    ASSERT_TRUE(started);
    EXPECT_EQ(code, 0) << "the check in the process without a theme failed";
    return;
  }
  // The second process.
  HTHEME theme = OpenThemeData(nullptr, L"REBAR");
  if (theme) CloseThemeData(theme);
  ASSERT_EQ(theme, nullptr) << "the theme should be off for this process";
  TestHost host(20, 20, 200, 60);
  TImageEdit edit;
  ASSERT_TRUE(edit.SetParentWindow(host.get()));
  LOGFONTW own{};
  own.lfHeight = -17;
  own.lfWeight = FW_BOLD;
  wcscpy(own.lfFaceName, L"Courier New");
  edit.SetFont(own);
  edit.SetUseExplorerFont(true);
  const LOGFONTW lf = FontOf(reinterpret_cast<HFONT>(SendMessageW(edit.Edit().Handle(), WM_GETFONT, 0, 0)));
  EXPECT_STREQ(lf.lfFaceName, L"Courier New");
  EXPECT_EQ(lf.lfHeight, -17);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
}

TEST_F(EditFixture, FocusGoesToTheInnerEdit) {
  SetForegroundWindow(host.get());
  edit.SetFocus();
  EXPECT_EQ(GetFocus(), edit.Edit().Handle());
  SetFocus(host.get());
  SendMessageW(edit.Handle(), WM_SETFOCUS, 0, 0);
  EXPECT_EQ(GetFocus(), edit.Edit().Handle());
}

TEST_F(EditFixture, ParentCanBeTakenAwayAndGivenAgain) {
  Type(L"kept");
  ASSERT_TRUE(edit.SetParentWindow(nullptr));
  EXPECT_EQ(edit.ParentWindow(), nullptr);
  EXPECT_FALSE(edit.Visible());
  TestHost other(400, 20, 200, 60);
  ASSERT_TRUE(edit.SetParentWindow(other.get()));
  EXPECT_EQ(edit.ParentWindow(), other.get());
  edit.Show();
  EXPECT_TRUE(edit.Visible());
  EXPECT_EQ(edit.Text(), u"kept");
}

TEST(ImageEdit, SurvivesItsParentWindowBeingDestroyed) {
  auto host = std::make_unique<TestHost>(20, 20, 200, 60);
  TImageEdit edit;
  ASSERT_TRUE(edit.SetParentWindow(host->get()));
  host.reset();
  EXPECT_FALSE(edit.HandleAllocated());
  EXPECT_FALSE(edit.Edit().HandleAllocated());
  EXPECT_EQ(edit.Text(), u"");
}

}  // namespace
