#pragma once
// Resource names shared by the .rc file and the code.
#define IDR_INFOTIP_JPEG L"INFOTIP"
