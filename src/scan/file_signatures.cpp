#include "scan/file_signatures.h"

#include <array>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "disk/sector.h"

namespace kestrum {

namespace {

using Bytes = std::string_view;

// Exact bytes of `literal` at `offset`. Callers have checked that the view
// holds a whole sector, and every offset used here ends well inside it.
bool At(const std::uint8_t* s, std::size_t offset, Bytes literal) {
  // The first byte alone turns most sectors away, without a call.
  return s[offset] == static_cast<std::uint8_t>(literal[0]) &&
         std::memcmp(s + offset + 1, literal.data() + 1, literal.size() - 1) == 0;
}

// Tests a signature makes beyond its fixed bytes.

bool JpegMarker(const std::uint8_t* s) {
  switch (s[3]) {
    case 0xDB: case 0xE0: case 0xE1: case 0xEB: case 0xEE: case 0xEF: case 0xC4: return true;
    default: return false;
  }
}

bool GifVersion(const std::uint8_t* s) { return (s[4] == '7' || s[4] == '9') && s[5] == 'a'; }

bool BmpHeader(const std::uint8_t* s) {
  return s[7] == 0 && s[9] == 0 && s[15] == 0 && (s[14] == 0x0C || s[14] == 0x28 || s[14] == 0x6C || s[14] == 0x7C);
}

bool Id3Header(const std::uint8_t* s) { return s[3] >= 2 && s[3] <= 4 && s[4] == 0 && s[5] == 0 && s[6] == 0; }

bool ExeHeader(const std::uint8_t* s) { return s[3] <= 2 && s[5] <= 2; }

// Markup: up to ten line-break bytes, then "<" and one of the known openers.
bool MarkupStart(const std::uint8_t* s) {
  std::size_t i = 0;
  while (i < 10 && (s[i] == 0x0D || s[i] == 0x0A)) ++i;
  if (s[i] != '<') return false;
  for (Bytes opener : {"<html", "<HTML", "<!doctyp", "<!DOCTYP", "<!--", "<?xml", "<xs:schema"}) {
    if (At(s, i, opener)) return true;
  }
  return false;
}

std::uint16_t Le16(const std::uint8_t* s, std::size_t at) { return static_cast<std::uint16_t>(s[at] | s[at + 1] << 8); }
std::uint32_t Le32(const std::uint8_t* s, std::size_t at) { return Le16(s, at) | std::uint32_t{Le16(s, at + 2)} << 16; }
std::uint16_t Be16(const std::uint8_t* s, std::size_t at) { return static_cast<std::uint16_t>(s[at] << 8 | s[at + 1]); }
std::uint32_t Be32(const std::uint8_t* s, std::size_t at) { return std::uint32_t{Be16(s, at)} << 16 | Be16(s, at + 2); }

// A tag of a TIFF's first directory, when the directory lies in the sector:
// the offset of its 12-byte entry, 0 when it is not there.
std::size_t TiffTag(const std::uint8_t* s, std::uint16_t tag) {
  const bool big = s[0] == 'M';
  const std::uint32_t ifd = big ? Be32(s, 4) : Le32(s, 4);
  if (ifd < 8 || ifd + 2 > kSectorSize) return 0;
  const std::uint16_t count = big ? Be16(s, ifd) : Le16(s, ifd);
  for (std::uint32_t i = 0; i < count && ifd + 2 + 12 * (i + 1) <= kSectorSize; ++i) {
    const std::size_t entry = ifd + 2 + 12 * i;
    if ((big ? Be16(s, entry) : Le16(s, entry)) == tag) return entry;
  }
  return 0;
}

// The camera maker named in the first directory, when its text lies in
// the sector.
bool TiffMakeIs(const std::uint8_t* s, Bytes maker) {
  const std::size_t entry = TiffTag(s, 0x010F);
  if (entry == 0) return false;
  const bool big = s[0] == 'M';
  const std::uint32_t count = big ? Be32(s, entry + 4) : Le32(s, entry + 4);
  const std::uint32_t at = count <= 4 ? static_cast<std::uint32_t>(entry + 8) : (big ? Be32(s, entry + 8) : Le32(s, entry + 8));
  return count >= maker.size() && at + maker.size() <= kSectorSize && At(s, at, maker);
}

bool Dng(const std::uint8_t* s) { return TiffTag(s, 0xC612) != 0; }
bool Nikon(const std::uint8_t* s) { return TiffMakeIs(s, "NIKON"); }
bool Sony(const std::uint8_t* s) { return TiffMakeIs(s, "SONY"); }
bool Pentax(const std::uint8_t* s) { return TiffMakeIs(s, "PENTAX") || TiffMakeIs(s, "RICOH"); }

// An EBML header (Matroska, WebM) names its document type in its first
// bytes: the DocType element 42 82, a one-byte size, the text.
bool EbmlDocType(const std::uint8_t* s, Bytes type) {
  for (std::size_t i = 4; i + 3 + type.size() <= 64; ++i) {
    if (s[i] == 0x42 && s[i + 1] == 0x82 && s[i + 2] == (0x80 | type.size()) && At(s, i + 3, type)) return true;
  }
  return false;
}
bool Matroska(const std::uint8_t* s) { return EbmlDocType(s, "matroska"); }
bool Webm(const std::uint8_t* s) { return EbmlDocType(s, "webm"); }

// A transport stream begins with a packet of its tables (PAT, or the SDT
// that some writers put first), the sync byte repeating packet by packet.
bool TransportStream(const std::uint8_t* s, std::size_t prefix, std::size_t packet) {
  for (std::size_t at = prefix; at < kSectorSize; at += packet) {
    if (s[at] != 0x47) return false;
  }
  const std::uint16_t pid = Be16(s, prefix + 1) & 0x1FFF;
  return (s[prefix + 1] & 0x40) && (pid == 0x0000 || pid == 0x0011);
}
bool Ts(const std::uint8_t* s) { return TransportStream(s, 0, 188); }
bool M2ts(const std::uint8_t* s) { return TransportStream(s, 4, 192); }

bool OggFirstPage(const std::uint8_t* s) { return s[4] == 0 && (s[5] & 0x02); }
bool FlacStreamInfo(const std::uint8_t* s) { return (s[4] & 0x7F) == 0 && s[5] == 0 && s[6] == 0 && s[7] == 34; }
bool GzipFlags(const std::uint8_t* s) { return (s[3] & 0xE0) == 0; }
bool Bzip2Level(const std::uint8_t* s) { return s[3] >= '1' && s[3] <= '9'; }
bool XzCheck(const std::uint8_t* s) { return s[6] == 0 && (s[7] == 0 || s[7] == 1 || s[7] == 4 || s[7] == 10); }
bool ElfIdent(const std::uint8_t* s) { return (s[4] == 1 || s[4] == 2) && (s[5] == 1 || s[5] == 2) && s[6] == 1; }
// CA FE BA BE also begins Java classes, whose next word is a version (45 and up).
bool FatMachO(const std::uint8_t* s) { return Be32(s, 4) >= 1 && Be32(s, 4) < 20; }

// A tar member's header: its name first (text, any script, padded with
// NULs, looked at in the sector's first 64 bytes before the magic at 257,
// which lies in another cache line of every sector), then its checksum,
// which counts every byte of the header, the checksum field itself as
// eight spaces.
bool TarHeader(const std::uint8_t* s) {
  bool padding = false;
  for (std::size_t i = 0; i < 64; ++i) {
    if (padding ? s[i] != 0 : (s[i] != 0 && (s[i] < 0x20 || s[i] == 0x7F))) return false;
    padding = padding || s[i] == 0;
  }
  if (!At(s, 257, "ustar")) return false;
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? ' ' : s[i];
  std::uint32_t stored = 0;
  std::size_t i = 148;
  while (i < 156 && s[i] == ' ') ++i;
  const std::size_t digits = i;
  for (; i < 156 && s[i] >= '0' && s[i] <= '7'; ++i) stored = stored * 8 + (s[i] - '0');
  return i > digits && stored == sum;
}

// An ASF header: video when one of the stream properties objects in the
// sector is of the video stream type, else audio.
bool AsfHasVideo(const std::uint8_t* s) {
  constexpr Bytes kStreamProperties{"\x91\x07\xDC\xB7\xB7\xA9\xCF\x11\x8E\xE6\x00\xC0\x0C\x20\x53\x65", 16};
  constexpr Bytes kVideoMedia{"\xC0\xEF\x19\xBC\x4D\x5B\xCF\x11\xA8\xFD\x00\x80\x5F\x5C\x44\x2B", 16};
  for (std::size_t at = 30; at + 40 <= kSectorSize;) {
    if (At(s, at, kStreamProperties) && At(s, at + 24, kVideoMedia)) return true;
    const std::uint32_t size = Le32(s, at + 16);
    if (Le32(s, at + 20) != 0 || size < 24) return false;
    at += size;
  }
  return false;
}
bool AsfAudio(const std::uint8_t* s) { return !AsfHasVideo(s); }

// The brands of an ftyp box at 8 (a brand of three letters matches any
// fourth), in the order they are tried.
constexpr std::pair<Bytes, ScanCategory> kBrands[] = {
    {"isom", kCategory3gp}, {"3gp", kCategory3gp},  {"3g2", kCategory3gp},  {"mmp4", kCategory3gp},
    {"M4A ", kCategoryM4a}, {"M4B ", kCategoryM4a}, {"M4V ", kCategoryM4v}, {"mp41", kCategoryMp4},
    {"mp42", kCategoryMp4}, {"iso2", kCategoryMp4}, {"avc1", kCategoryMp4}, {"dash", kCategoryMp4},
    {"MSNV", kCategoryMp4}, {"XAVC", kCategoryMp4}, {"qt  ", kCategoryMov}, {"heic", kCategoryHeic},
    {"heix", kCategoryHeic}, {"hevc", kCategoryHeic}, {"mif1", kCategoryHeic}, {"msf1", kCategoryHeic},
    {"avif", kCategoryAvif}, {"avis", kCategoryAvif}, {"crx ", kCategoryCr3},
};

ScanCategory FtypBrand(const std::uint8_t* s) {
  for (const auto& [brand, category] : kBrands) {
    if (At(s, 8, brand)) return category;
  }
  return kNoCategory;
}

constexpr std::size_t kMaxPatterns = 2;

struct Pattern {
  std::uint16_t offset = 0;
  Bytes bytes;
};

// One signature: every pattern matches and the test (when there is one)
// holds. A signature whose first pattern lies at offset 0 can only match a
// sector that begins with that pattern's first byte.
struct Signature {
  ScanCategory category;
  std::array<Pattern, kMaxPatterns> patterns;
  bool (*test)(const std::uint8_t*) = nullptr;
  // Taken even when bytes 4–7 are zero (the blank test below): headers
  // that hold zeros there in their common form.
  bool zeroSecondWord = false;
  // Where one header names several formats: the category from the
  // sector, or kNoCategory to go on with the later signatures.
  ScanCategory (*pick)(const std::uint8_t*) = nullptr;
};

using namespace std::string_view_literals;

// In the order they are tried: the first that matches decides.
constexpr Signature kSignatures[] = {
    {kCategoryDoc, {{{0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"}}}},
    // The name of a zip's first entry, [Content_Types].xml, starts at 30.
    {kCategoryDocx, {{{38, "_Types].xml"}}}},
    {kCategoryMdb, {{{4, "Standard J"}}}},
    {kCategoryAccdb, {{{0, "\x00\x01\x00\x00"sv}, {4, "Standard ACE DB"}}}},
    {kCategoryChm, {{{0, "ITSF"}, {4, "\x03\x00\x00\x00"sv}}}},
    {kCategoryPdf, {{{0, "%PDF-1."}}}},
    {kCategoryHlp, {{{0, "\x3F\x5F\x03\x00"sv}}}},
    {kCategoryHlp, {{{0, "\x4C\x4E\x02\x00"sv}}}},
    {kCategoryPng, {{{0, "\x89PNG\r\n\x1A\n"}}}},
    {kCategoryGif, {{{0, "GIF8"}}}, GifVersion},
    {kCategoryJpg, {{{0, "\xFF\xD8\xFF"}}}, JpegMarker},
    {kCategoryPsd, {{{0, "8BPS\x00\x01\x00\x00"sv}}}},
    {kCategoryBmp, {{{0, "BM"}}}, BmpHeader},
    {kCategoryRaw, {{{6, "HEAPCCDR"}}}},
    {kCategoryWebp, {{{0, "RIFF"}, {8, "WEBPVP8"}}}},
    {kCategoryWav, {{{8, "WAVE"}, {12, "fmt"}}}},
    {kCategoryMp3, {{{0, "ID3"}}}, Id3Header},
    {kCategory7z, {{{0, "7z\xBC\xAF\x27"}}}},
    // Zip documents that name their kind in their first entry.
    {kCategoryEpub, {{{0, "PK\x03\x04"}, {30, "mimetypeapplication/epub+zip"}}}},
    {kCategoryOdt, {{{0, "PK\x03\x04"}, {30, "mimetypeapplication/vnd.oasis.opendocument.text"}}}},
    {kCategoryOds, {{{0, "PK\x03\x04"}, {30, "mimetypeapplication/vnd.oasis.opendocument.spreadsheet"}}}},
    {kCategoryOdp, {{{0, "PK\x03\x04"}, {30, "mimetypeapplication/vnd.oasis.opendocument.presentation"}}}},
    {kCategoryApk, {{{0, "PK\x03\x04"}, {30, "AndroidManifest.xml"}}}},
    {kCategoryZip, {{{0, "PK\x03\x04"}}}},
    {kCategoryZip, {{{0, "PK00"}}}},
    {kCategoryZip, {{{0, "PK\x05\x06"}}}},
    {kCategoryRar, {{{0, "Rar!\x1A\x07\x00"sv}}}},
    {kCategoryJar, {{{0, "\x5F\x27\xA8\x89"}}}},
    {kCategoryFlv, {{{0, "FLV\x01\x05"}}}},
    {kCategoryRaw2, {{{0, ".ra\x3F"}}}},
    {kCategoryRmvb, {{{0, ".RMF"}}}},
    {kCategoryMov, {{{4, "moov"}}}},
    // ISO media, told apart by the brand of their ftyp box; other brands
    // fall through to the later tests.
    {kNoCategory, {{{4, "ftyp"}}}, nullptr, false, FtypBrand},
    {kCategoryAvi, {{{8, "AVI "}, {12, "LIST"}}}},
    {kCategoryExe, {{{0, "MZ"}}}, ExeHeader},
    {kCategoryDwg, {{{0, "AC10"}}}},
    // A placeable metafile's handle and left edge, at 4–7, are mostly zero.
    {kCategoryWmf, {{{0, "\xD7\xCD\xC6\x9A"}}}, nullptr, true},
    {kCategoryWmf, {{{0, "\x01\x00\x09\x00"sv}}}},
    {kCategoryWmf, {{{0, "\x02\x00\x09\x00"sv}}}},
    {kCategoryEmf, {{{0, "\x01\x00\x00\x00"sv}, {40, " EMF"}}}},
    {kCategoryHtml, {{{0, "\xFF\xFE\x3C\x00"sv}}}},
    {kCategoryHtml, {{{0, "\xEF\xBB\xBF\x3C"}}}},
    // Camera raw files built on TIFF, before plain TIFF.
    {kCategoryCr2, {{{0, "II\x2A\x00"sv}, {8, "CR\x02\x00"sv}}}},
    {kCategoryOrf, {{{0, "IIRO"}}}},
    {kCategoryOrf, {{{0, "IIRS"}}}},
    {kCategoryOrf, {{{0, "MMOR"}}}},
    {kCategoryRw2, {{{0, "IIU\x00"sv}}}},
    {kCategoryDng, {{{0, "II\x2A\x00"sv}}}, Dng},
    {kCategoryDng, {{{0, "MM\x00\x2A"sv}}}, Dng},
    {kCategoryNef, {{{0, "MM\x00\x2A"sv}}}, Nikon},
    {kCategoryNef, {{{0, "II\x2A\x00"sv}}}, Nikon},
    {kCategoryArw, {{{0, "II\x2A\x00"sv}}}, Sony},
    {kCategoryPef, {{{0, "MM\x00\x2A"sv}}}, Pentax},
    {kCategoryPef, {{{0, "II\x2A\x00"sv}}}, Pentax},
    {kCategoryTif, {{{0, "II\x2A\x00"sv}}}},
    {kCategoryTif, {{{0, "MM\x00\x2A"sv}}}},
    {kCategoryMkv, {{{0, "\x1A\x45\xDF\xA3"}}}, Matroska},
    {kCategoryWebm, {{{0, "\x1A\x45\xDF\xA3"}}}, Webm},
    {kCategoryTs, {{{0, "G"}}}, Ts},
    {kCategoryM2ts, {{{4, "G"}}}, M2ts},
    {kCategoryFlac, {{{0, "fLaC"}}}, FlacStreamInfo},
    {kCategoryOpus, {{{0, "OggS"}, {28, "OpusHead"}}}, OggFirstPage},
    {kCategoryOgg, {{{0, "OggS"}}}, OggFirstPage},
    {kCategoryWmv, {{{0, "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C"sv}}}, AsfHasVideo},
    {kCategoryWma, {{{0, "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C"sv}}}, AsfAudio},
    {kCategorySqlite, {{{0, "SQLite format 3\x00"sv}}}},
    // A stream gzip compresses (tar czf, a pipe) has a zero time at 4–7.
    {kCategoryGz, {{{0, "\x1F\x8B\x08"}}}, GzipFlags, true},
    {kCategoryBz2, {{{0, "BZh"}, {4, "\x31\x41\x59\x26\x53\x59"}}}, Bzip2Level},
    {kCategoryXz, {{{0, "\xFD" "7zXZ\x00"sv}}}, XzCheck},
    {kCategoryZst, {{{0, "\x28\xB5\x2F\xFD"}}}},
    // A member named with four characters or fewer has zeros at 4–7.
    {kCategoryTar, {}, TarHeader, true},
    {kCategoryIso, {{{0, "\x01" "CD001\x01"}}}},
    {kCategoryElf, {{{0, "\x7F" "ELF"}}}, ElfIdent},
    {kCategoryMacho, {{{0, "\xFE\xED\xFA\xCE"}}}},
    {kCategoryMacho, {{{0, "\xFE\xED\xFA\xCF"}}}},
    {kCategoryMacho, {{{0, "\xCE\xFA\xED\xFE"}}}},
    {kCategoryMacho, {{{0, "\xCF\xFA\xED\xFE"}}}},
    {kCategoryMacho, {{{0, "\xCA\xFE\xBA\xBE"}}}, FatMachO},
    {kCategoryHtml, {{{0, "\x0D"}}}, MarkupStart},
    {kCategoryHtml, {{{0, "\x0A"}}}, MarkupStart},
    {kCategoryHtml, {{{0, "<"}}}, MarkupStart},
};

ScanCategory Matches(const Signature& signature, const std::uint8_t* s) {
  for (const Pattern& p : signature.patterns) {
    if (!p.bytes.empty() && !At(s, p.offset, p.bytes)) return kNoCategory;
  }
  if (signature.test != nullptr && !signature.test(s)) return kNoCategory;
  return signature.pick != nullptr ? signature.pick(s) : signature.category;
}

// One signature a sector may match, with the first byte of its first
// pattern: a sector without that byte there is passed over without a call.
// A signature without patterns is probed at byte 0 for the lead byte
// itself, which every sector of that lead passes.
struct Candidate {
  std::uint16_t probeOffset = 0;
  std::uint8_t probeByte = 0;
  std::uint8_t index = 0;  // in kSignatures
};

// The signatures a sector can match, by its first byte: those whose first
// pattern lies at offset 0 and begins with that byte, and every one whose
// first pattern lies further in, in table order. Most sectors begin with a
// byte no signature begins with, and the probes turn the rest away.
struct ByLead {
  std::vector<Candidate> order[256];
  ByLead() {
    for (int lead = 0; lead < 256; ++lead) {
      for (std::size_t i = 0; i < std::size(kSignatures); ++i) {
        const Pattern& first = kSignatures[i].patterns[0];
        const auto lead8 = static_cast<std::uint8_t>(lead);
        if (first.bytes.empty()) {
          order[lead].push_back(Candidate{0, lead8, static_cast<std::uint8_t>(i)});
          continue;
        }
        const auto probe = static_cast<std::uint8_t>(first.bytes[0]);
        if (first.offset != 0 || probe == lead8) {
          order[lead].push_back(Candidate{first.offset, probe, static_cast<std::uint8_t>(i)});
        }
      }
    }
  }
};
static_assert(std::size(kSignatures) <= 256);

// Every probe lies in the sector.
constexpr bool EveryFirstPatternIsInTheSector() {
  for (const Signature& signature : kSignatures) {
    const Pattern& first = signature.patterns[0];
    if (first.offset + first.bytes.size() > kSectorSize) return false;
  }
  return true;
}
static_assert(EveryFirstPatternIsInTheSector());

const ByLead& Candidates() {
  static const ByLead table;
  return table;
}

ScanCategory Match(const std::uint8_t* s) {
  const std::uint32_t first = Le32(s, 0);
  const std::uint32_t second = Le32(s, 4);
  // Blank sectors and 7F filler are the bulk of a disk: out before anything else.
  if (first == 0 || first == 0x7F7F7F7F || second == 0x7F7F7F7F) return kNoCategory;
  const bool blankSecond = second == 0;
  for (const Candidate& candidate : Candidates().order[s[0]]) {
    if (s[candidate.probeOffset] != candidate.probeByte) continue;
    const Signature& signature = kSignatures[candidate.index];
    if (blankSecond && !signature.zeroSecondWord) continue;
    const ScanCategory category = Matches(signature, s);
    if (category != kNoCategory) return category;
  }
  return kNoCategory;
}

}  // namespace

bool MatchFileSignature(ByteView sector, ScanCategory& category) {
  category = sector.size() < kSectorSize ? kNoCategory : Match(sector.data());
  return category != kNoCategory;
}

}  // namespace kestrum
