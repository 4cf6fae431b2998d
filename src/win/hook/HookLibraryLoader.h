#pragma once
// The process-wide load of the hook library, shared by every receiver through a reference
// count. Used from the receivers' thread only, so it takes no lock.
#include <windows.h>

#include <string>

// 0 on success; a Windows error code when the file cannot be loaded; kHookMissingExports
// (core/HookResults.h) when an export is missing, and the library is released again. A
// second load only counts a reference; the name is not compared.
int LoadHookLibrary(const std::wstring& name);
// Drops one reference; the last one frees the library.
void UnloadHookLibrary();

bool HookLibraryLoaded();
int HookLibraryReferences();

// Calls the library's AttachReceiver; the library must be loaded.
int HookLibraryAttachReceiver(int hookKind, HWND receiver, bool filtering, HWND hookedWnd);
