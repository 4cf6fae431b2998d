#include "win/controls/Timer.h"

#include <map>

namespace {
// Thread timers carry no pointer of their own; the running ones are found by id. Timers
// belong to the thread that started them, so the table is only touched there.
thread_local std::map<UINT_PTR, TTimer*> gRunning;
}  // namespace

TTimer::~TTimer() { Stop(); }

void TTimer::Stop() {
  if (id_ == 0) return;
  ::KillTimer(nullptr, id_);
  gRunning.erase(id_);
  id_ = 0;
}

void TTimer::SetEnabled(bool enabled) {
  Stop();
  if (!enabled || interval_ == 0) return;
  id_ = ::SetTimer(nullptr, 0, interval_, &TimerProc);
  if (id_ != 0) gRunning[id_] = this;
}

void TTimer::SetInterval(UINT ms) {
  interval_ = ms;
  if (Enabled()) SetEnabled(true);
}

void CALLBACK TTimer::TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  const auto it = gRunning.find(id);
  if (it == gRunning.end()) {
    ::KillTimer(nullptr, id);  // left over from a timer already gone
    return;
  }
  TTimer* timer = it->second;
  // The handler may free the timer; nothing of it is touched afterwards.
  if (timer->OnTimer) timer->OnTimer(*timer);
}
