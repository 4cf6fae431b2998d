#pragma once
// A finer system timer for the lifetime of the scope, for a short wait that the default tick
// (about 15.6 ms) would stretch; the process keeps the default timer the rest of the time.
#include <windows.h>
#include <mmsystem.h>

class TimerResolutionScope {
 public:
  explicit TimerResolutionScope(UINT ms) : ms_(ms), raised_(::timeBeginPeriod(ms) == TIMERR_NOERROR) {}
  ~TimerResolutionScope() {
    if (raised_) ::timeEndPeriod(ms_);
  }
  TimerResolutionScope(const TimerResolutionScope&) = delete;
  TimerResolutionScope& operator=(const TimerResolutionScope&) = delete;

 private:
  UINT ms_;
  bool raised_;
};
