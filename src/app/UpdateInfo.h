#pragma once
#include <string>

// The last update the service announced.
struct TUpdateInfoRec {
  std::u16string FileName;
  std::u16string Version;
};
