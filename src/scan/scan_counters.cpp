#include "scan/scan_counters.h"

namespace kestrum {

void CountFinding(ScanCategory category, ScanStatus& scan) {
  if (IsFileCategory(category)) {
    ++scan.signatureFiles;
    return;
  }
  switch (category) {
    case kCategoryEbr: ++scan.extendedTables; break;
    case kCategoryNtfsBoot: ++scan.ntfsBootSectors; break;
    case kCategoryFat16Boot:
    case kCategoryFat32Boot: ++scan.fatBootSectors; break;
    case kCategoryExfatBoot: ++scan.exfatBootSectors; break;
    case kCategoryFileRecord: ++scan.mftRecords; break;
    case kCategoryFatDir: ++scan.fatDirSectors; break;
    case kCategoryIndexRecord: ++scan.ntfsIndexRecords; break;
    case kCategoryExfatDir: ++scan.exfatDirSectors; break;
    default: break;
  }
}

}  // namespace kestrum
