// An ASF file (WMA, WMV) is a header object, a data object and index
// objects, each a GUID and a 64-bit size.

#include <algorithm>

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"
#include "scan/file_ends/stream_walk.h"

namespace kestrum {

FileEnd FindAsfEnd(ByteSource& source) {
  using namespace asf_layout;
  std::uint64_t at = 0;
  std::uint64_t objects = 0;
  bool sawData = false;
  while (true) {
    ByteView head = source.Peek(at, kObjectHeaderSize);
    if (head.size() < kObjectHeaderSize) break;
    auto is = [&](const std::uint8_t(&guid)[16]) { return std::equal(guid, guid + 16, head.begin()); };
    const bool header = is(kHeaderGuid);
    if (header != (objects == 0)) break;
    if (!header && !is(kDataGuid) && !is(kSimpleIndexGuid) && !is(kIndexGuid) && !is(kMediaIndexGuid) &&
        !is(kTimecodeIndexGuid)) {
      break;
    }
    sawData = sawData || is(kDataGuid);
    const std::uint64_t size = ReadLe64(head, kObjectSize);
    if (size < kObjectHeaderSize || !source.Fits(at, size)) return std::nullopt;
    at += size;
    ++objects;
  }
  return sawData ? RunEnd(source, at, objects, 2) : std::nullopt;
}

}  // namespace kestrum
