#include "core/ElevatedArguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/TextUtils.h"

namespace {
const std::u16string kMarker = kElevationMarker;

TEST(ElevationMarker, Table) {
  struct Case {
    std::u16string argument;
    bool marker;
  };
  const Case cases[] = {
      {u"/" + kMarker, true},
      {u"-" + kMarker, true},
      {u"/" + LowerAscii(kMarker), true},
      {u"-7e1A93d4F20B4C6A9D58E3B17A0C46f2", true},
      {kMarker, false},                        // no switch character
      {u"\\" + kMarker, false},
      {u"//" + kMarker, false},
      {u"/" + kMarker + u" ", false},          // junk after it
      {u"/" + kMarker + u"0", false},
      {u"/" + kMarker.substr(0, 31), false},
      {u"x/" + kMarker, false},                // inside another argument
      {u"\"/" + kMarker + u"\"", false},
      {u"/", false},
      {u"", false},
      {u"/\u0130E1A93D4F20B4C6A9D58E3B17A0C46F2", false},  // only ASCII letters fold
  };
  for (const auto& c : cases) EXPECT_EQ(IsElevationMarker(c.argument), c.marker) << Utf16ToUtf8(c.argument);
}

TEST(ElevationMarker, FoundAmongArgumentsOnlyAsAWholeArgument) {
  EXPECT_TRUE(HasElevationMarker({u"/SvcInstall", u"-" + kMarker}));
  EXPECT_FALSE(HasElevationMarker({}));
  EXPECT_FALSE(HasElevationMarker({u"/SvcInstall", u"a/" + kMarker + u"b", u"/" + kMarker + u"/SvcInstall"}));
}

TEST(JoinElevatedArguments, Table) {
  struct Case {
    std::vector<std::u16string> arguments;
    std::u16string joined;
  };
  const Case cases[] = {
      {{u"/" + kMarker, u"/SvcInstall"}, u"/SvcInstall"},
      {{u"/SvcInstall", u"-" + LowerAscii(kMarker)}, u"/SvcInstall"},
      {{u"/" + kMarker, u"/SvcInstall", u"C:\\My Files\\x"}, u"/SvcInstall \"C:\\My Files\\x\""},
      {{u"say \"hi\" there"}, u"\"say \"\"hi\"\" there\""},
      {{u"no\"space"}, u"no\"space"},  // quotes alone are left as they are
      {{u"/" + kMarker}, u""},
      {{}, u""},
      {{u"", u"a", u""}, u"a"},
      {{u"  padded  "}, u"\"  padded  \""},
      {{u"/" + kMarker, u"/" + kMarker, u"/svcinstall"}, u"/svcinstall"},
      {{u"x/" + kMarker}, u"x/" + kMarker},  // not the marker: kept
  };
  for (const auto& c : cases) EXPECT_EQ(Utf16ToUtf8(JoinElevatedArguments(c.arguments)), Utf16ToUtf8(c.joined));
}

TEST(JoinElevatedArguments, HugeArgumentListIsJoinedWhole) {
  std::vector<std::u16string> args(20000, u"a b");
  args.insert(args.begin() + 777, u"/" + kMarker);
  const std::u16string joined = JoinElevatedArguments(args);
  EXPECT_EQ(joined.size(), 20000u * 6 - 1);
  EXPECT_EQ(joined.substr(0, 12), u"\"a b\" \"a b\" ");
  EXPECT_EQ(joined.find(kMarker), std::u16string::npos);
}

TEST(IsAbsoluteWindowsPath, Table) {
  struct Case {
    const char16_t* path;
    bool absolute;
  };
  const Case cases[] = {
      {u"C:\\Program Files\\Ruvo\\RuvoService.exe", true},
      {u"z:/tmp/RuvoService.exe", true},
      {u"\\\\server\\share\\RuvoService.exe", true},
      {u"\\\\?\\C:\\x\\RuvoService.exe", true},
      {u"RuvoService.exe", false},
      {u".\\RuvoService.exe", false},
      {u"C:RuvoService.exe", false},
      {u"\\RuvoService.exe", false},
      {u"\\\\server", false},
      {u"\\\\server\\", false},
      {u"\\\\\\share\\x", false},
      {u"1:\\x", false},
      {u"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsAbsoluteWindowsPath(c.path), c.absolute) << Utf16ToUtf8(c.path);
}
}  // namespace
