#pragma once
// RAII owners the shell helpers need beyond win/common/Handle.h.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include "win/common/Handle.h"

struct FindHandleTraits {  // FindFirstFileW
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static bool Valid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::FindClose(h); }
};
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;

// COM for the lifetime of the scope on a thread that has none yet; a thread whose COM is
// already set up (in either apartment) is left as it is.
class ComScope {
 public:
  ComScope() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT hr_;
};

// A VARIANT that is cleared when it goes.
class Variant {
 public:
  Variant() { ::VariantInit(&v_); }
  ~Variant() { ::VariantClear(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT* operator&() { return &v_; }
  VARIANT& get() { return v_; }

 private:
  VARIANT v_;
};

// Restores the process error mode on leaving the scope.
class ErrorModeScope {
 public:
  explicit ErrorModeScope(UINT mode) : old_(::SetErrorMode(mode)) {}
  ~ErrorModeScope() { ::SetErrorMode(old_); }
  ErrorModeScope(const ErrorModeScope&) = delete;
  ErrorModeScope& operator=(const ErrorModeScope&) = delete;

 private:
  UINT old_;
};
