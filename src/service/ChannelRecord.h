#pragma once
// The install channel the program reports at start-up, kept beside the service's own settings
// (it goes with the service when the service is deleted).
#include <cstdint>

// Records the channel when running under the service control manager; a console run records
// nothing. Returns whether the value was written.
bool RecordInstallChannel(std::uint32_t channel);
