// Explorer's folder through the shell's automation object, called late-bound by name so the
// same code serves every shell that answers "Shell.Application".
#include <wrl/client.h>

#include "core/Format.h"
#include "win/common/ComScope.h"
#include "win/common/WideText.h"
#include "win/shell/ShellUtils.h"

using Microsoft::WRL::ComPtr;

namespace {

// Calls a method or reads a property by name; args are given in call order.
HRESULT CallByName(IDispatch* object, const wchar_t* name, VARIANT* result,
                   VARIANT* arg = nullptr) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  DISPPARAMS params{arg, nullptr, arg ? 1u : 0u, 0};
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                        &params, result, nullptr, nullptr);
}

ComPtr<IDispatch> DispatchOf(VARIANT& v) {
  ComPtr<IDispatch> out;
  if (v.vt == VT_DISPATCH && v.pdispVal) out = v.pdispVal;
  return out;
}

bool ReadString(IDispatch* object, const wchar_t* name, std::wstring& out) {
  Variant v;
  if (FAILED(CallByName(object, name, &v)) || FAILED(::VariantChangeType(&v, &v, 0, VT_BSTR)))
    return false;
  out.assign(v.get().bstrVal, ::SysStringLen(v.get().bstrVal));
  return true;
}

bool ReadInt(IDispatch* object, const wchar_t* name, LONG& out) {
  Variant v;
  if (FAILED(CallByName(object, name, &v)) || FAILED(::VariantChangeType(&v, &v, 0, VT_I4)))
    return false;
  out = v.get().lVal;
  return true;
}

// Runs visit(item) for each item of the automation object's Windows collection, until it
// returns true. False when there is no object or no collection.
template <typename Visit>
bool ForEachShellWindow(Visit visit) {
  CLSID clsid{};
  if (FAILED(::CLSIDFromProgID(L"Shell.Application", &clsid))) return false;
  ComPtr<IDispatch> shell;
  if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_PPV_ARGS(&shell)))) return false;
  Variant windowsValue;
  if (FAILED(CallByName(shell.Get(), L"Windows", &windowsValue))) return false;
  const ComPtr<IDispatch> windows = DispatchOf(windowsValue.get());
  LONG count = 0;
  if (!windows || !ReadInt(windows.Get(), L"Count", count)) return false;
  for (LONG i = 0; i < count; ++i) {
    Variant index, itemValue;
    index.get().vt = VT_I4;
    index.get().lVal = i;
    if (FAILED(CallByName(windows.Get(), L"Item", &itemValue, &index))) continue;
    const ComPtr<IDispatch> item = DispatchOf(itemValue.get());
    LONG hwnd = 0;
    if (!item || !ReadInt(item.Get(), L"HWND", hwnd)) continue;
    // The collection gives handles as 32-bit values; they widen by sign extension.
    if (visit(item.Get(), reinterpret_cast<HWND>(static_cast<LONG_PTR>(hwnd)))) break;
  }
  return true;
}

}  // namespace

bool GetExplorerPath(HWND window, std::wstring& locationName, std::wstring& path) {
  locationName.clear();
  path.clear();
  const ComScope com;
  bool found = false;
  ForEachShellWindow([&](IDispatch* item, HWND hwnd) {
    if (HandleToULong(hwnd) != HandleToULong(window)) return false;
    ReadString(item, L"LocationName", locationName);
    std::wstring url;
    if (ReadString(item, L"LocationURL", url) && !url.empty()) path = W(FileURLToPath(U(url)));
    found = true;
    return true;
  });
  return found;
}

bool GetShellWindows(std::vector<TShellWindow>& windows) {
  windows.clear();
  const ComScope com;
  return ForEachShellWindow([&](IDispatch* item, HWND hwnd) {
    TShellWindow w{hwnd, {}};
    ReadString(item, L"FullName", w.fullName);
    windows.push_back(std::move(w));
    return false;
  });
}
