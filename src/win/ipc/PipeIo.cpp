#include "win/ipc/PipeIo.h"

#include <algorithm>
#include <cstdint>
#include <limits>

TPipeIo::TPipeIo(HANDLE pipe, bool overlapped, HANDLE abortEvent) : FPipe(pipe), FAbort(abortEvent) {
  if (overlapped) FIoEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

void TPipeIo::SetTimeout(DWORD ms) {
  FHasDeadline = ms != INFINITE;
  FDeadline = ::GetTickCount64() + ms;
}

DWORD TPipeIo::RemainingMs() const {
  if (!FHasDeadline) return INFINITE;
  const ULONGLONG now = ::GetTickCount64();
  return now >= FDeadline ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(FDeadline - now, INFINITE - 1));
}

bool TPipeIo::ReadAll(void* buffer, std::size_t size) { return Transfer(false, buffer, size); }

bool TPipeIo::WriteAll(const void* buffer, std::size_t size) { return Transfer(true, const_cast<void*>(buffer), size); }

bool TPipeIo::ReadSome(void* buffer, std::size_t size, std::size_t& moved) { return TransferSome(false, buffer, size, moved); }

bool TPipeIo::TransferSome(bool write, void* buffer, std::size_t size, std::size_t& moved) {
  const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, std::numeric_limits<DWORD>::max()));
  DWORD got = 0;
  if (!TransferPiece(write, buffer, piece, got)) return false;
  if (got == 0) {
    // A successful transfer of nothing on a byte pipe means the other end is gone.
    ::SetLastError(ERROR_BROKEN_PIPE);
    return false;
  }
  moved = got;
  return true;
}

bool TPipeIo::Transfer(bool write, void* buffer, std::size_t size) {
  auto* p = static_cast<std::uint8_t*>(buffer);
  while (size > 0) {
    std::size_t moved = 0;
    if (!TransferSome(write, p, size, moved)) return false;
    p += moved;
    size -= moved;
  }
  return true;
}

bool TPipeIo::TransferPiece(bool write, void* buffer, DWORD size, DWORD& moved) {
  if (!FIoEvent) {
    const BOOL ok = write ? ::WriteFile(FPipe, buffer, size, &moved, nullptr) : ::ReadFile(FPipe, buffer, size, &moved, nullptr);
    return ok || ::GetLastError() == ERROR_MORE_DATA;
  }
  OVERLAPPED ov{};
  ov.hEvent = FIoEvent.get();
  ::ResetEvent(ov.hEvent);
  BOOL ok = write ? ::WriteFile(FPipe, buffer, size, nullptr, &ov) : ::ReadFile(FPipe, buffer, size, nullptr, &ov);
  if (!ok) {
    const DWORD err = ::GetLastError();
    if (err == ERROR_MORE_DATA) return ::GetOverlappedResult(FPipe, &ov, &moved, TRUE) || ::GetLastError() == ERROR_MORE_DATA;
    if (err != ERROR_IO_PENDING) return false;
    if (FAbort || FHasDeadline) {
      const HANDLE waits[2] = {ov.hEvent, FAbort};
      const DWORD w = ::WaitForMultipleObjects(FAbort ? 2 : 1, waits, FALSE, RemainingMs());
      if (w != WAIT_OBJECT_0) {
        // The OVERLAPPED lives on this stack frame: the cancelled operation must finish first.
        // One that completed meanwhile has moved its bytes, and they count.
        ::CancelIo(FPipe);
        if (::GetOverlappedResult(FPipe, &ov, &moved, TRUE) || ::GetLastError() == ERROR_MORE_DATA) return true;
        ::SetLastError(w == WAIT_TIMEOUT ? WAIT_TIMEOUT : ERROR_OPERATION_ABORTED);
        return false;
      }
    }
  }
  ok = ::GetOverlappedResult(FPipe, &ov, &moved, TRUE);
  return ok || ::GetLastError() == ERROR_MORE_DATA;
}
