#pragma once
// The service's command line:
//   RuvoService.exe [/console] [/root <folder>]... [/cap <items>] [/update <program> <version>]
// /console runs in the foreground instead of under the service control manager. Without
// /root the local fixed drives are served, those that come after start too. /update makes the service announce that program
// and version as an update to every program that reports its start-up to it.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

inline constexpr std::size_t kDefaultAnswerCap = 10000;

struct ServiceOptions {
  bool console = false;
  std::vector<std::wstring> roots;
  std::size_t answerCap = kDefaultAnswerCap;
  std::wstring updateProgram;
  std::wstring updateVersion;
};

// No value when the command line is malformed (unknown switch, missing or bad argument).
std::optional<ServiceOptions> ParseServiceOptions(const std::vector<std::wstring>& args);
