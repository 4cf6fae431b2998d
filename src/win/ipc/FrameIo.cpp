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

TFrameResult TFrameBatch::Add(TPipeIo& io, TMessageData& message) {
  TMemoryStream& data = message.Data().Storage();
  const std::int64_t size = data.Size();
  if (size > static_cast<std::int64_t>(kFrameChunkSize)) {
    const TFrameResult gathered = Flush(io);
    return gathered.Ok() ? WriteFrame(io, message) : gathered;
  }
  const std::vector<std::uint8_t> idHeader = EncodeFrameId(message.ID());
  const auto sizeField = EncodeFrameSize(size);
  FBytes.insert(FBytes.end(), idHeader.begin(), idHeader.end());
  FBytes.insert(FBytes.end(), sizeField.begin(), sizeField.end());
  FBytes.insert(FBytes.end(), data.Data(), data.Data() + size);
  data.SetPosition(size);
  return {};
}

TFrameResult TFrameBatch::Flush(TPipeIo& io) {
  if (FBytes.empty()) return {};
  const bool ok = io.WriteAll(FBytes.data(), FBytes.size());
  const DWORD error = ::GetLastError();
  FBytes.clear();
  return ok ? TFrameResult{} : Failed(TFrameStep::Id, error);
}

TFrameReader::TFrameReader(TPipeIo& io, std::size_t readAhead) : FIo(io), FBuffer(readAhead) {}

bool TFrameReader::Take(void* destination, std::size_t size) {
  auto* out = static_cast<std::uint8_t*>(destination);
  while (size > 0) {
    if (FBegin == FEnd) {
      if (FBuffer.empty() || size >= FBuffer.size()) return FIo.ReadAll(out, size);
      std::size_t moved = 0;
      if (!FIo.ReadSome(FBuffer.data(), FBuffer.size(), moved)) return false;
      FBegin = 0;
      FEnd = moved;
    }
    const std::size_t n = std::min(size, FEnd - FBegin);
    std::copy_n(FBuffer.data() + FBegin, n, out);
    FBegin += n;
    out += n;
    size -= n;
  }
  return true;
}

bool TFrameReader::HasWholeFrameBuffered() const {
  const std::size_t available = FEnd - FBegin;
  const std::uint8_t* next = FBuffer.data() + FBegin;
  if (available < 2 * kFrameFieldSize) return false;
  const std::int64_t idLength = DecodeFrameSize(next);
  if (idLength == kFrameEndMarker || !IsValidFrameIdLength(idLength)) return false;
  const std::size_t idBytes = static_cast<std::size_t>(idLength);
  if (available < 2 * kFrameFieldSize + idBytes) return false;
  const std::int64_t size = DecodeFrameSize(next + kFrameFieldSize + idBytes);
  return IsValidFrameDataSize(size) && static_cast<std::uint64_t>(size) <= available - 2 * kFrameFieldSize - idBytes;
}

TFrameResult TFrameReader::Read(TMessageData& message, const TFrameLimits& limits) {
  std::uint8_t field[kFrameFieldSize];
  if (!Take(field, sizeof field)) return Failed(TFrameStep::IdLength, ::GetLastError());
  if (limits.restTimeoutMs != INFINITE) FIo.SetTimeout(limits.restTimeoutMs);
  const std::int64_t idLength = DecodeFrameSize(field);
  if (idLength == kFrameEndMarker) {
    TFrameResult r;
    r.endMarker = true;
    return r;
  }
  if (!IsValidFrameIdLength(idLength)) return Failed(TFrameStep::IdLength, ERROR_INVALID_DATA);
  if (idLength > 0) {
    std::vector<std::uint8_t> id(static_cast<std::size_t>(idLength));
    if (!Take(id.data(), id.size())) return Failed(TFrameStep::Id, ::GetLastError());
    message.SetID(DecodeFrameId(id.data(), id.size()));
  }
  if (!Take(field, sizeof field)) return Failed(TFrameStep::DataSize, ::GetLastError());
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
      if (!Take(piece.data(), want)) return Failed(TFrameStep::Data, ::GetLastError());
      data.Append(piece.data(), want);
      received += static_cast<std::int64_t>(want);
    }
  }
  return {};
}

TFrameResult ReadFrame(TPipeIo& io, TMessageData& message, const TFrameLimits& limits) {
  return TFrameReader(io, 0).Read(message, limits);
}

bool WriteEndMarker(TPipeIo& io) {
  const auto marker = EncodeFrameSize(kFrameEndMarker);
  return io.WriteAll(marker.data(), marker.size());
}
