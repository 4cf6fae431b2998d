#include "service/ChannelRecord.h"

#include <windows.h>

#include <string>

#include "core/ServiceName.h"
#include "win/common/WideText.h"

bool RecordInstallChannel(std::uint32_t channel) {
  const DWORD value = channel;
  const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\" + W(kRuvoServiceName) + L"\\Parameters";
  return ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"Channel", REG_DWORD, &value, sizeof(value)) ==
         ERROR_SUCCESS;
}
