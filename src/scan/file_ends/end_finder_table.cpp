#include <array>

#include "scan/file_ends/file_end.h"

namespace kestrum {
namespace {

struct Row {
  ScanCategory category;
  FileFormat format;
};

constexpr bool kHolds = true;

constexpr Row kRows[] = {
    {kCategoryDoc, {FindOle2End, kHolds}},
    {kCategoryDocx, {FindZipEnd, kHolds}},
    {kCategoryChm, {FindChmEnd, kHolds}},  // pictures stored uncompressed
    {kCategoryPdf, {FindPdfEnd, kHolds}},
    {kCategoryHlp, {FindHlpEnd}},
    {kCategoryPng, {FindPngEnd}},
    {kCategoryGif, {FindGifEnd}},
    {kCategoryJpg, {FindJpegEnd, kHolds}},  // an EXIF thumbnail
    {kCategoryPsd, {FindPsdEnd, kHolds}},   // its thumbnail
    {kCategoryBmp, {FindBmpEnd}},
    {kCategoryTif, {FindTiffEnd, kHolds}},
    {kCategoryWav, {FindRiffEnd}},
    {kCategoryMp3, {FindMp3End, kHolds}},  // cover art in the tag
    {kCategory7z, {Find7zEnd}},
    {kCategoryZip, {FindZipEnd, kHolds}},
    {kCategoryRar, {FindRarEnd, kHolds}},
    {kCategoryFlv, {FindFlvEnd}},
    {kCategoryRmvb, {FindRealMediaEnd}},
    {kCategoryMov, {FindIsoMediaEnd, kHolds}},
    {kCategory3gp, {FindIsoMediaEnd, kHolds}},
    {kCategoryM4a, {FindIsoMediaEnd, kHolds}},
    {kCategoryM4v, {FindIsoMediaEnd, kHolds}},
    {kCategoryMp4, {FindIsoMediaEnd, kHolds}},
    {kCategoryAvi, {FindRiffEnd}},
    {kCategoryExe, {FindPeEnd, kHolds}},  // icons and pictures among its resources
    {kCategoryWmf, {FindWmfEnd}},
    {kCategoryTxt, {FindTextEnd}},
    {kCategoryHtml, {FindTextEnd}},
    {kCategoryHeic, {FindIsoMediaEnd, kHolds}},
    {kCategoryAvif, {FindIsoMediaEnd, kHolds}},
    {kCategoryCr3, {FindIsoMediaEnd, kHolds}},  // its JPEG previews
    {kCategoryWebp, {FindRiffEnd}},
    {kCategoryMkv, {FindMatroskaEnd, kHolds}},  // attachments, cover art
    {kCategoryWebm, {FindMatroskaEnd, kHolds}},
    {kCategoryTs, {FindTransportStreamEnd, kHolds}},  // its own tables, repeated at sector boundaries
    {kCategoryM2ts, {FindM2tsEnd, kHolds}},
    {kCategoryFlac, {FindFlacEnd, kHolds}},  // a picture block
    {kCategoryOgg, {FindOggEnd}},
    {kCategoryOpus, {FindOggEnd}},
    {kCategoryWma, {FindAsfEnd}},
    {kCategoryWmv, {FindAsfEnd}},
    {kCategorySqlite, {FindSqliteEnd, kHolds}},  // pictures kept as blobs
    {kCategoryGz, {FindGzipEnd}},
    {kCategoryBz2, {FindBzip2End}},
    {kCategoryXz, {FindXzEnd}},
    {kCategoryZst, {FindZstdEnd}},
    {kCategoryTar, {FindTarEnd, kHolds}},       // every member starts at a 512-byte boundary
    {kCategoryIso, {FindIso9660End, kHolds, 64}},  // every file at a 2048-byte boundary
    {kCategoryEpub, {FindZipEnd, kHolds}},
    {kCategoryOdt, {FindZipEnd, kHolds}},
    {kCategoryOds, {FindZipEnd, kHolds}},
    {kCategoryOdp, {FindZipEnd, kHolds}},
    {kCategoryApk, {FindZipEnd, kHolds}},
    {kCategoryElf, {FindElfEnd}},
    {kCategoryMacho, {FindMachOEnd, kHolds}},  // the architectures of a fat file
    {kCategoryCr2, {FindTiffEnd, kHolds}},
    {kCategoryNef, {FindTiffEnd, kHolds}},
    {kCategoryArw, {FindTiffEnd, kHolds}},
    {kCategoryDng, {FindTiffEnd, kHolds}},
    {kCategoryOrf, {FindTiffEnd, kHolds}},
    {kCategoryRw2, {FindTiffEnd, kHolds}},
    {kCategoryPef, {FindTiffEnd, kHolds}},
    {kCategoryEmf, {FindEmfEnd}},
};

struct Table {
  std::array<FileFormat, kNoCategory + 1> formats{};
  constexpr Table() {
    for (const Row& row : kRows) formats[row.category] = row.format;
  }
};
constexpr Table kTable;

}  // namespace

const FileFormat& FileFormatOf(ScanCategory category) {
  static constexpr FileFormat kNone{};
  return category >= 0 && category <= kNoCategory ? kTable.formats[static_cast<std::size_t>(category)] : kNone;
}

}  // namespace kestrum
