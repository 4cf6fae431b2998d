#pragma once
// What the hook library's calls return besides 0 (done) and a positive Windows error code,
// shared by the library and the programs that explain its results.
constexpr int kHookMissingExports = -1;     // the loader's own: the file lacks a required export
constexpr int kHookAlreadyRegistered = -2;  // AttachReceiver: the window is registered already
constexpr int kHookNotRegistered = -3;      // DetachReceiver: no registration of this process
constexpr int kHookTooManyReceivers = -4;   // AttachReceiver: the receiver table is full
constexpr int kHookAlreadyInstalled = -5;   // a system hook of the kind is installed already
