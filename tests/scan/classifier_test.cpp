// The structure classifier, corruption style: a real boot sector, table,
// record or directory sector from the fixture images, one field changed,
// and the precise outcome of that change.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/byte_order.h"
#include "fs/exfat/exfat_layout.h"
#include "fs/fat/fat_layout.h"
#include "scan/block_findings.h"
#include "scan/boot_sector_tests.h"
#include "scan/sector_classifier.h"
#include "scan_support.h"
#include "support/fixtures.h"

namespace kestrum {
namespace {

using Sector = std::vector<std::uint8_t>;

ScanCategory Classify(const Sector& sector, Sector64 number = 2048) {
  ScanCategory category;
  bool matched = ClassifySector(ByteView(sector), number, category);
  EXPECT_EQ(matched, category != kNoCategory);
  return category;
}

Sector FixtureSector(const std::string& image, Sector64 sector) {
  return test::ReadFileSectors(test::FixturePath(image), sector);
}

void Put16(Sector& s, std::size_t at, std::uint16_t v) { WriteLe16(s, at, v); }
void Put32(Sector& s, std::size_t at, std::uint32_t v) { WriteLe32(s, at, v); }

// Each change is made to a fresh copy of the good sector.
struct Change {
  const char* what;
  void (*apply)(Sector&);
  ScanCategory expected;
};

void ExpectChanges(const Sector& good, ScanCategory goodCategory, std::initializer_list<Change> changes) {
  ASSERT_EQ(Classify(good), goodCategory) << "the unchanged sector";
  for (const Change& c : changes) {
    Sector changed = good;
    c.apply(changed);
    EXPECT_EQ(Classify(changed), c.expected) << c.what;
  }
}

TEST(BootSectorTests, NtfsBootSectorFieldByField) {
  ExpectChanges(FixtureSector("ntfs.img", 0), kCategoryNtfsBoot, {
      {"no signature", [](Sector& s) { s[511] = 0; }, kNoCategory},
      {"no jump (EB) but the NOP at 2 still there", [](Sector& s) { s[0] = 0xE9; }, kCategoryNtfsBoot},
      {"neither EB nor 90", [](Sector& s) { s[0] = 0xE9; s[2] = 0x00; }, kNoCategory},
      {"4096-byte sectors", [](Sector& s) { Put16(s, 0x0B, 4096); }, kCategoryNtfsBoot},
      {"513-byte sectors", [](Sector& s) { Put16(s, 0x0B, 513); }, kNoCategory},
      {"128 sectors a cluster", [](Sector& s) { s[0x0D] = 128; }, kCategoryNtfsBoot},
      {"3 sectors a cluster", [](Sector& s) { s[0x0D] = 3; }, kNoCategory},
      {"0 sectors a cluster", [](Sector& s) { s[0x0D] = 0; }, kNoCategory},
      {"2 MiB clusters as 2^12 sectors", [](Sector& s) { s[0x0D] = 0xF4; }, kCategoryNtfsBoot},
      {"an exponent beyond 2 MiB clusters", [](Sector& s) { s[0x0D] = 0xF3; }, kNoCategory},
      {"removable media F0", [](Sector& s) { s[0x15] = 0xF0; }, kNoCategory},
      {"no LBA geometry, but a CHS one", [](Sector& s) { Put16(s, 0x18, 32); Put16(s, 0x1A, 64); }, kCategoryNtfsBoot},
      {"63 sectors, heads 0", [](Sector& s) { Put16(s, 0x18, 63); Put16(s, 0x1A, 0); }, kCategoryNtfsBoot},
      {"255 heads, sectors 0", [](Sector& s) { Put16(s, 0x18, 0); Put16(s, 0x1A, 255); }, kCategoryNtfsBoot},
      {"64 sectors a track", [](Sector& s) { Put16(s, 0x18, 64); Put16(s, 0x1A, 16); }, kNoCategory},
      {"no geometry at all (mkntfs on a file)", [](Sector& s) { Put16(s, 0x18, 0); Put16(s, 0x1A, 0); },
       kCategoryNtfsBoot},
      {"256 heads", [](Sector& s) { Put16(s, 0x18, 32); Put16(s, 0x1A, 256); }, kNoCategory},
      // The clusters-per-record byte: 2^-n bytes when negative, clusters when
      // positive (the fixture has 4 KiB clusters); 1 to 4 KiB records only.
      {"records of 4 KiB (F4)", [](Sector& s) { s[0x40] = 0xF4; }, kCategoryNtfsBoot},
      {"records of 2 KiB (F5)", [](Sector& s) { s[0x40] = 0xF5; }, kCategoryNtfsBoot},
      {"records of 512 bytes (F7)", [](Sector& s) { s[0x40] = 0xF7; }, kNoCategory},
      {"records of 8 KiB (F3)", [](Sector& s) { s[0x40] = 0xF3; }, kNoCategory},
      {"records of one 4 KiB cluster (01)", [](Sector& s) { s[0x40] = 0x01; }, kCategoryNtfsBoot},
      {"records of two 4 KiB clusters (02)", [](Sector& s) { s[0x40] = 0x02; }, kNoCategory},
      {"records of two 512-byte clusters (02)", [](Sector& s) { s[0x0D] = 1; s[0x40] = 0x02; }, kCategoryNtfsBoot},
      {"records of one 512-byte cluster (01)", [](Sector& s) { s[0x0D] = 1; s[0x40] = 0x01; }, kNoCategory},
      {"records of 4 KiB in 4096-byte sectors", [](Sector& s) { Put16(s, 0x0B, 4096); s[0x0D] = 1; s[0x40] = 0x01; },
       kCategoryNtfsBoot},
      {"no record size (00)", [](Sector& s) { s[0x40] = 0x00; }, kNoCategory},
      {"the OEM name is not looked at", [](Sector& s) { std::memcpy(&s[3], "MSWIN4.1", 8); }, kCategoryNtfsBoot},
  });
}

TEST(BootSectorTests, FatBootSectorsFieldByField) {
  ExpectChanges(FixtureSector("fat16.img", 0), kCategoryFat16Boot, {
      {"one FAT", [](Sector& s) { s[0x10] = 1; }, kCategoryFat16Boot},
      {"three FATs", [](Sector& s) { s[0x10] = 3; }, kNoCategory},
      {"FAT12 type text", [](Sector& s) { s[0x3A] = '2'; s[0x39] = '1'; }, kCategoryFat16Boot},
      {"also FAT32 text at 0x52: FAT16 comes first",
       [](Sector& s) { std::memcpy(&s[0x52], "FAT32", 5); }, kCategoryFat16Boot},
      {"floppy media F0", [](Sector& s) { s[0x15] = 0xF0; }, kCategoryFat16Boot},
      {"media F7", [](Sector& s) { s[0x15] = 0xF7; }, kNoCategory},
      {"and the clusters-per-record byte of NTFS comes first",
       [](Sector& s) { s[0x40] = 0xF6; }, kCategoryNtfsBoot},
  });
  ExpectChanges(FixtureSector("fat32.img", 0), kCategoryFat32Boot, {
      {"no FAT", [](Sector& s) { s[0x10] = 0; }, kNoCategory},
      {"FAT32 text moved", [](Sector& s) { s[0x52] = 'X'; }, kNoCategory},
      {"2048-byte sectors", [](Sector& s) { Put16(s, 0x0B, 2048); }, kCategoryFat32Boot},
  });
  // The backup at sector 6 is the same sector.
  EXPECT_EQ(Classify(FixtureSector("fat32.img", 6)), kCategoryFat32Boot);
  // The FSInfo sector ends in 55 AA too, and is nothing.
  EXPECT_EQ(Classify(FixtureSector("fat32.img", 1)), kNoCategory);
}

TEST(BootSectorTests, ExfatBootSectorFieldByField) {
  ExpectChanges(FixtureSector("exfat.img", 0), kCategoryExfatBoot, {
      {"1024-byte sectors (shift 10)", [](Sector& s) { s[exfatboot::kSectorShift] = 10; }, kCategoryExfatBoot},
      {"4096-byte sectors (shift 12)", [](Sector& s) { s[exfatboot::kSectorShift] = 12; }, kCategoryExfatBoot},
      {"8192-byte sectors (shift 13)", [](Sector& s) { s[exfatboot::kSectorShift] = 13; }, kNoCategory},
      {"256-byte sectors (shift 8)", [](Sector& s) { s[exfatboot::kSectorShift] = 8; }, kNoCategory},
      {"4096-byte sectors of 32 MiB clusters", [](Sector& s) { s[exfatboot::kSectorShift] = 12; s[exfatboot::kClusterShift] = 13; },
       kCategoryExfatBoot},
      {"4096-byte sectors of 64 MiB clusters", [](Sector& s) { s[exfatboot::kSectorShift] = 12; s[exfatboot::kClusterShift] = 14; },
       kNoCategory},
      {"32 MiB clusters (shift 16)", [](Sector& s) { s[exfatboot::kClusterShift] = 16; }, kCategoryExfatBoot},
      {"64 MiB clusters (shift 17)", [](Sector& s) { s[exfatboot::kClusterShift] = 17; }, kNoCategory},
      {"name EXFAX", [](Sector& s) { s[7] = 'X'; }, kNoCategory},
      {"no jump", [](Sector& s) { s[0] = 0; s[2] = 0; }, kNoCategory},
  });
  EXPECT_EQ(Classify(FixtureSector("exfat.img", 12)), kCategoryExfatBoot) << "the backup boot region";
  EXPECT_EQ(Classify(FixtureSector("exfat.img", 1)), kNoCategory) << "an extended boot sector (55 AA as well)";
}

TEST(BootSectorTests, PartitionTablesEntryByEntry) {
  Sector mbr = FixtureSector("disk.img", 0);
  EXPECT_EQ(Classify(mbr, 0), kCategoryMbr);
  EXPECT_EQ(Classify(mbr, 1), kCategoryEbr) << "the same bytes anywhere else";
  // One entry alone, the others cleared.
  Sector one = mbr;
  std::fill(one.begin() + 0x1BE + 16, one.begin() + 0x1FE, std::uint8_t{0});
  ASSERT_EQ(Classify(one, 0), kCategoryMbr);
  auto entry = [&](void (*apply)(Sector&)) {
    Sector s = one;
    apply(s);
    return Classify(s, 0);
  };
  EXPECT_EQ(entry([](Sector& s) { s[0x1BE + 4] = 0x1C; }), kCategoryMbr) << "type 0x1C";
  EXPECT_EQ(entry([](Sector& s) { s[0x1BE + 4] = 0x1D; }), kNoCategory) << "type 0x1D";
  EXPECT_EQ(entry([](Sector& s) { s[0x1BE + 4] = 0x83; }), kNoCategory) << "a Linux partition";
  EXPECT_EQ(entry([](Sector& s) { Put32(s, 0x1BE + 8, 0); }), kNoCategory) << "start 0";
  EXPECT_EQ(entry([](Sector& s) { Put32(s, 0x1BE + 12, 0x4000); }), kCategoryMbr) << "16384 sectors";
  EXPECT_EQ(entry([](Sector& s) { Put32(s, 0x1BE + 12, 0x3FFF); }), kNoCategory) << "16383 sectors";
  EXPECT_EQ(entry([](Sector& s) { s[0x1BE] = 0x81; }), kNoCategory) << "boot indicator 0x81";
  EXPECT_EQ(entry([](Sector& s) { s[0x1BE] = 0x00; }), kCategoryMbr) << "boot indicator 0";
  EXPECT_EQ(entry([](Sector& s) { s[0x1FE] = 0; }), kNoCategory) << "no signature";
}

// The $MFT record of ntfs.img, at cluster 4.
Sector MftRecordSector() {
  Sector s = FixtureSector("ntfs.img", 32);
  EXPECT_TRUE(HasTag(ByteView(s), 0, "FILE"));
  return s;
}

TEST(StructureTests, MftRecordHeaderFieldByField) {
  ExpectChanges(MftRecordSector(), kCategoryFileRecord, {
      {"first attribute the attribute list", [](Sector& s) { Put32(s, 0x38, 0x20); }, kCategoryFileRecord},
      {"first attribute $DATA", [](Sector& s) { Put32(s, 0x38, 0x80); }, kCategoryFileRecord},
      {"an empty record (end marker first)", [](Sector& s) { Put32(s, 0x38, 0xFFFFFFFF); }, kCategoryFileRecord},
      {"first attribute $INDEX_ROOT", [](Sector& s) { Put32(s, 0x38, 0x90); }, kNoCategory},
      {"used size 1020", [](Sector& s) { Put32(s, 0x18, 1020); }, kNoCategory},
      {"used size 1024", [](Sector& s) { Put32(s, 0x18, 1024); }, kCategoryFileRecord},
      {"used size 1032", [](Sector& s) { Put32(s, 0x18, 1032); }, kNoCategory},
      {"4 KiB records", [](Sector& s) { Put32(s, 0x1C, 4096); }, kNoCategory},
      {"attributes at 0x30 (NTFS 1.2)", [](Sector& s) { Put16(s, 0x14, 0x30); }, kNoCategory},
      {"ending in 55 AA: a boot-sector candidate, never a record",
       [](Sector& s) { s[510] = 0x55; s[511] = 0xAA; }, kNoCategory},
      // A FILE sector that fails is not tried as anything else.
      {"FILE with the dot entries of a FAT directory too",
       [](Sector& s) { Put32(s, 0x14, 0); std::memcpy(&s[0x20], "..  ", 4); }, kNoCategory},
  });
}

TEST(StructureTests, DirectorySectorsOfTheThreeFileSystems) {
  // An INDX block of ntfs.img's root directory, found by the fixture scan.
  auto ntfsFindings = test::ScanFile(test::FixturePath("ntfs.img"), 24000, 1000);
  Sector indx;
  for (const ScanFinding& f : ntfsFindings) {
    if (f.category == kCategoryIndexRecord) indx = FixtureSector("ntfs.img", f.sector);
  }
  ASSERT_FALSE(indx.empty());
  ExpectChanges(indx, kCategoryIndexRecord, {
      {"ending in 55 AA", [](Sector& s) { s[510] = 0x55; s[511] = 0xAA; }, kNoCategory},
      {"INDY", [](Sector& s) { s[3] = 'Y'; }, kNoCategory},
  });

  Sector dots(512, 0);
  std::memcpy(&dots[0], ".          ", 11);
  std::memcpy(&dots[32], "..         ", 11);
  ExpectChanges(dots, kCategoryFatDir, {
      {"'..' missing", [](Sector& s) { s[33] = ' '; }, kNoCategory},
      {"ending in 55 AA", [](Sector& s) { s[510] = 0x55; s[511] = 0xAA; }, kNoCategory},
      {"INDX further in: the dots decide",
       [](Sector& s) { std::memcpy(&s[0x40], "INDX", 4); }, kCategoryFatDir},
  });

  // The FAT16 root of fat16.img: mkfs.vfat dates its label entry, which the
  // label test refuses; a label with only a write time, as Windows writes
  // it, makes the sector a root directory.
  Sector boot = FixtureSector("fat16.img", 0);
  Sector64 rootSector = ReadLe16(ByteView(boot), fatboot::kReservedSectors) +
                        Sector64{boot[fatboot::kFatCount]} * ReadLe16(ByteView(boot), fatboot::kFatSize16);
  Sector root = FixtureSector("fat16.img", rootSector);
  ASSERT_EQ(root[11], 0x08) << "the label entry";
  EXPECT_EQ(Classify(root), kNoCategory) << "a dated label";
  Sector undated = root;
  std::fill(undated.begin() + 13, undated.begin() + 20, std::uint8_t{0});
  ExpectChanges(undated, kCategoryFatRootDir, {
      {"a size in the label entry", [](Sector& s) { s[0x1C] = 1; }, kNoCategory},
      {"a cluster in the label entry", [](Sector& s) { s[0x1A] = 2; }, kNoCategory},
      {"a directory, not a label", [](Sector& s) { s[11] = 0x10; }, kNoCategory},
  });

  // exFAT: the root's first sector, and a sector of many/'s entry sets.
  Sector eboot = FixtureSector("exfat.img", 0);
  ExfatGeometry g = ExfatGeometryOf(ByteView(eboot), 0);
  Sector eroot = FixtureSector("exfat.img", g.ClusterSector(g.rootCluster));
  ExpectChanges(eroot, kCategoryExfatRootDir, {
      {"no up-case entry", [](Sector& s) { s[64] = 0x85; }, kNoCategory},
      {"label deleted (03)", [](Sector& s) { s[0] = 0x03; }, kCategoryExfatRootDir},
      {"a label of 16 characters", [](Sector& s) { s[1] = 16; }, kNoCategory},
  });
  auto exfatFindings = test::ScanFile(test::FixturePath("exfat.img"), 0, 65536);
  Sector sets;
  for (const ScanFinding& f : exfatFindings) {
    if (f.category == kCategoryExfatDir && sets.empty()) {
      Sector s = FixtureSector("exfat.img", f.sector);
      if (s[0] == exfatentry::kFile) sets = s;
    }
  }
  ASSERT_FALSE(sets.empty());
  ExpectChanges(sets, kCategoryExfatDir, {
      {"every set deleted", [](Sector& s) { for (std::size_t i = 0; i < 512; i += 32) s[i] &= 0x7F; },
       kCategoryExfatDir},
      {"an unknown entry type first", [](Sector& s) { s[0] = 0xA0; }, kNoCategory},
      {"a name before its stream", [](Sector& s) { s[32] = 0xC1; }, kNoCategory},
  });
}

TEST(StructureTests, ShortViewsAndBlankSectorsAreNothing) {
  Sector mbr = FixtureSector("disk.img", 0);
  ScanCategory category = kCategoryDoc;
  EXPECT_FALSE(ClassifySector(ByteView(mbr).first(511), 0, category));
  EXPECT_EQ(category, kNoCategory);
  EXPECT_FALSE(IsNtfsBootSector(ByteView(FixtureSector("ntfs.img", 0)).first(510)));
  EXPECT_EQ(Classify(Sector(512, 0)), kNoCategory);
  EXPECT_EQ(Classify(Sector(512, 0xFF)), kNoCategory);
  // A hole of a sparse image is passed by unread: a block of zeros must
  // hold no finding of any kind, signatures included.
  std::vector<std::uint8_t> zeros(std::size_t{kScanBlockSectors} * kSectorSize, 0);
  std::vector<ScanFinding> findings;
  EXPECT_EQ(CollectBlockFindings(zeros, 0, DeviceHandle{}, findings), 0u);
}

}  // namespace
}  // namespace kestrum
