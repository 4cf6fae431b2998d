#include "win/thread/TThread.h"

#include <process.h>

#include <deque>
#include <mutex>
#include <stdexcept>
#include "win/common/Trace.h"

namespace {
// One call handed to the main thread; the caller waits on done.
struct SyncCall {
  const std::function<void()>* fn;
  std::exception_ptr error;
  HANDLE done;
};

constexpr UINT kWakeMessage = WM_APP + 0x51;

struct MainThreadState {
  DWORD id = 0;
  HWND wakeWnd = nullptr;  // message-only window; posting to it wakes an idle message loop
  UniqueKernelHandle queued{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::mutex lock;
  std::deque<SyncCall*> queue;
  // Whether queued is set, so an empty queue is not reset again: every call on an event is a
  // wineserver request under Wine, and each hand-over would pay for the wake message's as well.
  bool queuedSet = false;
};

// The calling thread's own event for the end of its hand-overs (auto-reset; a thread waits for
// one call at a time), made once instead of once per call.
HANDLE DoneEvent() {
  thread_local const UniqueKernelHandle done(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  return done.get();
}

MainThreadState& State() {
  static MainThreadState state;
  return state;
}

struct ServedJob {
  const std::function<void()>* work;
  std::exception_ptr error;
};

unsigned __stdcall RunServedJob(void* p) {
  auto* job = static_cast<ServedJob*>(p);
  try {
    (*job->work)();
  } catch (...) {
    job->error = std::current_exception();
  }
  return 0;
}

LRESULT CALLBACK WakeProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kWakeMessage) {
    MainThread::CheckSynchronize();
    return 0;
  }
  return ::DefWindowProcW(wnd, msg, wp, lp);
}
}  // namespace

void MainThread::Init() {
  auto& s = State();
  if (s.id != 0) return;
  s.id = ::GetCurrentThreadId();
  WNDCLASSW wc{};
  wc.lpfnWndProc = WakeProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"RuvoMainThreadWake";
  ::RegisterClassW(&wc);
  s.wakeWnd = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

bool MainThread::IsCurrent() { return ::GetCurrentThreadId() == State().id; }

HANDLE MainThread::QueueEvent() { return State().queued.get(); }

void MainThread::CheckSynchronize() {
  auto& s = State();
  for (;;) {
    SyncCall* call;
    {
      std::lock_guard<std::mutex> g(s.lock);
      if (s.queue.empty()) {
        if (s.queuedSet) ::ResetEvent(s.queued.get());
        s.queuedSet = false;
        return;
      }
      call = s.queue.front();
      s.queue.pop_front();
    }
    try {
      (*call->fn)();
    } catch (...) {
      call->error = std::current_exception();
    }
    ::SetEvent(call->done);
  }
}

void TThread::Synchronize(const std::function<void()>& fn) {
  auto& s = State();
  if (s.id == 0) throw std::logic_error("MainThread::Init was not called");
  if (MainThread::IsCurrent()) {
    fn();
    return;
  }
  const HANDLE done = DoneEvent();
  if (!done) throw std::runtime_error("CreateEvent failed");
  SyncCall call{&fn, nullptr, done};
  {
    std::lock_guard<std::mutex> g(s.lock);
    s.queue.push_back(&call);
    if (!s.queuedSet) ::SetEvent(s.queued.get());
    s.queuedSet = true;
  }
  ::PostMessageW(s.wakeWnd, kWakeMessage, 0, 0);
  ::WaitForSingleObject(done, INFINITE);
  if (call.error) std::rethrow_exception(call.error);
}

TThread::TThread() {
  handle_.reset(reinterpret_cast<HANDLE>(
      ::_beginthreadex(nullptr, 0, &TThread::ThreadProc, this, CREATE_SUSPENDED, &id_)));
  if (!handle_) throw std::runtime_error("Thread creation failed");
}

TThread::~TThread() {
  if (!started_) {
    // Never started: let the suspended thread run to its end without calling Execute.
    terminated_.store(true);
    ::ResumeThread(handle_.get());
    ::WaitForSingleObject(handle_.get(), INFINITE);
  }
}

unsigned __stdcall TThread::ThreadProc(void* p) {
  auto* self = static_cast<TThread*>(p);
  if (self->started_) {
    try {
      self->Execute();
    } catch (const std::exception& e) {
      TraceUtf8(e.what());
    } catch (...) {
    }
  }
  self->finished_.store(true);
  return 0;
}

void TThread::Start() {
  if (started_) return;
  started_ = true;
  ::ResumeThread(handle_.get());
}

void TThread::WaitFor() {
  if (started_) MainThread::WaitServing(handle_.get());
}

void MainThread::WaitServing(HANDLE object) {
  if (!IsCurrent()) {
    ::WaitForSingleObject(object, INFINITE);
    return;
  }
  const HANDLE waits[2] = {object, QueueEvent()};
  for (;;) {
    const DWORD r = ::MsgWaitForMultipleObjects(2, waits, FALSE, INFINITE, QS_SENDMESSAGE);
    if (r == WAIT_OBJECT_0) return;
    if (r == WAIT_OBJECT_0 + 1) {
      CheckSynchronize();
    } else {
      // Serve cross-thread SendMessage calls without dispatching posted messages.
      MSG msg;
      ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
  }
}

void MainThread::RunWhileServing(const std::function<void()>& work) {
  if (!IsCurrent()) {
    work();
    return;
  }
  ServedJob job{&work, nullptr};
  UniqueKernelHandle thread(
      reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &RunServedJob, &job, 0, nullptr)));
  if (!thread) {
    work();
    return;
  }
  WaitServing(thread.get());
  if (job.error) std::rethrow_exception(job.error);
}
