#pragma once
// The hook thread as the program runs it, with its protected entry points opened for tests.
#include "app/HookThread.h"

class THookThreadProbe : public THookThread {
 public:
  THookThreadProbe() : THookThread(nullptr) {}
  // A test that stops early still ends the loop before the thread object goes.
  ~THookThreadProbe() override { StopAndWait(); }
  using THookThread::AddExplorerWindows;
  using THookThread::GetThreadFocus;
  using THookThread::CBTHookHookMessage;
  using THookThread::CBTHookSetFocus;

  TWindowRec* Record(HWND window) { return WindowList().GetValue(WindowKey(WindowValue(window))); }
  bool Inited(HWND window) {
    TWindowRec* rec = Record(window);
    return rec && rec->Inited;
  }
  void StopAndWait() {
    Terminate();
    WaitFor();
  }
};
