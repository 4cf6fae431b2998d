#include "service/ServiceOptions.h"

#include <cwctype>

#include "core/TextUtils.h"
#include "win/common/WideText.h"

namespace {
bool SwitchIs(const std::wstring& arg, const wchar_t* name) {
  if (arg.size() < 2 || (arg[0] != L'/' && arg[0] != L'-')) return false;
  const std::wstring_view rest = std::wstring_view(arg).substr(1);
  std::wstring_view want(name);
  if (rest.size() != want.size()) return false;
  for (std::size_t i = 0; i < rest.size(); ++i)
    if (std::towlower(rest[i]) != want[i]) return false;
  return true;
}
}  // namespace

std::optional<ServiceOptions> ParseServiceOptions(const std::vector<std::wstring>& args) {
  ServiceOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::wstring& a = args[i];
    const bool hasNext = i + 1 < args.size();
    if (SwitchIs(a, L"console")) {
      o.console = true;
    } else if (SwitchIs(a, L"root") && hasNext && !args[i + 1].empty()) {
      o.roots.push_back(args[++i]);
    } else if (SwitchIs(a, L"cap") && hasNext) {
      const auto v = TryStrToInt(U(args[++i]));
      if (!v || *v <= 0) return std::nullopt;
      o.answerCap = static_cast<std::size_t>(*v);
    } else if (SwitchIs(a, L"update") && i + 2 < args.size() && !args[i + 1].empty()) {
      o.updateProgram = args[++i];
      o.updateVersion = args[++i];
    } else {
      return std::nullopt;
    }
  }
  return o;
}
