#pragma once
// Random bytes from the system's source.

#include <cstdint>
#include <span>

#include "base/guid.h"

namespace kestrum {

// False when the source gives too few bytes.
bool FillRandom(std::span<std::uint8_t> out);

}  // namespace kestrum
