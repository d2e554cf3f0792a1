// An MP3 file is an ID3v2 tag, a run of MPEG audio frames (each header
// gives the frame's length), then perhaps an APE and an ID3v1 tag. A Xing
// or Info header in the first frame gives the audio's length; where there
// is one, the frames must fill it.

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"
#include "scan/file_ends/stream_walk.h"

namespace kestrum {
namespace {

using namespace mp3_layout;

struct Frame {
  std::uint32_t header = 0;
  std::uint32_t length = 0;
};

constexpr std::uint16_t kBitrates[2][3][15] = {
    // MPEG 1: layers I, II, III
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    // MPEG 2 and 2.5
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
constexpr std::uint32_t kRates[3] = {44100, 48000, 32000};

std::optional<Frame> ReadFrame(ByteSource& source, std::uint64_t at) {
  ByteView v = source.Peek(at, 4);
  if (v.size() < 4) return std::nullopt;
  const std::uint32_t h = ReadBe32(v, 0);
  const unsigned version = h >> 19 & 3, layer = h >> 17 & 3, bitrate = h >> 12 & 15, rate = h >> 10 & 3;
  if ((h & kSyncMask) != kSyncMask || version == 1 || layer == 0 || bitrate == 0 || bitrate == 15 || rate == 3) {
    return std::nullopt;
  }
  const bool v1 = version == 3;
  const unsigned layerIndex = 3 - layer;  // 0: layer I
  const std::uint32_t bps = kBitrates[v1 ? 0 : 1][layerIndex][bitrate] * 1000u;
  const std::uint32_t hz = kRates[rate] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
  const std::uint32_t padding = h >> 9 & 1;
  Frame f{h, 0};
  if (layerIndex == 0) f.length = (12 * bps / hz + padding) * 4;
  else if (layerIndex == 2 && !v1) f.length = 72 * bps / hz + padding;
  else f.length = 144 * bps / hz + padding;
  return f;
}

bool SameStream(std::uint32_t a, std::uint32_t b) { return (a & kStreamMask) == (b & kStreamMask); }

// The audio length a Xing/Info header in the frame at `at` gives, if any.
std::optional<std::uint32_t> XingBytes(ByteSource& source, std::uint64_t at, std::uint32_t header) {
  const bool v1 = (header >> 19 & 3) == 3, mono = (header >> 6 & 3) == 3;
  const std::uint64_t tag = at + 4 + (v1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
  ByteView x = source.Peek(tag, 16);
  if (x.size() < 16 || !(HasTag(x, 0, "Xing") || HasTag(x, 0, "Info"))) return std::nullopt;
  const std::uint32_t flags = ReadBe32(x, 4);
  if (!(flags & kXingBytes)) return std::nullopt;
  return ReadBe32(x, (flags & kXingFrames) ? 12 : 8);
}

}  // namespace

FileEnd FindMp3End(ByteSource& source) {
  ByteView id3 = source.Peek(0, kId3HeaderSize);
  if (id3.size() < kId3HeaderSize || !HasTag(id3, 0, "ID3")) return std::nullopt;
  std::uint64_t at = kId3HeaderSize + (id3[kId3Flags] & kId3Footer ? kId3HeaderSize : 0);
  for (int i = 0; i < 4; ++i) {
    if (id3[kId3Size + i] & 0x80) return std::nullopt;
    at += std::uint64_t{id3[kId3Size + i]} << (7 * (3 - i));
  }
  std::optional<Frame> first = ReadFrame(source, at);
  if (!first) return std::nullopt;
  const std::uint64_t audio = at;
  std::optional<std::uint32_t> expected = XingBytes(source, at, first->header);
  std::uint64_t frames = 0;
  while (std::optional<Frame> f = ReadFrame(source, at)) {
    if (!SameStream(f->header, first->header)) break;
    if (!source.Has(at, f->length)) return std::nullopt;  // cut by the limit
    at += f->length;
    ++frames;
  }
  if (expected && at - audio != *expected) return std::nullopt;
  // Tags after the audio.
  ByteView ape = source.Peek(at, kApeSize);
  if (ape.size() == kApeSize && HasTag(ape, 0, "APETAGEX") && (ReadLe32(ape, kApeFlags) & kApeIsHeader)) {
    at += kApeSize + std::uint64_t{ReadLe32(ape, kApeTagSize)};
  }
  ByteView v1 = source.Peek(at, kId3v1Size);
  if (v1.size() == kId3v1Size && HasTag(v1, 0, "TAG")) at += kId3v1Size;
  return RunEnd(source, at, frames, 2);
}

}  // namespace kestrum
