#pragma once
// The broken-down local time of a moment, from the system's time zone.

#include <ctime>

namespace kestrum::platform {

// False when the moment cannot be told in local time.
bool LocalTime(std::time_t moment, std::tm& out);
// Seconds to add to local time to get UTC now (daylight saving now in effect
// included), from the time zone as it is set now.
long LocalBiasSecondsNow();

}  // namespace kestrum::platform
