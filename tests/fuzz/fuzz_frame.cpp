// Bytes as they arrive on a pipe: frames read one after another the way the transport reads
// them, each ID and size checked before anything is allocated, each payload decoded as a
// search message.
#include <cstring>

#include "FuzzInput.h"
#include "core/Frame.h"
#include "core/MessageData.h"
#include "core/SearchMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t pos = 0;
  while (size - pos >= kFrameFieldSize) {
    const std::int64_t idLength = DecodeFrameSize(data + pos);
    FUZZ_CHECK(DecodeFrameSize(EncodeFrameSize(idLength).data()) == idLength);
    pos += kFrameFieldSize;
    if (idLength == kFrameEndMarker || !IsValidFrameIdLength(idLength)) break;
    if (static_cast<std::uint64_t>(idLength) > size - pos) break;
    const std::size_t idBytes = static_cast<std::size_t>(idLength);
    const std::u16string id = DecodeFrameId(data + pos, idBytes);
    FUZZ_CHECK(id.size() * 2 == idBytes);
    const std::vector<std::uint8_t> encoded = EncodeFrameId(id);
    FUZZ_CHECK(encoded.size() == kFrameFieldSize + idBytes);
    FUZZ_CHECK(std::memcmp(encoded.data(), data + pos - kFrameFieldSize, encoded.size()) == 0);
    pos += idBytes;

    if (size - pos < kFrameFieldSize) break;
    const std::int64_t dataSize = DecodeFrameSize(data + pos);
    pos += kFrameFieldSize;
    if (!IsValidFrameDataSize(dataSize)) break;
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(dataSize), size - pos));

    IMessageData msg = NewMessageData();
    msg->SetID(id);
    // The payload arrives in pieces and is appended as it comes.
    for (std::size_t done = 0; done < take;) {
      const std::size_t piece = std::min<std::size_t>(take - done, 7);
      msg->Data().Storage().Append(data + pos + done, piece);
      done += piece;
    }
    pos += take;
    const TSearchMessage m = DecodeSearchMessage(msg->Data());
    FUZZ_CHECK(m.Action == (msg->Data().ReadCardinal(kFieldAction) & 0xFF));
    FUZZ_CHECK(m.SearchBox == msg->Data().ReadCardinal(kFieldSearchBox));
  }
  FUZZ_CHECK(!IsValidFrameIdLength(kFrameEndMarker));
  return 0;
}
