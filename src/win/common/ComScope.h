#pragma once
// COM for a scope, and a VARIANT that is cleared when it goes.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

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
