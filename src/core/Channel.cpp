#include "core/Channel.h"

#include "core/TextUtils.h"

std::uint32_t ChannelFromExeName(std::u16string_view name) {
  const std::size_t e = LastPos(u".exe", LowerAscii(name));
  const std::size_t u = LastPos(u"_", name);
  // Positions are 1-based; the text starts after "_" (or at the start when there is none)
  // and ends before ".exe". Without ".exe" the length is negative and the text empty.
  const long long len = static_cast<long long>(e) - static_cast<long long>(u) - 1;
  std::u16string_view text;
  if (len > 0) text = name.substr(u, static_cast<std::size_t>(len));
  const auto v = TryStrToInt(text);
  return v ? static_cast<std::uint32_t>(*v) : 1u;
}
