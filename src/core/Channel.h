#pragma once
#include <cstdint>
#include <string_view>

// The install channel carried in the name of the program that launched us:
// "Setup_1024.exe" -> 1024. The text between the last "_" and the last ".exe" (found
// case-insensitively) is read as an integer; anything unreadable is channel 1.
std::uint32_t ChannelFromExeName(std::u16string_view exeName);
