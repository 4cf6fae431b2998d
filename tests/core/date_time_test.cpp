#include "core/DateTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct DateCase {
  TDateTimeParts parts;
  double value;
};

class DateTimeTable : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateTimeTable, EncodeAndDecode) {
  const DateCase& c = GetParam();
  EXPECT_NEAR(EncodeDateTime(c.parts), c.value, 1e-9);
  EXPECT_EQ(DecodeDateTime(c.value), c.parts);
}

INSTANTIATE_TEST_SUITE_P(Cases, DateTimeTable,
                         ::testing::Values(DateCase{{1899, 12, 30, 0, 0, 0, 0}, 0.0},
                                           DateCase{{1900, 1, 1, 0, 0, 0, 0}, 2.0},
                                           DateCase{{2024, 2, 29, 12, 0, 0, 0}, 45351.5},
                                           DateCase{{2024, 2, 29, 18, 0, 0, 0}, 45351.75},
                                           DateCase{{9999, 12, 31, 0, 0, 0, 0}, 2958465.0},
                                           DateCase{{2000, 3, 1, 6, 0, 0, 0}, 36586.25}));

TEST(DateTime, MillisecondsSurviveARoundTrip) {
  const TDateTimeParts p{2023, 7, 14, 23, 59, 59, 999};
  EXPECT_EQ(DecodeDateTime(EncodeDateTime(p)), p);
  const TDateTimeParts q{2023, 7, 14, 0, 0, 0, 1};
  EXPECT_EQ(DecodeDateTime(EncodeDateTime(q)), q);
}

TEST(DateTime, Midnight) {
  EXPECT_TRUE(IsMidnight(45351.0));
  EXPECT_TRUE(IsMidnight(0.0));
  EXPECT_FALSE(IsMidnight(45351.5));
  EXPECT_FALSE(IsMidnight(EncodeDateTime({2023, 7, 14, 0, 0, 1, 0})));
  EXPECT_FALSE(IsMidnight(EncodeDateTime({2023, 7, 14, 0, 0, 0, 1})));
}

TEST(DateTime, ValuesOutsideTheCalendarDecodeToTheEpoch) {
  EXPECT_EQ(DecodeDateTime(std::numeric_limits<double>::quiet_NaN()), TDateTimeParts{});
  EXPECT_EQ(DecodeDateTime(std::numeric_limits<double>::infinity()), TDateTimeParts{});
  EXPECT_EQ(DecodeDateTime(1e300), TDateTimeParts{});
}

}  // namespace
