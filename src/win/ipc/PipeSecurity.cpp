#include "win/ipc/PipeSecurity.h"

#include <stdexcept>

#include "win/common/Handle.h"

namespace {

std::unique_ptr<std::uint8_t[]> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
  DWORD size = SECURITY_MAX_SID_SIZE;
  auto sid = std::make_unique<std::uint8_t[]>(size);
  if (!::CreateWellKnownSid(type, nullptr, sid.get(), &size)) throw std::runtime_error("CreateWellKnownSid failed");
  return sid;
}

std::unique_ptr<std::uint8_t[]> CurrentUserSid() {
  UniqueKernelHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) throw std::runtime_error("OpenProcessToken failed");
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  auto info = std::make_unique<std::uint8_t[]>(size);
  if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, info.get(), size, &size))
    throw std::runtime_error("GetTokenInformation failed");
  const PSID userSid = reinterpret_cast<TOKEN_USER*>(info.get())->User.Sid;
  const DWORD sidSize = ::GetLengthSid(userSid);
  auto sid = std::make_unique<std::uint8_t[]>(sidSize);
  if (!::CopySid(sidSize, sid.get(), userSid)) throw std::runtime_error("CopySid failed");
  return sid;
}

}  // namespace

TPipeSecurity::TPipeSecurity(TPipeAccess access) {
  struct Grant {
    std::size_t sid;
    DWORD mask;
  };
  std::vector<Grant> grants;
  FSids.push_back(WellKnownSid(WinLocalSystemSid));
  grants.push_back({0, FILE_ALL_ACCESS});
  FSids.push_back(WellKnownSid(WinBuiltinAdministratorsSid));
  grants.push_back({1, FILE_ALL_ACCESS});
  FSids.push_back(CurrentUserSid());
  grants.push_back({2, FILE_ALL_ACCESS});
  if (access == TPipeAccess::OwnerSystemAdminsAndUsers) {
    FSids.push_back(WellKnownSid(WinAuthenticatedUserSid));
    // Clients only: without FILE_CREATE_PIPE_INSTANCE nobody else can serve this name.
    grants.push_back({3, (FILE_GENERIC_READ | FILE_GENERIC_WRITE) & ~FILE_CREATE_PIPE_INSTANCE});
  }

  DWORD aclSize = sizeof(ACL);
  for (const Grant& g : grants) aclSize += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + ::GetLengthSid(FSids[g.sid].get());
  FAcl.resize(aclSize);
  auto* acl = reinterpret_cast<ACL*>(FAcl.data());
  if (!::InitializeAcl(acl, aclSize, ACL_REVISION)) throw std::runtime_error("InitializeAcl failed");
  for (const Grant& g : grants)
    if (!::AddAccessAllowedAce(acl, ACL_REVISION, g.mask, FSids[g.sid].get())) throw std::runtime_error("AddAccessAllowedAce failed");
  if (!::InitializeSecurityDescriptor(&FDescriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorDacl(&FDescriptor, TRUE, acl, FALSE))
    throw std::runtime_error("Could not build the pipe's security descriptor");
  FAttributes.nLength = sizeof FAttributes;
  FAttributes.lpSecurityDescriptor = &FDescriptor;
  FAttributes.bInheritHandle = FALSE;
}
