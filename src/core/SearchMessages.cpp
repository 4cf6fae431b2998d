#include "core/SearchMessages.h"

namespace {

IMessageData ActionAndBox(std::uint8_t action, std::uint32_t searchBox) {
  IMessageData msg = NewMessageData();
  msg->Data().WriteCardinal(kFieldAction, action);
  msg->Data().WriteCardinal(kFieldSearchBox, searchBox);
  return msg;
}

}  // namespace

IMessageData BuildSearchRequest(std::u16string_view dir, std::u16string_view wildcard, std::uint32_t searchBox) {
  IMessageData msg = NewMessageData();
  TStreamStorage& d = msg->Data();
  d.WriteCardinal(kFieldAction, kActionSearch);
  d.WriteString(kFieldDir, dir);
  d.WriteString(kFieldWildcard, wildcard);
  d.WriteCardinal(kFieldSearchBox, searchBox);
  return msg;
}

IMessageData BuildCancelRequest(std::uint32_t searchBox) { return ActionAndBox(kActionCancel, searchBox); }

IMessageData BuildChannelReport(std::uint32_t channel) { return ActionAndBox(kActionChannelReport, channel); }

IMessageData BuildAnswerBegin(std::uint32_t searchBox) { return ActionAndBox(kActionAnswerBegin, searchBox); }

IMessageData BuildFoundItem(std::u16string_view fileName, std::u16string_view wildcard, std::uint32_t searchBox) {
  IMessageData msg = NewMessageData();
  TStreamStorage& d = msg->Data();
  d.WriteCardinal(kFieldAction, kActionFoundItem);
  d.WriteString(kFieldFileName, fileName);
  d.WriteString(kFieldWildcard, wildcard);
  d.WriteCardinal(kFieldSearchBox, searchBox);
  return msg;
}

// FileName and Wildcard are empty in a closing message, so they write nothing.
IMessageData BuildAnswerEnd(std::uint32_t searchBox) { return ActionAndBox(kActionAnswerEnd, searchBox); }

IMessageData BuildUpdateAnnouncement(std::u16string_view fileName, std::u16string_view version) {
  IMessageData msg = NewMessageData();
  TStreamStorage& d = msg->Data();
  d.WriteCardinal(kFieldAction, kActionUpdate);
  d.WriteString(kFieldFileName, fileName);
  d.WriteString(kFieldVersion, version);
  return msg;
}

TSearchMessage DecodeSearchMessage(TStreamStorage& data) {
  TSearchMessage m;
  m.Action = static_cast<std::uint8_t>(data.ReadCardinal(kFieldAction) & 0xFF);
  m.FileName = data.ReadString(kFieldFileName);
  m.Wildcard = data.ReadString(kFieldWildcard);
  m.SearchBox = data.ReadCardinal(kFieldSearchBox);
  m.Version = data.ReadString(kFieldVersion);
  m.Dir = data.ReadString(kFieldDir);
  return m;
}
