#pragma once
// Blocking whole-field transfers on a pipe handle. A pipe is a byte stream, so a transfer that
// moves fewer bytes than asked is continued until everything has moved. On a handle opened
// for overlapped use each piece waits for its completion on an event of its own, an optional
// abort event cancels the wait, and a time limit bounds it.
#include <windows.h>

#include <cstddef>

#include "win/common/Handle.h"

class TPipeIo {
 public:
  // overlapped: the handle was created with FILE_FLAG_OVERLAPPED. abortEvent may be null.
  TPipeIo(HANDLE pipe, bool overlapped, HANDLE abortEvent = nullptr);

  // Every transfer from now on must be done within ms milliseconds from now (INFINITE: no
  // limit). Only an overlapped handle can be bounded.
  void SetTimeout(DWORD ms);

  // False with the thread's last error set when the transfer failed part-way, was aborted
  // (ERROR_OPERATION_ABORTED) or ran out of time (WAIT_TIMEOUT).
  bool ReadAll(void* buffer, std::size_t size);
  bool WriteAll(const void* buffer, std::size_t size);
  // One transfer of at most size bytes: on a byte pipe it ends as soon as any bytes have come,
  // with all that came. Fails with ERROR_BROKEN_PIPE when the other end is gone.
  bool ReadSome(void* buffer, std::size_t size, std::size_t& moved);

 private:
  bool Transfer(bool write, void* buffer, std::size_t size);
  // One transfer that moved something; ERROR_BROKEN_PIPE when it moved nothing.
  bool TransferSome(bool write, void* buffer, std::size_t size, std::size_t& moved);
  bool TransferPiece(bool write, void* buffer, DWORD size, DWORD& moved);
  DWORD RemainingMs() const;

  HANDLE FPipe;
  HANDLE FAbort;
  UniqueKernelHandle FIoEvent;  // only for overlapped handles
  bool FHasDeadline = false;
  ULONGLONG FDeadline = 0;  // GetTickCount64
};
