// A gzip file is one or more members: a header, a deflate stream, and a
// trailer with the CRC and the length of the data. A deflate stream does
// not say how long it is, so it is decoded (without keeping the output)
// to its last block; the length in the trailer must match what it made.

#include <array>

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {
namespace {

using namespace gzip_layout;

class Bits {
 public:
  Bits(ByteSource& source, std::uint64_t at) : source_(source), at_(at) {}

  // `n` bits (at most 24), least significant first; false past the limit.
  bool Take(int n, std::uint32_t& out) {
    while (count_ < n) {
      if (view_.empty()) {
        view_ = source_.PeekOnward(at_);
        if (view_.empty()) return false;
      }
      buffer_ |= std::uint32_t{view_[0]} << count_;
      view_ = view_.subspan(1);
      ++at_;
      count_ += 8;
    }
    out = buffer_ & ((1u << n) - 1);
    buffer_ >>= n;
    count_ -= n;
    return true;
  }
  // To the next byte: the bits left of this one are dropped.
  void Align() {
    buffer_ >>= count_ % 8;
    count_ -= count_ % 8;
  }
  // The offset of the next whole byte not yet taken.
  std::uint64_t ByteOffset() const { return at_ - static_cast<std::uint64_t>(count_ / 8); }
  void SkipBytes(std::uint64_t n) {
    Align();
    at_ = ByteOffset() + n;
    buffer_ = 0;
    count_ = 0;
    view_ = {};
  }

 private:
  ByteSource& source_;
  std::uint64_t at_;
  ByteView view_;
  std::uint32_t buffer_ = 0;
  int count_ = 0;
};

// A canonical Huffman code, decoded a bit at a time (as in RFC 1951).
struct Huffman {
  std::array<std::uint16_t, 16> count{};
  std::array<std::uint16_t, 320> symbol{};

  // False when the lengths over-subscribe the code.
  bool Build(const std::uint8_t* lengths, int n) {
    count.fill(0);
    for (int i = 0; i < n; ++i) ++count[lengths[i]];
    int left = 1;
    for (int len = 1; len < 16; ++len) {
      left = left * 2 - count[len];
      if (left < 0) return false;
    }
    std::array<std::uint16_t, 16> offs{};
    for (int len = 1; len < 15; ++len) offs[len + 1] = static_cast<std::uint16_t>(offs[len] + count[len]);
    for (int i = 0; i < n; ++i) {
      if (lengths[i] != 0) symbol[offs[lengths[i]]++] = static_cast<std::uint16_t>(i);
    }
    return true;
  }

  bool Decode(Bits& bits, int& out) const {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len < 16; ++len) {
      std::uint32_t bit;
      if (!bits.Take(1, bit)) return false;
      code |= static_cast<int>(bit);
      const int n = count[len];
      if (code - n < first) {
        out = symbol[index + (code - first)];
        return true;
      }
      index += n;
      first = (first + n) << 1;
      code <<= 1;
    }
    return false;
  }
};

constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                           31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                             33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                             1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                             6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

bool Codes(Bits& bits, const Huffman& lengths, const Huffman& distances, std::uint64_t& produced) {
  while (true) {
    int symbol;
    if (!lengths.Decode(bits, symbol)) return false;
    if (symbol < 256) {
      ++produced;
      continue;
    }
    if (symbol == 256) return true;
    symbol -= 257;
    if (symbol >= 29) return false;
    std::uint32_t extra;
    if (!bits.Take(kLengthExtra[symbol], extra)) return false;
    const std::uint64_t length = kLengthBase[symbol] + extra;
    int code;
    if (!distances.Decode(bits, code) || code >= 30) return false;
    if (!bits.Take(kDistanceExtra[code], extra)) return false;
    if (kDistanceBase[code] + extra > produced) return false;  // before the start of the data
    produced += length;
  }
}

bool FixedCodes(Huffman& lengths, Huffman& distances) {
  std::uint8_t l[288];
  for (int i = 0; i < 288; ++i) l[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
  std::uint8_t d[30];
  for (std::uint8_t& x : d) x = 5;
  return lengths.Build(l, 288) && distances.Build(d, 30);
}

bool DynamicCodes(Bits& bits, Huffman& lengths, Huffman& distances) {
  std::uint32_t hlit, hdist, hclen;
  if (!bits.Take(5, hlit) || !bits.Take(5, hdist) || !bits.Take(4, hclen)) return false;
  const int nlen = static_cast<int>(hlit) + 257, ndist = static_cast<int>(hdist) + 1;
  if (nlen > 286 || ndist > 30) return false;
  std::uint8_t l[320] = {};
  for (std::uint32_t i = 0; i < hclen + 4; ++i) {
    std::uint32_t v;
    if (!bits.Take(3, v)) return false;
    l[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(v);
  }
  Huffman code;
  if (!code.Build(l, 19)) return false;
  std::uint8_t all[320] = {};
  for (int i = 0; i < nlen + ndist;) {
    int symbol;
    if (!code.Decode(bits, symbol)) return false;
    if (symbol < 16) {
      all[i++] = static_cast<std::uint8_t>(symbol);
      continue;
    }
    std::uint8_t value = 0;
    std::uint32_t repeat;
    if (symbol == 16) {
      if (i == 0 || !bits.Take(2, repeat)) return false;
      value = all[i - 1];
      repeat += 3;
    } else if (symbol == 17) {
      if (!bits.Take(3, repeat)) return false;
      repeat += 3;
    } else {
      if (!bits.Take(7, repeat)) return false;
      repeat += 11;
    }
    if (i + static_cast<int>(repeat) > nlen + ndist) return false;
    while (repeat-- > 0) all[i++] = value;
  }
  if (all[256] == 0) return false;  // no end-of-block code
  return lengths.Build(all, nlen) && distances.Build(all + nlen, ndist);
}

// The end of the deflate stream from `at`, and the bytes it makes.
std::optional<std::uint64_t> DeflateEnd(ByteSource& source, std::uint64_t at, std::uint64_t& produced) {
  Bits bits(source, at);
  Huffman lengths, distances;
  for (std::uint32_t last = 0; !last;) {
    std::uint32_t type;
    if (!bits.Take(1, last) || !bits.Take(2, type)) return std::nullopt;
    if (type == 0) {
      bits.Align();
      std::uint32_t len, nlen;
      if (!bits.Take(16, len) || !bits.Take(16, nlen) || len != (~nlen & 0xFFFF)) return std::nullopt;
      bits.SkipBytes(len);
      produced += len;
    } else if (type == 1 || type == 2) {
      if (!(type == 1 ? FixedCodes(lengths, distances) : DynamicCodes(bits, lengths, distances))) return std::nullopt;
      if (!Codes(bits, lengths, distances, produced)) return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  bits.Align();
  return bits.ByteOffset();
}

// The end of the member at `at`, when it is one and its trailer agrees.
std::optional<std::uint64_t> MemberEnd(ByteSource& source, std::uint64_t at) {
  ByteView head = source.Peek(at, kHeaderSize);
  if (head.size() < kHeaderSize || head[0] != 0x1F || head[1] != 0x8B || head[2] != kDeflate) return std::nullopt;
  const std::uint8_t flags = head[kFlags];
  if (flags & kReservedFlags) return std::nullopt;
  std::uint64_t p = at + kHeaderSize;
  if (flags & kExtraFlag) {
    ByteView n = source.Peek(p, 2);
    if (n.size() < 2) return std::nullopt;
    p += 2 + std::uint64_t{ReadLe16(n, 0)};
  }
  for (std::uint8_t text : {kNameFlag, kCommentFlag}) {
    if (!(flags & text)) continue;
    std::optional<std::uint64_t> nul = source.Find(p, std::string_view("\0", 1));
    if (!nul) return std::nullopt;
    p = *nul + 1;
  }
  if (flags & kHeaderCrcFlag) p += 2;
  std::uint64_t produced = 0;
  std::optional<std::uint64_t> end = DeflateEnd(source, p, produced);
  if (!end) return std::nullopt;
  ByteView trailer = source.Peek(*end, kTrailerSize);
  if (trailer.size() < kTrailerSize || ReadLe32(trailer, kTrailerLength) != static_cast<std::uint32_t>(produced)) {
    return std::nullopt;
  }
  return *end + kTrailerSize;
}

}  // namespace

FileEnd FindGzipEnd(ByteSource& source) {
  std::optional<std::uint64_t> end = MemberEnd(source, 0);
  if (!end) return std::nullopt;
  while (std::optional<std::uint64_t> next = MemberEnd(source, *end)) end = next;
  return end;
}

}  // namespace kestrum
