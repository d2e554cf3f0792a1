#include "platform/random.h"

#include "platform/windows/win32.h"

#include <bcrypt.h>

namespace kestrum {

bool FillRandom(std::span<std::uint8_t> out) {
  if (out.size() > 0xFFFFFFFFu) return false;
  return BCryptGenRandom(nullptr, out.data(), static_cast<ULONG>(out.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

}  // namespace kestrum
