// The most one hostile message can cost a server once it is received whole: the largest
// memory held at once and the longest decoding time, for the data cap of each pipe's server
// and, for comparison, for a whole frame's data (what every server took before it had a cap
// of its own). The buffers are the costly shapes: empty-named entries (12 bytes each, the
// cheapest entry), distinct short names, one name as long as the message, one name repeated.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core/Frame.h"
#include "core/SearchMessages.h"

namespace {

// Bytes allocated through operator new: now and the most at once.
std::atomic<std::size_t> gLive{0};
std::atomic<std::size_t> gPeak{0};

void* Allocate(std::size_t n) {
  // A size header in front of each block, so a delete knows what it gives back.
  auto* p = static_cast<std::size_t*>(std::malloc(n + sizeof(std::max_align_t)));
  if (!p) throw std::bad_alloc();
  *p = n;
  const std::size_t live = gLive += n;
  std::size_t peak = gPeak.load();
  while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {}
  return reinterpret_cast<char*>(p) + sizeof(std::max_align_t);
}

void Release(void* q) {
  if (!q) return;
  auto* p = reinterpret_cast<std::size_t*>(static_cast<char*>(q) - sizeof(std::max_align_t));
  gLive -= *p;
  std::free(p);
}

}  // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace {

using Bytes = std::vector<std::uint8_t>;

void PutI32(Bytes& b, std::int32_t v) { b.insert(b.end(), reinterpret_cast<std::uint8_t*>(&v), reinterpret_cast<std::uint8_t*>(&v) + 4); }
void PutI64(Bytes& b, std::int64_t v) { b.insert(b.end(), reinterpret_cast<std::uint8_t*>(&v), reinterpret_cast<std::uint8_t*>(&v) + 8); }

void PutEntry(Bytes& b, const std::u16string& name) {
  PutI32(b, static_cast<std::int32_t>(name.size() * 2));
  b.insert(b.end(), reinterpret_cast<const std::uint8_t*>(name.data()), reinterpret_cast<const std::uint8_t*>(name.data()) + name.size() * 2);
  PutI64(b, 0);
}

Bytes EmptyNames(std::size_t size) { return Bytes(size, 0); }

Bytes DistinctNames(std::size_t size) {
  Bytes b;
  for (std::uint32_t i = 0; b.size() + 20 <= size; ++i) PutEntry(b, std::u16string{char16_t(0x4E00 + i % 20000), char16_t(0x4E00 + i / 20000)});
  b.resize(size, 0);
  return b;
}

Bytes OneLongName(std::size_t size) {
  Bytes b;
  PutEntry(b, std::u16string((size - 12) / 2, u'x'));
  b.resize(size, 0);
  return b;
}

Bytes RepeatedName(std::size_t size) {
  Bytes b;
  while (b.size() + 26 <= size) PutEntry(b, u"Wildcard");
  b.resize(size, 0);
  return b;
}

struct Cost {
  std::size_t peakBytes = 0;
  double ms = 0;
};

// As a server takes a message: the longest ID a frame may carry, the data appended in frame
// pieces to a fresh message, then every field a handler reads.
Cost Receive(const Bytes& data) {
  const std::size_t before = gLive.load();
  gPeak = before;
  const auto start = std::chrono::steady_clock::now();
  {
    IMessageData message = NewMessageData();
    {
      const std::vector<std::uint8_t> id(static_cast<std::size_t>(kMaxFrameIdLength), 0x41);
      message->SetID(DecodeFrameId(id.data(), id.size()));
    }
    std::vector<std::uint8_t> piece(std::min<std::size_t>(data.size(), kFrameChunkSize));
    for (std::size_t done = 0; done < data.size();) {
      const std::size_t n = std::min(piece.size(), data.size() - done);
      std::memcpy(piece.data(), data.data() + done, n);
      message->Data().Storage().Append(piece.data(), n);
      done += n;
    }
    const TSearchMessage m = DecodeSearchMessage(message->Data());
    if (m.Action == 0xEE) std::puts("");
  }
  Cost c;
  c.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  c.peakBytes = gPeak.load() - before;
  return c;
}

}  // namespace

int main() {
  struct Cap {
    const char* what;
    std::int64_t size;
  };
  const Cap caps[] = {{"request pipe (64 KiB)", kMaxRequestDataSize},
                      {"result pipe (100 KiB)", kMaxResultDataSize},
                      {"a whole frame (64 MiB)", kMaxFrameDataSize}};
  struct Shape {
    const char* what;
    Bytes (*make)(std::size_t);
  };
  const Shape shapes[] = {{"empty-named entries", EmptyNames},
                          {"distinct short names", DistinctNames},
                          {"one name the whole size", OneLongName},
                          {"one name repeated", RepeatedName}};
  for (const Cap& cap : caps) {
    Cost worst;
    for (const Shape& shape : shapes) {
      const Bytes data = shape.make(static_cast<std::size_t>(cap.size));
      Cost c;
      for (int round = 0; round < 3; ++round) {
        const Cost r = Receive(data);
        c.peakBytes = std::max(c.peakBytes, r.peakBytes);
        c.ms = std::max(c.ms, r.ms);
      }
      std::printf("request cost: %-24s %-24s peak %10.1f KiB  %9.3f ms\n", cap.what, shape.what, c.peakBytes / 1024.0, c.ms);
      worst.peakBytes = std::max(worst.peakBytes, c.peakBytes);
      worst.ms = std::max(worst.ms, c.ms);
    }
    std::printf("request cost: %-24s %-24s peak %10.1f KiB  %9.3f ms\n", cap.what, "WORST", worst.peakBytes / 1024.0, worst.ms);
  }
  return 0;
}
