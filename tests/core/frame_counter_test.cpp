#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/Frame.h"
#include "core/FrameCounter.h"

namespace {

std::vector<std::uint8_t> Frame(std::u16string_view id, std::size_t dataSize) {
  std::vector<std::uint8_t> out = EncodeFrameId(id);
  const auto size = EncodeFrameSize(static_cast<std::int64_t>(dataSize));
  out.insert(out.end(), size.begin(), size.end());
  out.insert(out.end(), dataSize, 0x5A);
  return out;
}

// The same stream cut into pieces of every size from one byte up: the count never depends on
// where the reads happened to end.
TEST(FrameCounter, CountsWholeFramesHoweverTheStreamIsCut) {
  std::vector<std::uint8_t> stream;
  const std::pair<std::u16string_view, std::size_t> frames[] = {{u"", 0}, {u"", 0}, {u"Id", 5}, {u"", 70000}, {u"", 0}};
  for (const auto& [id, size] : frames) {
    const auto f = Frame(id, size);
    stream.insert(stream.end(), f.begin(), f.end());
  }
  for (std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{8}, std::size_t{16}, std::size_t{17},
                            std::size_t{4096}, stream.size()}) {
    FrameCounter counter;
    std::size_t total = 0;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
      ASSERT_TRUE(counter.Feed(stream.data() + at, std::min(piece, stream.size() - at))) << piece;
      total += counter.TakeCompleted();
    }
    EXPECT_EQ(total, 5u) << piece;
    EXPECT_TRUE(counter.AtBoundary()) << piece;
    EXPECT_EQ(counter.TakeCompleted(), 0u);
  }
}

TEST(FrameCounter, AFrameCutShortIsNotCounted) {
  const auto f = Frame(u"", 10);
  FrameCounter counter;
  ASSERT_TRUE(counter.Feed(f.data(), f.size() - 1));
  EXPECT_EQ(counter.TakeCompleted(), 0u);
  EXPECT_FALSE(counter.AtBoundary());
  ASSERT_TRUE(counter.Feed(f.data() + f.size() - 1, 1));
  EXPECT_EQ(counter.TakeCompleted(), 1u);
}

// What a server never sends breaks the stream, and nothing after it counts.
TEST(FrameCounter, LengthsOutsideTheCapsAndTheEndMarkerBreakTheStream) {
  struct Case {
    const char* what;
    std::int64_t idLength;
    std::int64_t dataSize;
  };
  const Case cases[] = {
      {"end marker", kFrameEndMarker, 0},
      {"odd ID length", 3, 0},
      {"ID past the cap", kMaxFrameIdLength + 2, 0},
      {"negative data size", 0, -5},
      {"data past the cap", 0, kMaxFrameDataSize + 1},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> stream;
    const auto id = EncodeFrameSize(c.idLength);
    stream.insert(stream.end(), id.begin(), id.end());
    const auto size = EncodeFrameSize(c.dataSize);
    stream.insert(stream.end(), size.begin(), size.end());
    const auto good = Frame(u"", 0);
    stream.insert(stream.end(), good.begin(), good.end());
    FrameCounter counter;
    EXPECT_FALSE(counter.Feed(stream.data(), stream.size())) << c.what;
    EXPECT_TRUE(counter.Broken()) << c.what;
    EXPECT_EQ(counter.TakeCompleted(), 0u) << c.what;
    EXPECT_FALSE(counter.Feed(good.data(), good.size())) << c.what;
  }
}

}  // namespace
