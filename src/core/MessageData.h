#pragma once
// One message on a pipe: an ID (carried, never checked) and its named values.
#include <memory>
#include <string>

#include "core/StreamStorage.h"

class TMessageData {
 public:
  const std::u16string& ID() const { return FID; }
  void SetID(std::u16string id) { FID = std::move(id); }
  TStreamStorage& Data() { return FData; }
  const TStreamStorage& Data() const { return FData; }

 private:
  std::u16string FID;
  TStreamStorage FData;
};

// Messages are shared by reference count; a message lives while a reference is held.
using IMessageData = std::shared_ptr<TMessageData>;

inline IMessageData NewMessageData() { return std::make_shared<TMessageData>(); }
