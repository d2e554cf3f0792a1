// An MPEG transport stream is a run of fixed-size packets, each beginning
// with the sync byte 0x47 (after a 4-byte time stamp in the 192-byte
// packets of camcorders and Blu-ray discs); it ends with the last packet.

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"
#include "scan/file_ends/stream_walk.h"

namespace kestrum {
namespace {

using namespace ts_layout;

// A packet header: the sync byte, no transport error, a payload or an
// adaptation field (control 00 is reserved).
bool IsPacketHeader(ByteSource& source, std::uint64_t at, std::size_t prefix) {
  ByteView head = source.Peek(at + prefix, kHeaderSize);
  return head.size() == kHeaderSize && head[0] == kSync && !(head[1] & kTransportError) &&
         (head[3] & kAdaptationControl) != 0;
}

FileEnd PacketRunEnd(ByteSource& source, std::size_t prefix, std::size_t packet) {
  std::uint64_t at = 0;
  std::uint64_t packets = 0;
  while (IsPacketHeader(source, at, prefix)) {
    // A packet cut by the limit: the stream goes on past it.
    if (!source.Has(at, packet)) return std::nullopt;
    at += packet;
    ++packets;
  }
  return RunEnd(source, at, packets, kLeastPackets);
}

}  // namespace

FileEnd FindTransportStreamEnd(ByteSource& source) { return PacketRunEnd(source, 0, kPacketSize); }
FileEnd FindM2tsEnd(ByteSource& source) { return PacketRunEnd(source, kM2tsPrefix, kM2tsPacketSize); }

}  // namespace kestrum
