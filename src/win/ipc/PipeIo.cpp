#include "win/ipc/PipeIo.h"

#include <algorithm>
#include <cstdint>
#include <limits>

TPipeIo::TPipeIo(HANDLE pipe, bool overlapped, HANDLE abortEvent) : pipe_(pipe), abort_(abortEvent) {
  if (overlapped) ioEvent_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

bool TPipeIo::ReadAll(void* buffer, std::size_t size) { return Transfer(false, buffer, size); }

bool TPipeIo::WriteAll(const void* buffer, std::size_t size) { return Transfer(true, const_cast<void*>(buffer), size); }

bool TPipeIo::Transfer(bool write, void* buffer, std::size_t size) {
  auto* p = static_cast<std::uint8_t*>(buffer);
  while (size > 0) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, std::numeric_limits<DWORD>::max()));
    DWORD moved = 0;
    if (!TransferPiece(write, p, piece, moved)) return false;
    if (moved == 0) {
      // A successful transfer of nothing on a byte pipe means the other end is gone.
      ::SetLastError(ERROR_BROKEN_PIPE);
      return false;
    }
    p += moved;
    size -= moved;
  }
  return true;
}

bool TPipeIo::TransferPiece(bool write, void* buffer, DWORD size, DWORD& moved) {
  if (!ioEvent_) {
    const BOOL ok = write ? ::WriteFile(pipe_, buffer, size, &moved, nullptr) : ::ReadFile(pipe_, buffer, size, &moved, nullptr);
    return ok || ::GetLastError() == ERROR_MORE_DATA;
  }
  OVERLAPPED ov{};
  ov.hEvent = ioEvent_.get();
  ::ResetEvent(ov.hEvent);
  BOOL ok = write ? ::WriteFile(pipe_, buffer, size, nullptr, &ov) : ::ReadFile(pipe_, buffer, size, nullptr, &ov);
  if (!ok) {
    const DWORD err = ::GetLastError();
    if (err == ERROR_MORE_DATA) return ::GetOverlappedResult(pipe_, &ov, &moved, TRUE) || ::GetLastError() == ERROR_MORE_DATA;
    if (err != ERROR_IO_PENDING) return false;
    if (abort_) {
      const HANDLE waits[2] = {ov.hEvent, abort_};
      if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        // The OVERLAPPED lives on this stack frame: the cancelled operation must finish first.
        ::CancelIo(pipe_);
        ::GetOverlappedResult(pipe_, &ov, &moved, TRUE);
        ::SetLastError(ERROR_OPERATION_ABORTED);
        return false;
      }
    }
  }
  ok = ::GetOverlappedResult(pipe_, &ov, &moved, TRUE);
  return ok || ::GetLastError() == ERROR_MORE_DATA;
}
