#pragma once
// The hidden window that owns a shell context menu while it is open, so that the owner-draw
// and popup messages of the shell's submenus (Send to, Open with) reach IContextMenu2.
#include <windows.h>
#include <shlobj.h>

#include "win/common/Handle.h"

// Class "ShellDialogsCallBack", window "ShellDialogsCallBackProcessor"; empty on failure.
UniqueWindow CreateShellMenuCallbackWindow(IContextMenu2* menu);
