#include "service/ServiceThread.h"

#include <process.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <system_error>

#include "core/TextUtils.h"
#include "win/common/WideText.h"
#include "win/common/Trace.h"

void RunCaught(const wchar_t* what, const std::function<void()>& body) noexcept {
  try {
    body();
    return;
  } catch (const std::exception& e) {
    try {
      Trace(std::wstring(L"RuvoService: ") + what + L" failed: " + W(Utf8ToUtf16(e.what())));
      return;
    } catch (...) {
    }
  } catch (...) {
  }
  Trace(L"RuvoService: a thread's work failed");
}

namespace {
struct Start {
  const wchar_t* what;
  std::function<void()> body;
};

unsigned __stdcall ThreadProc(void* param) {
  const std::unique_ptr<Start> start(static_cast<Start*>(param));
  RunCaught(start->what, start->body);
  return 0;
}
}  // namespace

ServiceThread::ServiceThread(const wchar_t* what, std::function<void()> body) {
  auto start = std::make_unique<Start>(Start{what, std::move(body)});
  const auto handle = ::_beginthreadex(nullptr, 0, ThreadProc, start.get(), 0, nullptr);
  if (handle == 0) throw std::system_error(errno, std::generic_category(), "cannot start a thread");
  start.release();
  handle_.reset(reinterpret_cast<HANDLE>(handle));
}

ServiceThread::~ServiceThread() {
  if (handle_) ::WaitForSingleObject(handle_.get(), INFINITE);
}

ServiceThread& ServiceThread::operator=(ServiceThread&& other) noexcept {
  if (this != &other) {
    if (handle_) ::WaitForSingleObject(handle_.get(), INFINITE);
    handle_ = std::move(other.handle_);
  }
  return *this;
}

bool ServiceThread::Finished() const { return !handle_ || ::WaitForSingleObject(handle_.get(), 0) == WAIT_OBJECT_0; }

bool ServiceThread::Join(ULONGLONG deadline) const {
  if (!handle_) return true;
  const ULONGLONG now = ::GetTickCount64();
  const DWORD wait = deadline > now ? static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, INFINITE - 1)) : 0;
  return ::WaitForSingleObject(handle_.get(), wait) == WAIT_OBJECT_0;
}
