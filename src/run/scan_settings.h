#pragma once
// The priority region of a deep scan is kept in sectors and edited in GiB.
// Qt-free so the conversions can be tested on their own.

#include <cstdint>
#include <string>

namespace kestrum {

// (sectors >> 11) / 1024, in single precision.
float SectorsToGib(std::uint64_t sectors);
// GiB × 2048 × 1024, truncated toward zero; negative values and those with
// no integer part to keep (NaN, infinities) give 0, values past the 64-bit
// range the largest sector number.
std::uint64_t GibToSectors(float gib);

// A value as the settings dialog's edits show it: "%g" with 6 significant digits.
std::string FormatEditFloat(float value);
// The whole text, blanks around it allowed, must be one number.
bool ParseEditFloat(const std::string& text, float& out);

}  // namespace kestrum
