#include "fs/dos_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "fat_test_support.h"

namespace kestrum {
namespace {

using test::DosDate;
using test::DosTime;

std::int64_t Unix(std::uint16_t date, std::uint16_t time) {
  std::uint64_t ft = DosTimeToFileTime(date, time);
  return test::FileTimeToUnix(ft);
}

// Runs with a chosen zone and puts UTC (the suite's zone) back afterwards.
class WithZone : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    saved_ = tz ? tz : "";
    hadTz_ = tz != nullptr;
  }
  void TearDown() override {
    if (hadTz_) {
      setenv("TZ", saved_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
    ResetLocalTimeBiasForTesting();
  }
  static void Zone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
    ResetLocalTimeBiasForTesting();
  }

 private:
  std::string saved_;
  bool hadTz_ = false;
};

TEST_F(WithZone, KnownDatesInUtc) {
  Zone("UTC");
  EXPECT_EQ(Unix(DosDate(1980, 1, 1), 0), 315532800);                      // the first DOS day
  EXPECT_EQ(Unix(DosDate(1980, 2, 29), DosTime(12, 0, 0)), 320673600);     // 1980 itself is a leap year
  EXPECT_EQ(Unix(DosDate(1980, 3, 1), 0), 320716800);
  EXPECT_EQ(Unix(DosDate(1981, 1, 1), 0), 347155200);
  EXPECT_EQ(Unix(DosDate(1984, 2, 29), 0), 446860800);
  EXPECT_EQ(Unix(DosDate(1999, 12, 31), DosTime(23, 59, 58)), 946684798);
  EXPECT_EQ(Unix(DosDate(2000, 2, 29), 0), 951782400);                      // 2000 is a leap year
  EXPECT_EQ(Unix(DosDate(2000, 3, 1), 0), 951868800);
  EXPECT_EQ(Unix(DosDate(2020, 1, 1), 0), 1577836800);                      // the fixtures' first mtime
  EXPECT_EQ(Unix(DosDate(2024, 12, 31), DosTime(13, 14, 16)), 1735650856);
  // 2100 is not a leap year: 1 March follows 28 February.
  EXPECT_EQ(Unix(DosDate(2100, 2, 28), 0), 4107456000);
  EXPECT_EQ(Unix(DosDate(2100, 3, 1), 0), 4107542400);
  EXPECT_EQ(Unix(DosDate(2107, 12, 31), DosTime(23, 59, 58)), 4354819198);  // the last DOS second
  // The FILETIME itself: seconds since 1601 in 100-ns units.
  EXPECT_EQ(DosTimeToFileTime(DosDate(1980, 1, 1), 0), (315532800ULL + 11644473600ULL) * 10000000ULL);
}

TEST_F(WithZone, MonthsOutsideOneToTwelveGiveNoTime) {
  Zone("UTC");
  EXPECT_EQ(DosTimeToFileTime(static_cast<std::uint16_t>((40 << 9) | (0 << 5) | 1), DosTime(10, 0, 0)), 0u);
  EXPECT_EQ(DosTimeToFileTime(static_cast<std::uint16_t>((40 << 9) | (13 << 5) | 1), 0), 0u);
  EXPECT_EQ(DosTimeToFileTime(static_cast<std::uint16_t>((40 << 9) | (15 << 5) | 1), 0), 0u);
  EXPECT_EQ(DosTimeToFileTime(0, 0), 0u) << "an entry with no date at all";
  EXPECT_NE(DosTimeToFileTime(DosDate(2020, 12, 1), 0), 0u);
}

TEST_F(WithZone, LocalTimeIsTurnedIntoUtcWithTheBiasOfTheFirstCall) {
  // China has no daylight saving time: local = UTC + 8 h all year.
  Zone("Asia/Shanghai");
  EXPECT_EQ(LocalTimeBias(), -8 * 3600);
  EXPECT_EQ(Unix(DosDate(2020, 1, 1), DosTime(8, 0, 0)), 1577836800);
  // Changing the zone later in the run changes nothing: the bias is kept.
  setenv("TZ", "America/New_York", 1);
  tzset();
  EXPECT_EQ(LocalTimeBias(), -8 * 3600);
  EXPECT_EQ(Unix(DosDate(2020, 1, 1), DosTime(8, 0, 0)), 1577836800);
  // Only a new run (here: the reset) reads the zone again.
  ResetLocalTimeBiasForTesting();
  std::int64_t newYork = LocalTimeBias();
  EXPECT_TRUE(newYork == 5 * 3600 || newYork == 4 * 3600) << newYork;  // EST, or EDT while in effect
  EXPECT_EQ(Unix(DosDate(2020, 1, 1), 0), 1577836800 + newYork);
}

}  // namespace
}  // namespace kestrum
