// The main form's service handler: runs on the main thread when the hook thread cannot reach
// the search service.
#include "app/MainForm.h"

#include "app/HookThread.h"
#include "app/ServiceSupervision.h"
#include "win/thread/MessagePump.h"
#include "win/thread/TThread.h"

namespace {
// The application's message pump for the waits of the handler: handles what waits on this
// thread, including the calls other threads hand to it.
void ProcessMessages() {
  // A quit comes only from Close, which has already marked the form closed; the main loop
  // ends on that mark once the handler returns.
  PumpMessages(TQuitRule::qrIgnore);
  MainThread::CheckSynchronize();
}
}  // namespace

void TfrmRuvoSearch::HookThreadServiceNotRun(THookThread* sender, bool& successed) {
  TServiceSupervision supervision(Handle(), [this] { Close(); }, ProcessMessages);
  supervision.HookThreadServiceNotRun(successed, [sender] { sender->RetryServiceCheckLater(); });
}
