#pragma once
// A thread object in the classic style: created suspended, started by its owner, told to
// terminate and waited for. Work that touches windows is handed to the main thread with
// Synchronize, which waits until the main thread has run it.
#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>

#include "win/common/Handle.h"

class TThread {
 public:
  TThread();  // suspended; Start() runs Execute on the new thread
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  void Start();
  void Terminate() {
    terminated_.store(true);
    TerminatedSet();
  }
  bool Terminated() const { return terminated_.load(); }
  // Waits for the thread to end. On the main thread it keeps running the calls other threads
  // hand to it meanwhile, so a thread blocked in Synchronize can finish.
  void WaitFor();
  HANDLE Handle() const { return handle_.get(); }
  DWORD ThreadId() const { return id_; }
  bool Finished() const { return finished_.load(); }

  // Runs fn on the main thread and waits for it; an exception fn throws is rethrown here.
  // On the main thread itself fn simply runs.
  static void Synchronize(const std::function<void()>& fn);

 protected:
  virtual void Execute() = 0;
  // Called by Terminate on the terminating thread, so an Execute that waits can be woken.
  virtual void TerminatedSet() {}

 private:
  static unsigned __stdcall ThreadProc(void* self);
  UniqueKernelHandle handle_;
  unsigned id_ = 0;
  bool started_ = false;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
};

// The process's main thread: the one that owns the windows. Call Init once from it, before
// any other thread uses Synchronize.
namespace MainThread {
void Init();
bool IsCurrent();
// Runs every call queued by Synchronize; the main thread's window procedure does this when
// it is woken, and WaitFor does it while it waits.
void CheckSynchronize();
// Signalled while calls are queued (for waits on the main thread).
HANDLE QueueEvent();
// Waits for the object; on the main thread, runs queued calls meanwhile.
void WaitServing(HANDLE object);
// Runs work on a thread of its own and waits for it, serving queued calls meanwhile, so work
// may wait for threads that are themselves waiting in Synchronize (for instance when it stops
// a server whose handlers synchronise). Off the main thread work simply runs.
void RunWhileServing(const std::function<void()>& work);
}  // namespace MainThread
