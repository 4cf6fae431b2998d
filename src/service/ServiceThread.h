#pragma once
// A thread the service starts. Its handle is kept, so shut-down can wait for it with a limit;
// and its body never ends the process: what it throws (a failed allocation above all) is
// caught and reported, and only that thread's work is lost.
#include <windows.h>

#include <functional>

#include "win/common/Handle.h"

// Runs body, catching and reporting what it throws; what names the work in the report.
void RunCaught(const wchar_t* what, const std::function<void()>& body) noexcept;

class ServiceThread {
 public:
  ServiceThread() = default;
  // Starts body (run as RunCaught does) on a new thread; throws std::system_error when no
  // thread can be made.
  ServiceThread(const wchar_t* what, std::function<void()> body);
  // Waits for a thread still running: its owner gave it every chance to end first (Join),
  // and an owner that gives up on a thread ends the process instead of destroying it.
  ~ServiceThread();
  ServiceThread(ServiceThread&&) noexcept = default;
  ServiceThread& operator=(ServiceThread&& other) noexcept;

  bool Started() const { return static_cast<bool>(handle_); }
  bool Finished() const;
  // Waits until the thread has ended or the tick (GetTickCount64) deadline passed; true when
  // it has ended (or never started).
  bool Join(ULONGLONG deadline) const;

 private:
  UniqueKernelHandle handle_;
};

// The tick count limitMs from now.
inline ULONGLONG DeadlineIn(DWORD limitMs) { return ::GetTickCount64() + limitMs; }
