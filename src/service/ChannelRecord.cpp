#include "service/ChannelRecord.h"

#include <windows.h>

bool RecordInstallChannel(std::uint32_t channel) {
  const DWORD value = channel;
  return ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\RuvoSearchService\\Parameters",
                           L"Channel", REG_DWORD, &value, sizeof(value)) == ERROR_SUCCESS;
}
