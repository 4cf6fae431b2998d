#pragma once
// The service's work, the same in service and console mode: the index of the roots, the
// request pipe "SearchRequestPipe" and the answers.
#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "service/AnswerScheduler.h"
#include "service/IndexStore.h"
#include "service/ServiceOptions.h"
#include "win/ipc/IPCServer.h"

// The request pipe's server. It learns who is on the other end of each connection (process
// id, impersonation token) when the connection begins.
class RequestServer : public TIPCServer {
 public:
  // The connections' threads use the client table, so they end before it goes.
  ~RequestServer() override { Shutdown(); }

  struct Client {
    DWORD processId = 0;
    std::shared_ptr<UniqueKernelHandle> token;
    bool known = false;
  };
  // Called when a connection begins, on the thread that serves it.
  Client Identify(const ICommContext& context);
  Client Find(const ICommContext& context);
  void Forget(const ICommContext& context);

 private:
  std::mutex lock_;
  std::map<const TCommContext*, Client> clients_;
};

class SearchService {
 public:
  // runningAsService: a client whose identity cannot be taken is refused rather than served
  // with the service's own rights. devices: where the device events of the watched roots go.
  SearchService(const ServiceOptions& options, bool runningAsService, DeviceRecipient devices = {});
  ~SearchService();
  SearchService(const SearchService&) = delete;
  SearchService& operator=(const SearchService&) = delete;

  // How long Stop may take, well inside the service control manager's patience.
  static constexpr DWORD kStopMs = 7000;

  // False when the request pipe cannot be served.
  bool Start();
  // A device event (the DBT_* type and its data) from the control handler or the console's
  // window; those for a watched root's handle let its volume go when asked.
  void DeviceEvent(DWORD type, const void* data);
  // Stops everything, waiting at most kStopMs for the threads; false when one still runs then.
  // The service must not be destroyed after that: its owner ends the process instead.
  bool Stop();

 private:
  void Handle(const ICommContext& context, const IMessageData& request);

  ServiceOptions options_;
  bool runningAsService_;
  IndexStore store_;
  AnswerScheduler scheduler_;
  RequestServer server_;
  std::optional<bool> stopped_;
};
