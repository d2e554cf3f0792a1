#include "platform/random.h"

#include <sys/random.h>

#include <cerrno>

namespace kestrum {

bool FillRandom(std::span<std::uint8_t> out) {
  std::size_t got = 0;
  while (got < out.size()) {
    ssize_t n = ::getrandom(out.data() + got, out.size() - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace kestrum
