#include "fs/tree/node_text.h"

#include <gtest/gtest.h>

#include "fs/dos_time.h"

namespace kestrum {
namespace {

TEST(SizeText, WholeKibibytesRoundedUpFromFiveHundred) {
  EXPECT_EQ(SizeText(0), u"      0 KB");
  EXPECT_EQ(SizeText(1), u"      1 KB");
  EXPECT_EQ(SizeText(1023), u"      1 KB");
  EXPECT_EQ(SizeText(1523), u"      1 KB");  // remainder 499
  EXPECT_EQ(SizeText(1524), u"      2 KB");  // remainder 500, not 512
  EXPECT_EQ(SizeText(5ull << 30), u"5242880 KB");
  EXPECT_EQ(SizeText(20ull << 30), u"20971520 KB") << "wider than seven places";
}

TEST(NodeTimes, FileTimesReadAsUtcAndLocalText) {
  const std::uint64_t t = kUnixEpochAsFileTime + 1733676960ull * 10000000;  // 2024-12-08T16:56:00Z
  EXPECT_EQ(FileTimeToIsoUtc(t), "2024-12-08T16:56:00Z");
  EXPECT_EQ(FileTimeToIsoUtc(0), "") << "0 is no time";
  auto at = [](std::int64_t unix) {
    return static_cast<std::uint64_t>(unix * 10000000 + static_cast<std::int64_t>(kUnixEpochAsFileTime));
  };
  EXPECT_EQ(FileTimeToIsoUtc(at(951782400)), "2000-02-29T00:00:00Z") << "a century leap day";
  EXPECT_EQ(FileTimeToIsoUtc(at(4107542399)), "2100-02-28T23:59:59Z");
  EXPECT_EQ(FileTimeToIsoUtc(at(4107542400)), "2100-03-01T00:00:00Z") << "2100 is no leap year";
  EXPECT_EQ(FileTimeToIsoUtc(at(-1)), "1969-12-31T23:59:59Z");
  EXPECT_EQ(FileTimeToIsoUtc(1), "1601-01-01T00:00:00Z") << "the earliest FILETIME";
  EXPECT_EQ(FileTimeToIsoUtc(~0ull), "") << "beyond year 9999";
  EXPECT_EQ(FileTimeToUnixSeconds(t), 1733676960);
  EXPECT_EQ(FileTimeToUnixSeconds(kUnixEpochAsFileTime - 10000000), -1);
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(FileTimeToLocalText(t), u"2024-12-8 16:56:00");
  EXPECT_EQ(FileTimeToLocalText(0), u"");
}

TEST(NodeTimes, OneFormatterOverManyTimesWritesWhatEachAloneWould) {
  // A listing's formatter remembers the last day; days that alternate, repeat,
  // cross year and range limits must still give each time's own text.
  const std::uint64_t day = 86400ull * 10000000;
  const std::uint64_t t = kUnixEpochAsFileTime + 1733676960ull * 10000000;
  const std::uint64_t times[] = {t, t + day, t, t + 1, 0, t, ~0ull, t, 1, 1 + day - 1, 1 + day,
                                 t - 365 * day, t + 59, t + 60};
  IsoUtcFormatter format;
  for (std::uint64_t time : times) {
    char text[kIsoUtcChars];
    std::string expected = FileTimeToIsoUtc(time);
    bool written = format.Put(time, text);
    EXPECT_EQ(written, !expected.empty()) << time;
    if (written) {
      EXPECT_EQ(std::string(text, kIsoUtcChars), expected) << time;
    }
  }
}

}  // namespace
}  // namespace kestrum
