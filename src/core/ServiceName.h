#pragma once
// The search service's name with the service control manager: the service registers under it
// and keeps its parameters below it, the program installs, starts and trusts the service by it.
inline constexpr char16_t kRuvoServiceName[] = u"RuvoSearchService";
