// An ISO 9660 image (a CD or DVD image, an installer) gives its size in its
// primary volume descriptor: the volume's blocks times the block size. The
// descriptors that follow it, up to the set terminator, must be whole.

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {

FileEnd FindIso9660End(ByteSource& source) {
  using namespace iso9660_layout;
  ByteView pvd = source.Peek(kFirstDescriptor, kDescriptorSize);
  if (pvd.size() < kDescriptorSize || pvd[0] != kPrimary || !HasTag(pvd, kIdentifier, "CD001")) return std::nullopt;
  const std::uint32_t blocks = ReadLe32(pvd, kVolumeBlocks);
  const std::uint16_t blockSize = ReadLe16(pvd, kBlockSize);
  if (blocks != ReadBe32(pvd, kVolumeBlocks + 4) || blockSize != ReadBe16(pvd, kBlockSize + 2)) return std::nullopt;
  if (blockSize != 512 && blockSize != 1024 && blockSize != 2048) return std::nullopt;
  bool terminated = false;
  for (std::uint64_t at = kFirstDescriptor + kDescriptorSize; !terminated && at < kDescriptorsEnd; at += kDescriptorSize) {
    ByteView d = source.Peek(at, kDescriptorSize);
    if (d.size() < kDescriptorSize || !HasTag(d, kIdentifier, "CD001")) return std::nullopt;
    terminated = d[0] == kTerminator;
  }
  const std::uint64_t end = std::uint64_t{blocks} * blockSize;
  if (!terminated || end < kFirstDescriptor + 2 * kDescriptorSize || !source.Fits(0, end)) return std::nullopt;
  return end;
}

}  // namespace kestrum
