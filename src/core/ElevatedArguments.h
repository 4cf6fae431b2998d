#pragma once
// The command line of the elevated helper instance: the marker switch that asks for it, and
// the task text that the rest of the arguments make.
#include <string>
#include <string_view>
#include <vector>

// The marker, written after "/" or "-" on the helper's command line.
inline constexpr char16_t kElevationMarker[] = u"7E1A93D4F20B4C6A9D58E3B17A0C46F2";

// The argument is "/" or "-" followed by the marker, its letters in either case; nothing
// else (a marker inside a longer argument does not count).
bool IsElevationMarker(std::u16string_view argument);
bool HasElevationMarker(const std::vector<std::u16string>& arguments);

// Every argument but the marker, in order, each followed by one space; an argument with a
// space is wrapped in double quotes with its own double quotes doubled. Trimmed at both ends.
std::u16string JoinElevatedArguments(const std::vector<std::u16string>& arguments);

// A fully qualified Windows path: a drive letter, colon and backslash ("C:\..."), or a UNC
// path ("\\server\share\..."). Relative paths, drive-relative "C:x" and rooted "\x" are not.
bool IsAbsoluteWindowsPath(std::u16string_view path);
