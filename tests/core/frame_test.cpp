#include <gtest/gtest.h>

#include <limits>

#include "core/Frame.h"

namespace {

TEST(Frame, SizesAreLittleEndianSigned64) {
  const auto size = EncodeFrameSize(154);
  EXPECT_EQ(std::vector<std::uint8_t>(size.begin(), size.end()), (std::vector<std::uint8_t>{0x9A, 0, 0, 0, 0, 0, 0, 0}));
  const auto end = EncodeFrameSize(kFrameEndMarker);
  for (auto b : end) EXPECT_EQ(b, 0xFF);
  for (std::int64_t v : {std::int64_t{0}, std::int64_t{-1}, std::int64_t{65536}, std::numeric_limits<std::int64_t>::min(),
                         std::numeric_limits<std::int64_t>::max()})
    EXPECT_EQ(DecodeFrameSize(EncodeFrameSize(v).data()), v);
}

TEST(Frame, IdHeaderHoldsLengthAndId) {
  EXPECT_EQ(EncodeFrameId(u""), std::vector<std::uint8_t>(8, 0));
  const auto b = EncodeFrameId(u"Id");
  EXPECT_EQ(b, (std::vector<std::uint8_t>{4, 0, 0, 0, 0, 0, 0, 0, 'I', 0, 'd', 0}));
  EXPECT_EQ(DecodeFrameId(b.data() + 8, 4), u"Id");
  EXPECT_EQ(DecodeFrameId(b.data() + 8, 0), u"");
}

TEST(Frame, PeerAnnouncedSizesAreChecked) {
  struct Case {
    std::int64_t value;
    bool idOk;
    bool dataOk;
  };
  const Case cases[] = {
      {0, true, true},
      {2, true, true},
      {3, false, true},
      {kMaxFrameIdLength, true, true},
      {kMaxFrameIdLength + 2, false, true},
      {kMaxFrameDataSize, false, true},
      {kMaxFrameDataSize + 1, false, false},
      {-1, false, false},
      {-2, false, false},
      {std::numeric_limits<std::int64_t>::min(), false, false},
      {std::numeric_limits<std::int64_t>::max(), false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(IsValidFrameIdLength(c.value), c.idOk);
    EXPECT_EQ(IsValidFrameDataSize(c.value), c.dataOk);
  }
  EXPECT_GE(kMaxFrameDataSize, 64 * 1024 * 1024);
  EXPECT_EQ(kFrameChunkSize, 65536u);
}

}  // namespace
