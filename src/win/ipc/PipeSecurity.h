#pragma once
// The security descriptor of a pipe server's instances. Only local accounts that need the
// pipe get in: LocalSystem (the service's account), the Administrators group and the user
// running this process; a service whose clients are ordinary users also admits the
// authenticated users (read and write, but not creating instances of the pipe).
#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

enum class TPipeAccess { OwnerSystemAdmins, OwnerSystemAdminsAndUsers };

class TPipeSecurity {
 public:
  // Throws std::runtime_error when the descriptor cannot be built.
  explicit TPipeSecurity(TPipeAccess access);
  TPipeSecurity(const TPipeSecurity&) = delete;
  TPipeSecurity& operator=(const TPipeSecurity&) = delete;

  // Not inheritable: child processes must not hold our pipe instances.
  SECURITY_ATTRIBUTES* Attributes() { return &FAttributes; }

 private:
  std::vector<std::unique_ptr<std::uint8_t[]>> FSids;
  std::vector<std::uint8_t> FAcl;
  SECURITY_DESCRIPTOR FDescriptor{};
  SECURITY_ATTRIBUTES FAttributes{};
};
