#include "scan/file_ends/file_end.h"

namespace kestrum {

FileEndFinder EndFinderFor(ScanCategory category) {
  switch (category) {
    case kCategoryDoc: return FindOle2End;
    case kCategoryDocx:
    case kCategoryZip: return FindZipEnd;
    case kCategoryPdf: return FindPdfEnd;
    case kCategoryPng: return FindPngEnd;
    case kCategoryGif: return FindGifEnd;
    case kCategoryJpg: return FindJpegEnd;
    case kCategoryBmp: return FindBmpEnd;
    case kCategoryWav:
    case kCategoryAvi: return FindRiffEnd;
    case kCategory7z: return Find7zEnd;
    case kCategoryRar: return FindRarEnd;
    case kCategoryMov:
    case kCategory3gp:
    case kCategoryM4a:
    case kCategoryM4v:
    case kCategoryMp4: return FindIsoMediaEnd;
    default: return nullptr;
  }
}

}  // namespace kestrum
