#pragma once
// A toolkit timer: raises OnTimer every Interval milliseconds while enabled, on the thread that
// enabled it (which must run a message loop). It needs no window of its own.
#include <windows.h>

#include <functional>

class TTimer {
 public:
  TTimer() = default;
  ~TTimer();
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  bool Enabled() const { return id_ != 0; }
  // Enabling (re)starts the period from now; disabling stops it.
  void SetEnabled(bool enabled);
  UINT Interval() const { return interval_; }
  void SetInterval(UINT ms);

  std::function<void(TTimer&)> OnTimer;

 private:
  static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD);
  void Stop();

  UINT interval_ = 1000;
  UINT_PTR id_ = 0;
};
