#include "service/SearchService.h"

#include <dbt.h>

#include <cstddef>

#include "core/SearchMessages.h"
#include "service/ChannelRecord.h"
#include "service/Drives.h"
#include "win/common/WideText.h"
#include "win/common/Trace.h"

namespace {
std::vector<std::wstring> FullPaths(const std::vector<std::wstring>& roots) {
  std::vector<std::wstring> out;
  for (const auto& r : roots) {
    wchar_t buf[MAX_PATH * 4];
    const DWORD n = ::GetFullPathNameW(r.c_str(), static_cast<DWORD>(std::size(buf)), buf, nullptr);
    out.push_back(n > 0 && n < std::size(buf) ? std::wstring(buf, n) : r);
  }
  return out;
}

std::shared_ptr<UniqueKernelHandle> ClientToken(HANDLE pipe) {
  // Made first: nothing between the impersonation and its end may throw, or the worker would
  // go on as the client.
  auto token = std::make_shared<UniqueKernelHandle>();
  if (!::ImpersonateNamedPipeClient(pipe)) return nullptr;
  HANDLE h = nullptr;
  if (::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY | TOKEN_IMPERSONATE, TRUE, &h)) token->reset(h);
  ::RevertToSelf();
  return *token ? token : nullptr;
}
}  // namespace

RequestServer::Client RequestServer::Identify(const ICommContext& context) {
  Client client;
  ULONG pid = 0;
  if (::GetNamedPipeClientProcessId(context->Pipe(), &pid) && pid != 0) {
    client.processId = pid;
    client.token = ClientToken(context->Pipe());
    client.known = true;
  }
  std::lock_guard lock(lock_);
  clients_[context.get()] = client;
  return client;
}

RequestServer::Client RequestServer::Find(const ICommContext& context) {
  std::lock_guard lock(lock_);
  const auto it = clients_.find(context.get());
  return it == clients_.end() ? Client{} : it->second;
}

void RequestServer::Forget(const ICommContext& context) {
  std::lock_guard lock(lock_);
  clients_.erase(context.get());
}

SearchService::SearchService(const ServiceOptions& options, bool runningAsService, DeviceRecipient devices)
    : options_(options),
      runningAsService_(runningAsService),
      store_(options.roots.empty() ? DriveRoots() : FullPaths(options.roots), options.roots.empty(), devices),
      scheduler_(store_, options.answerCap) {
  server_.SetServerName(kSearchRequestPipe);
  server_.SetMaxDataSize(kMaxRequestDataSize);
  // Ordinary users' programs must reach a service that runs as LocalSystem.
  server_.SetPipeAccess(TPipeAccess::OwnerSystemAdminsAndUsers);
  server_.OnClientConnect = [this](const ICommContext& c) { server_.Identify(c); };
  server_.OnClientDisconnect = [this](const ICommContext& c) { server_.Forget(c); };
  // A request is answered at once with an empty message; the results go their own way.
  server_.OnExecuteRequest = [this](const ICommContext& c, const IMessageData& request, const IMessageData&) {
    Handle(c, request);
  };
}

SearchService::~SearchService() { Stop(); }

bool SearchService::Start() {
  store_.Start();
  try {
    server_.Start();
  } catch (const std::exception&) {
    return false;
  }
  return server_.Listening();
}

void SearchService::DeviceEvent(DWORD type, const void* data) {
  const auto* header = static_cast<const DEV_BROADCAST_HDR*>(data);
  if (!header || header->dbch_devicetype != DBT_DEVTYP_HANDLE ||
      header->dbch_size < offsetof(DEV_BROADCAST_HANDLE, dbch_hdevnotify) + sizeof(HDEVNOTIFY))
    return;
  store_.DeviceEvent(type, static_cast<const DEV_BROADCAST_HANDLE*>(data)->dbch_hdevnotify);
}

bool SearchService::Stop() {
  if (stopped_) return *stopped_;
  const ULONGLONG deadline = DeadlineIn(kStopMs);
  server_.Stop();
  const bool answersEnded = scheduler_.Shutdown(deadline);
  const bool storeEnded = store_.Stop(deadline);
  // The request pipe's connections end now: their blocked reads and writes are cancelled.
  server_.Shutdown();
  stopped_ = answersEnded && storeEnded;
  return *stopped_;
}

void SearchService::Handle(const ICommContext& context, const IMessageData& request) {
  const TSearchMessage msg = DecodeSearchMessage(request->Data());
  const RequestServer::Client client = server_.Find(context);
  switch (msg.Action) {
    case kActionSearch: {
      if (!client.known || (runningAsService_ && !client.token)) return;
      const std::u16string wildcard = msg.Wildcard;
      if (wildcard.empty()) return;
      scheduler_.Search(SearchRequest{W(msg.Dir), wildcard, msg.SearchBox, client.processId, client.token});
      break;
    }
    case kActionCancel:
      if (client.known) scheduler_.Cancel(client.processId, msg.SearchBox);
      break;
    case kActionChannelReport:
      Trace(L"RuvoService: program started, install channel " + std::to_wstring(msg.SearchBox));
      if (runningAsService_) RecordInstallChannel(msg.SearchBox);
      if (client.known && !options_.updateProgram.empty())
        scheduler_.AnnounceUpdate(client.processId, U(options_.updateProgram), U(options_.updateVersion));
      break;
    default:
      break;  // unknown actions are answered and dropped
  }
}
