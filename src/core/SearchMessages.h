#pragma once
// The messages exchanged with the search service: requests to "SearchRequestPipe" and
// results to "SearchResultPipe". Fields are written in a fixed order and read by name.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/MessageData.h"

inline constexpr char16_t kSearchRequestPipe[] = u"SearchRequestPipe";
inline constexpr char16_t kSearchResultPipe[] = u"SearchResultPipe";
// The data each pipe's server takes in one message. A request carries a folder and a typed
// query; a found item a path of at most 32,767 characters and its query.
inline constexpr std::int64_t kMaxRequestDataSize = 64 * 1024;
inline constexpr std::int64_t kMaxResultDataSize = 100 * 1024;

inline constexpr char16_t kFieldAction[] = u"Action";
inline constexpr char16_t kFieldDir[] = u"Dir";
inline constexpr char16_t kFieldWildcard[] = u"Wildcard";
inline constexpr char16_t kFieldSearchBox[] = u"SearchBox";
inline constexpr char16_t kFieldFileName[] = u"FileName";
inline constexpr char16_t kFieldVersion[] = u"Version";

// Program -> service.
inline constexpr std::uint8_t kActionSearch = 1;        // Action, Dir, Wildcard, SearchBox
inline constexpr std::uint8_t kActionCancel = 3;        // Action, SearchBox
inline constexpr std::uint8_t kActionChannelReport = 5; // Action, SearchBox = channel
// Service -> program.
inline constexpr std::uint8_t kActionAnswerBegin = 1;   // Action, SearchBox
inline constexpr std::uint8_t kActionFoundItem = 2;     // Action, FileName, Wildcard, SearchBox
inline constexpr std::uint8_t kActionAnswerEnd = 3;     // Action, SearchBox
inline constexpr std::uint8_t kActionUpdate = 4;        // Action, FileName, Version

IMessageData BuildSearchRequest(std::u16string_view dir, std::u16string_view wildcard, std::uint32_t searchBox);
IMessageData BuildCancelRequest(std::uint32_t searchBox);
IMessageData BuildChannelReport(std::uint32_t channel);

IMessageData BuildAnswerBegin(std::uint32_t searchBox);
IMessageData BuildFoundItem(std::u16string_view fileName, std::u16string_view wildcard, std::uint32_t searchBox);
IMessageData BuildAnswerEnd(std::uint32_t searchBox);
IMessageData BuildUpdateAnnouncement(std::u16string_view fileName, std::u16string_view version);

// A received message, fields read by name; absent fields are 0 or empty.
struct TSearchMessage {
  std::uint8_t Action = 0;  // the low 8 bits of the "Action" value
  std::u16string FileName;
  std::u16string Wildcard;
  std::u16string Version;
  std::u16string Dir;
  std::uint32_t SearchBox = 0;
};

TSearchMessage DecodeSearchMessage(TStreamStorage& data);
