#include "win/ipc/FrameIo.h"

#include <algorithm>
#include <vector>

namespace {

TFrameResult Failed(TFrameStep step, DWORD error) {
  TFrameResult r;
  r.failedAt = step;
  r.error = error;
  return r;
}

}  // namespace

TFrameResult WriteFrame(TPipeIo& io, TMessageData& message) {
  TMemoryStream& data = message.Data().Storage();
  const std::int64_t size = data.Size();
  data.SetPosition(0);
  const std::vector<std::uint8_t> idHeader = EncodeFrameId(message.ID());
  if (!io.WriteAll(idHeader.data(), idHeader.size())) return Failed(TFrameStep::Id, ::GetLastError());
  const auto sizeField = EncodeFrameSize(size);
  if (!io.WriteAll(sizeField.data(), sizeField.size())) return Failed(TFrameStep::DataSize, ::GetLastError());
  std::int64_t sent = 0;
  while (sent < size) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::int64_t>(size - sent, kFrameChunkSize));
    if (!io.WriteAll(data.Data() + sent, piece)) return Failed(TFrameStep::Data, ::GetLastError());
    sent += static_cast<std::int64_t>(piece);
    data.SetPosition(sent);
  }
  return {};
}

TFrameResult WriteFrameAtOnce(TPipeIo& io, TMessageData& message) {
  TMemoryStream& data = message.Data().Storage();
  const std::int64_t size = data.Size();
  if (size > static_cast<std::int64_t>(kFrameChunkSize)) return WriteFrame(io, message);
  std::vector<std::uint8_t> frame = EncodeFrameId(message.ID());
  const auto sizeField = EncodeFrameSize(size);
  frame.insert(frame.end(), sizeField.begin(), sizeField.end());
  frame.insert(frame.end(), data.Data(), data.Data() + size);
  if (!io.WriteAll(frame.data(), frame.size())) return Failed(TFrameStep::Data, ::GetLastError());
  data.SetPosition(size);
  return {};
}

TFrameResult ReadFrame(TPipeIo& io, TMessageData& message, const TFrameLimits& limits) {
  std::uint8_t field[kFrameFieldSize];
  if (!io.ReadAll(field, sizeof field)) return Failed(TFrameStep::IdLength, ::GetLastError());
  if (limits.restTimeoutMs != INFINITE) io.SetTimeout(limits.restTimeoutMs);
  const std::int64_t idLength = DecodeFrameSize(field);
  if (idLength == kFrameEndMarker) {
    TFrameResult r;
    r.endMarker = true;
    return r;
  }
  if (!IsValidFrameIdLength(idLength)) return Failed(TFrameStep::IdLength, ERROR_INVALID_DATA);
  if (idLength > 0) {
    std::vector<std::uint8_t> id(static_cast<std::size_t>(idLength));
    if (!io.ReadAll(id.data(), id.size())) return Failed(TFrameStep::Id, ::GetLastError());
    message.SetID(DecodeFrameId(id.data(), id.size()));
  }
  if (!io.ReadAll(field, sizeof field)) return Failed(TFrameStep::DataSize, ::GetLastError());
  const std::int64_t size = DecodeFrameSize(field);
  if (!IsValidFrameDataSize(size) || size > limits.maxDataSize) return Failed(TFrameStep::DataSize, ERROR_INVALID_DATA);
  if (size > 0) {
    // One piece-sized buffer per transfer; the storage grows as the pieces arrive, so a peer
    // that announces more than it sends costs no more than it sent.
    std::vector<std::uint8_t> piece(static_cast<std::size_t>(std::min<std::int64_t>(size, kFrameChunkSize)));
    TMemoryStream& data = message.Data().Storage();
    std::int64_t received = 0;
    while (received < size) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(size - received, kFrameChunkSize));
      if (!io.ReadAll(piece.data(), want)) return Failed(TFrameStep::Data, ::GetLastError());
      data.Append(piece.data(), want);
      received += static_cast<std::int64_t>(want);
    }
  }
  return {};
}

bool WriteEndMarker(TPipeIo& io) {
  const auto marker = EncodeFrameSize(kFrameEndMarker);
  return io.WriteAll(marker.data(), marker.size());
}
