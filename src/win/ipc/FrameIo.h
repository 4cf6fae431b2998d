#pragma once
// Sending and receiving one message frame over a pipe (layout in core/Frame.h). The client
// and the server describe failures in their own words, so these report only the step.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/Frame.h"
#include "core/MessageData.h"
#include "win/ipc/PipeIo.h"

enum class TFrameStep { None, IdLength, Id, DataSize, Data };

struct TFrameResult {
  TFrameStep failedAt = TFrameStep::None;  // None: success
  bool endMarker = false;                  // the peer ended the connection instead of a frame
  DWORD error = 0;                         // Win32 error of the failed step
  bool Ok() const { return failedAt == TFrameStep::None && !endMarker; }
};

// Writes ID length and ID in one write, the data size, then the storage from its start in
// pieces of at most kFrameChunkSize bytes.
TFrameResult WriteFrame(TPipeIo& io, TMessageData& message);
// Frames gathered to go out in one write, for a peer that pays per transfer (every one is a
// wineserver request under Wine). A frame larger than a piece goes out at once, as WriteFrame
// sends it, after those gathered before it.
class TFrameBatch {
 public:
  // Gathers the frame, or writes it (and those before it) when it is larger than a piece.
  TFrameResult Add(TPipeIo& io, TMessageData& message);
  // Writes what was gathered in one write and empties the batch, also when the write failed
  // (reported as the step of the ID and data).
  TFrameResult Flush(TPipeIo& io);
  std::size_t Size() const { return FBytes.size(); }
  void Clear() { FBytes.clear(); }

 private:
  std::vector<std::uint8_t> FBytes;
};
// What a reader accepts of one frame.
struct TFrameLimits {
  // At most kMaxFrameDataSize: a reader's own cap may only be smaller.
  std::int64_t maxDataSize = kMaxFrameDataSize;
  // Once the frame's first field has arrived, the rest must follow within this time
  // (INFINITE: the time limit the transfer had stays as it is).
  DWORD restTimeoutMs = INFINITE;
};

// Reads frames one after another from a pipe. With a read-ahead buffer each transfer takes
// all the bytes that have come, up to the buffer's size, so a peer that writes ahead of its
// replies costs one transfer for many frames; without one, each field is read on its own and
// nothing past the frame is taken from the pipe.
class TFrameReader {
 public:
  static constexpr std::size_t kReadAheadSize = 64 * 1024;

  TFrameReader(TPipeIo& io, std::size_t readAhead);

  // Reads one frame into message: the ID into its ID, the data appended to its storage. An ID
  // length or data size outside the caps fails that step with ERROR_INVALID_DATA, before any
  // allocation.
  TFrameResult Read(TMessageData& message, const TFrameLimits& limits = {});
  // Whether the next frame has been read whole already, so the next Read cannot wait on the
  // pipe (an end marker or a field outside the caps does not count).
  bool HasWholeFrameBuffered() const;

 private:
  bool Take(void* destination, std::size_t size);

  TPipeIo& FIo;
  std::vector<std::uint8_t> FBuffer;
  std::size_t FBegin = 0, FEnd = 0;  // the unread bytes of FBuffer
};

// One frame, taking nothing past it from the pipe.
TFrameResult ReadFrame(TPipeIo& io, TMessageData& message, const TFrameLimits& limits = {});
// The end-of-connection marker.
bool WriteEndMarker(TPipeIo& io);
