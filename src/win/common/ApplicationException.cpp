#include "win/common/ApplicationException.h"

#include <utility>

#include "core/TextUtils.h"
#include "win/common/Handle.h"
#include "win/common/WideText.h"
#include "win/common/Trace.h"

namespace {

void DefaultHandler(std::exception_ptr error) {
  const std::wstring line = L"Unhandled error in a window message handler: " + ExceptionText(error) + L"\n";
  Trace(line);
}

// Handlers are installed from any thread and called from window threads.
CriticalSection& HandlerLock() {
  static CriticalSection lock;
  return lock;
}

TApplicationExceptionHandler& InstalledHandler() {
  static TApplicationExceptionHandler handler;
  return handler;
}

}  // namespace

TApplicationExceptionHandler SetApplicationExceptionHandler(TApplicationExceptionHandler handler) {
  CsLock lock(HandlerLock());
  return std::exchange(InstalledHandler(), std::move(handler));
}

void HandleApplicationException(std::exception_ptr error) noexcept {
  try {
    TApplicationExceptionHandler handler;
    {
      CsLock lock(HandlerLock());
      handler = InstalledHandler();
    }
    if (handler) {
      handler(error);
    } else {
      DefaultHandler(error);
    }
  } catch (...) {
    Trace(L"The application's error handler failed\n");
  }
}

std::wstring ExceptionText(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
    return L"(no error)";
  } catch (const std::exception& e) {
    return W(Utf8ToUtf16(e.what()));
  } catch (...) {
    return L"Unknown error";
  }
}
