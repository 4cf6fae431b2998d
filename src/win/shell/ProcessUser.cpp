#include <memory>

#include "win/common/Handle.h"
#include "win/shell/ShellUtils.h"

namespace {
// The user a process's token names, or null when the token cannot be read.
std::unique_ptr<std::uint8_t[]> TokenUserOf(HANDLE process) {
  UniqueKernelHandle token;
  if (!::OpenProcessToken(process, TOKEN_QUERY, token.put())) return nullptr;
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size < sizeof(TOKEN_USER) || size > 4096) return nullptr;
  auto info = std::make_unique<std::uint8_t[]>(size);
  if (!::GetTokenInformation(token.get(), TokenUser, info.get(), size, &size)) return nullptr;
  return info;
}
}  // namespace

bool RunsAsCurrentUser(DWORD processId) {
  if (processId == 0) return false;
  if (processId == ::GetCurrentProcessId()) return true;
  UniqueKernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return false;
  const auto theirs = TokenUserOf(process.get());
  const auto ours = TokenUserOf(::GetCurrentProcess());
  return theirs && ours &&
         ::EqualSid(reinterpret_cast<TOKEN_USER*>(theirs.get())->User.Sid, reinterpret_cast<TOKEN_USER*>(ours.get())->User.Sid);
}
