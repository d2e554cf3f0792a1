#include "scan/file_signatures.h"

#include <cstring>

#include "disk/sector.h"

namespace kestrum {

namespace {

// Exact bytes of `literal` (its own length, no terminator) at `offset`.
// Callers have checked that the view holds a whole sector, and every offset
// used here ends well inside it.
template <std::size_t N>
bool At(const std::uint8_t* s, std::size_t offset, const char (&literal)[N]) {
  return std::memcmp(s + offset, literal, N - 1) == 0;
}

ScanCategory MatchFtypBrand(const std::uint8_t* s) {
  if (At(s, 8, "isom") || At(s, 8, "3gp") || At(s, 8, "mmp4")) return kCategory3gp;
  if (At(s, 8, "M4A ")) return kCategoryM4a;
  if (At(s, 8, "M4V ")) return kCategoryM4v;
  if (At(s, 8, "mp41") || At(s, 8, "mp42")) return kCategoryMp4;
  return kNoCategory;
}

// Markup: up to ten line-break bytes, then "<" and one of the known openers.
bool IsMarkupStart(const std::uint8_t* s) {
  if (s[0] != 0x0D && s[0] != 0x0A && s[0] != '<') return false;
  std::size_t i = 0;
  while (i < 10 && (s[i] == 0x0D || s[i] == 0x0A)) ++i;
  if (s[i] != '<') return false;
  return At(s, i, "<html") || At(s, i, "<HTML") || At(s, i, "<!doctyp") || At(s, i, "<!DOCTYP") ||
         At(s, i, "<!--") || At(s, i, "<?xml") || At(s, i, "<xs:schema");
}

// The first bytes that some signature at offset 0 begins with.
constexpr std::uint8_t kLeadBytes[] = {0xD0, 0x00, 'I', '%', 0x3F, 'L', 0x89, 'G', 0xFF, '8', 'B', '7', 'P',
                                       'R', 0x5F, 'F', '.', 'M', 'A', 0xD7, 0x01, 0x02, 0xEF, 0x0D, 0x0A, '<'};

struct LeadTable {
  bool lead[256] = {};
  constexpr LeadTable() {
    for (std::uint8_t b : kLeadBytes) lead[b] = true;
  }
};
constexpr LeadTable kLead;

// The signatures that do not look at byte 0, in their places of the order.
ScanCategory MatchAwayFromStart(const std::uint8_t* s) {
  if (At(s, 38, "_Types].xml")) return kCategoryDocx;
  if (At(s, 4, "Standard J")) return kCategoryMdb;
  if (At(s, 6, "HEAPCCDR")) return kCategoryRaw;
  if (At(s, 8, "WAVE") && At(s, 12, "fmt")) return kCategoryWav;
  if (At(s, 4, "moov")) return kCategoryMov;
  if (At(s, 4, "ftyp")) {
    ScanCategory brand = MatchFtypBrand(s);
    if (brand != kNoCategory) return brand;
  }
  if (At(s, 8, "AVI ") && At(s, 12, "LIST")) return kCategoryAvi;
  return kNoCategory;
}

ScanCategory Match(const std::uint8_t* s) {
  std::uint32_t first = ReadLe32(ByteView(s, 8), 0);
  std::uint32_t second = ReadLe32(ByteView(s, 8), 4);
  // Blank sectors and 7F filler are the bulk of a disk: out before anything else.
  if (first == 0 || second == 0 || first == 0x7F7F7F7F || second == 0x7F7F7F7F) return kNoCategory;
  // Most sectors begin with a byte no signature at 0 begins with: only the
  // others can match, and among themselves they keep their order.
  if (!kLead.lead[s[0]]) return MatchAwayFromStart(s);

  if (At(s, 0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) return kCategoryDoc;
  // The name of a zip's first entry, [Content_Types].xml, starts at 30.
  if (At(s, 38, "_Types].xml")) return kCategoryDocx;
  if (At(s, 4, "Standard J")) return kCategoryMdb;
  if (At(s, 0, "\x00\x01\x00\x00") && At(s, 4, "Standard ACE DB")) return kCategoryAccdb;
  if (At(s, 0, "ITSF") && At(s, 4, "\x03\x00\x00\x00")) return kCategoryChm;
  if (At(s, 0, "%PDF-1.")) return kCategoryPdf;
  if (At(s, 0, "\x3F\x5F\x03\x00") || At(s, 0, "\x4C\x4E\x02\x00")) return kCategoryHlp;
  if (At(s, 0, "\x89PNG\r\n\x1A\n")) return kCategoryPng;
  if (At(s, 0, "GIF8") && (s[4] == '7' || s[4] == '9') && s[5] == 'a') return kCategoryGif;
  if (s[0] == 0xFF && s[1] == 0xD8 && s[2] == 0xFF) {
    switch (s[3]) {
      case 0xDB: case 0xE0: case 0xE1: case 0xEB: case 0xEE: case 0xEF: case 0xC4:
        return kCategoryJpg;
      default:
        break;
    }
  }
  if (At(s, 0, "8BPS\x00\x01\x00\x00")) return kCategoryPsd;
  if (At(s, 0, "BM") && s[7] == 0 && s[9] == 0 && s[15] == 0 &&
      (s[14] == 0x0C || s[14] == 0x28 || s[14] == 0x6C || s[14] == 0x7C)) {
    return kCategoryBmp;
  }
  if (At(s, 6, "HEAPCCDR")) return kCategoryRaw;
  if (At(s, 8, "WAVE") && At(s, 12, "fmt")) return kCategoryWav;
  if (At(s, 0, "ID3") && s[3] >= 2 && s[3] <= 4 && s[4] == 0 && s[5] == 0 && s[6] == 0) {
    return kCategoryMp3;
  }
  if (At(s, 0, "7z\xBC\xAF\x27")) return kCategory7z;
  if (At(s, 0, "PK\x03\x04") || At(s, 0, "PK00") || At(s, 0, "PK\x05\x06")) return kCategoryZip;
  if (At(s, 0, "Rar!\x1A\x07\x00")) return kCategoryRar;
  if (At(s, 0, "\x5F\x27\xA8\x89")) return kCategoryJar;
  if (At(s, 0, "FLV\x01\x05")) return kCategoryFlv;
  if (At(s, 0, ".ra\x3F")) return kCategoryRaw2;
  if (At(s, 0, ".RMF")) return kCategoryRmvb;
  if (At(s, 4, "moov")) return kCategoryMov;
  if (At(s, 4, "ftyp")) {
    ScanCategory brand = MatchFtypBrand(s);
    if (brand != kNoCategory) return brand;
  }
  if (At(s, 8, "AVI ") && At(s, 12, "LIST")) return kCategoryAvi;
  if (At(s, 0, "MZ") && s[3] <= 2 && s[5] <= 2) return kCategoryExe;
  if (At(s, 0, "AC10")) return kCategoryDwg;
  if (At(s, 0, "\xD7\xCD\xC6\x9A") || At(s, 0, "\x01\x00\x09\x00") || At(s, 0, "\x02\x00\x09\x00")) {
    return kCategoryWmf;
  }
  if (At(s, 0, "\xFF\xFE\x3C\x00") || At(s, 0, "\xEF\xBB\xBF\x3C")) return kCategoryHtml;
  if (At(s, 0, "II\x2A\x00") || At(s, 0, "MM\x00\x2A")) return kCategoryTif;
  if (IsMarkupStart(s)) return kCategoryHtml;
  return kNoCategory;
}

}  // namespace

bool MatchFileSignature(ByteView sector, ScanCategory& category) {
  category = sector.size() < kSectorSize ? kNoCategory : Match(sector.data());
  return category != kNoCategory;
}

}  // namespace kestrum
