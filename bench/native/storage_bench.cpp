// Write and look-up rates of the message storage for a 4-field search request.
#include <chrono>
#include <cstdio>

#include "core/StreamStorage.h"

namespace {

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main() {
  constexpr int kRounds = 200000;
  using Clock = std::chrono::steady_clock;
  std::uint64_t sink = 0;

  auto start = Clock::now();
  for (int i = 0; i < kRounds; ++i) {
    TStreamStorage s;
    s.WriteCardinal(u"Action", 1);
    s.WriteString(u"Dir", u"C:\\Users\\someone\\Documents");
    s.WriteString(u"Wildcard", u"report*2024");
    s.WriteCardinal(u"SearchBox", static_cast<std::uint32_t>(i));
    sink += static_cast<std::uint64_t>(s.Storage().Size());
  }
  const double writeSecs = Seconds(Clock::now() - start);

  TStreamStorage source;
  source.WriteCardinal(u"Action", 2);
  source.WriteString(u"FileName", u"C:\\Users\\someone\\Documents\\report 2024.docx");
  source.WriteString(u"Wildcard", u"report*2024");
  source.WriteCardinal(u"SearchBox", 42);
  start = Clock::now();
  for (int i = 0; i < kRounds; ++i) {
    // As received: a raw buffer, read field by field (the first reads scan, later ones hit the index).
    TStreamStorage r;
    r.Assign(source);
    sink += r.ReadCardinal(u"Action") + r.ReadString(u"FileName").size() + r.ReadString(u"Wildcard").size() +
            r.ReadCardinal(u"SearchBox");
  }
  const double readSecs = Seconds(Clock::now() - start);

  start = Clock::now();
  for (int i = 0; i < kRounds; ++i) sink += source.ReadCardinal(u"SearchBox") + source.ReadCardinal(u"Action");
  const double indexedSecs = Seconds(Clock::now() - start);

  std::printf("storage: write 4-field message      %10.0f messages/s\n", kRounds / writeSecs);
  std::printf("storage: receive+read 4 fields       %10.0f messages/s\n", kRounds / readSecs);
  std::printf("storage: indexed look-up              %10.0f look-ups/s\n", 2.0 * kRounds / indexedSecs);
  std::printf("(checksum %llu)\n", static_cast<unsigned long long>(sink));
  return 0;
}
