#include "fs/dos_time.h"

#include <atomic>
#include <ctime>

#include "platform/local_time.h"

namespace kestrum {

namespace {

constexpr std::int64_t kBiasUnset = INT64_MIN;
std::atomic<std::int64_t> cachedBias{kBiasUnset};

constexpr std::uint32_t kDaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr std::int64_t kDays1970To1980 = 3652;
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;

}  // namespace

std::int64_t LocalTimeBias() {
  std::int64_t bias = cachedBias.load();
  if (bias != kBiasUnset) return bias;
  bias = platform::LocalBiasSecondsNow();
  std::int64_t expected = kBiasUnset;
  cachedBias.compare_exchange_strong(expected, bias);
  return cachedBias.load();
}

void ResetLocalTimeBiasForTesting() { cachedBias.store(kBiasUnset); }

std::uint64_t DosTimeToFileTime(std::uint16_t date, std::uint16_t time) {
  std::uint32_t years = date >> 9;
  std::uint32_t month = (date >> 5) & 0x0F;
  std::uint32_t day = date & 0x1F;
  if (month == 0 || month > 12) return 0;
  std::uint32_t hours = time >> 11;
  std::uint32_t minutes = (time >> 5) & 0x3F;
  std::uint32_t halfSeconds = time & 0x1F;
  std::int64_t days = kDaysBeforeMonth[month - 1] + day + 365 * years + years / 4 + kDays1970To1980;
  if (years % 4 == 0 && month <= 2) days -= 1;
  // The day of the month counts one too many, which makes up for years / 4
  // not yet counting the leap day of the current leap cycle's first year;
  // the adjustment above takes that day back in January and February.
  // 2100 (year field 120) is the one year of the DOS range that has no
  // 29 February: from its March on, the count holds one leap day too many.
  if (years > 120 || (years == 120 && month > 2)) days -= 1;
  std::int64_t seconds = (days * 24 + hours) * 60 * 60 + minutes * 60 + 2 * halfSeconds;
  seconds += LocalTimeBias();
  return static_cast<std::uint64_t>(seconds + kSecondsFrom1601To1970) * 10000000ULL;
}

}  // namespace kestrum
