// The end finders over the input as a file found by content: the first
// byte picks the format (its place among the file categories), the rest
// is the file; no finder reads or ends past the limit it is given, here
// the input's end less a little.
#include <algorithm>
#include <cstdlib>
#include <span>
#include <vector>

#include "scan/file_ends/file_end.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrum;
  if (size < 2) return 0;
  const ScanCategory category = FileCategoryAt(data[0] % kFileCategoryCount);
  const FileEndFinder finder = EndFinderFor(category);
  if (finder == nullptr) return 0;
  const std::vector<std::uint8_t> file(data + 1, data + size);
  SectorReadFn read = [&file](Sector64 sector, std::uint32_t count, std::span<std::uint8_t> out) {
    std::fill(out.begin(), out.end(), 0);
    const std::uint64_t at = sector * kSectorSize;
    if (at < file.size()) std::copy_n(file.begin() + at, std::min<std::uint64_t>(out.size(), file.size() - at), out.begin());
    return std::uint64_t{count} * kSectorSize == out.size();
  };
  // The limit falls inside the file, so that structures run into it.
  const std::uint64_t limit = file.size() - file.size() / 8;
  ByteSource source(read, 0, limit);
  FileEnd end = finder(source);
  if (source.ReadEnd() > limit || (end && *end > limit)) std::abort();
  return 0;
}
