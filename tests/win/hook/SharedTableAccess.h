#pragma once
// The hook library's shared receiver table as every process that maps the library can reach it:
// its ".shared" section is mapped writable there. Used by the tests and by the fixture that
// plays a hostile hooked process.
#include <windows.h>

#include <cstring>

#include "hookdll/ReceiverTable.h"

// The slots of the loaded library; null when it has no shared section.
inline receiver_table::Slot* SharedSlots(HMODULE library) {
  auto* base = reinterpret_cast<BYTE*>(library);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section)
    if (std::memcmp(section->Name, ".shared", 8) == 0)
      return reinterpret_cast<receiver_table::Slot*>(base + section->VirtualAddress);
  return nullptr;
}

// Overwrites a slot as one update a reader sees whole (sequence odd while writing, then even).
inline void WriteSlot(receiver_table::Slot& slot, LONG state, DWORD receiver, DWORD processId, DWORD threadId,
                      DWORD token) {
  const LONG stable = slot.sequence & ~1L;
  slot.sequence = stable + 1;
  slot.state = state;
  slot.receiver = receiver;
  slot.processId = processId;
  slot.threadId = threadId;
  slot.token = token;
  slot.sequence = stable + 2;
}
