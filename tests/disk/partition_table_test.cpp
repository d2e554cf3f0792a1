#include "disk/partition_table.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "support/sector_image.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

void PutEntry(test::SectorImage& image, std::uint64_t sector, int slot, std::uint8_t type,
              std::uint32_t start, std::uint32_t count, bool active = false) {
  std::size_t at = mbr::kFirstEntry + static_cast<std::size_t>(slot) * mbr::kEntrySize;
  image.Put8(sector, at + mbr::kBootIndicator, active ? mbr::kActive : 0);
  image.Put8(sector, at + mbr::kType, type);
  image.Put32(sector, at + mbr::kStartLba, start);
  image.Put32(sector, at + mbr::kSectorCount, count);
  image.Put16(sector, mbr::kSignature, 0xAA55);
}

std::vector<PartitionEntry> ReadTable(const test::SectorImage& image, bool* found = nullptr) {
  test::TempDir dir;
  image.WriteTo(dir.File("disk.img"));
  DeviceHandle disk;
  EXPECT_TRUE(OpenDevice(FromUtf8(dir.File("disk.img")), disk));
  std::vector<PartitionEntry> entries;
  bool ok = ReadPartitionTable(disk, entries);
  if (found) *found = ok;
  CloseDevice(disk);
  return entries;
}

TEST(PartitionTable, PrimariesAndTheLogicalsOfTheEbrChain) {
  test::SectorImage image(200000);
  PutEntry(image, 0, 0, 0x07, 2048, 40000, true);
  PutEntry(image, 0, 1, 0x0C, 42048, 40000);
  PutEntry(image, 0, 2, 0x05, 90000, 100000);
  // EBR 1 at the start of the extended partition; EBR 2 further in.
  PutEntry(image, 90000, 0, 0x06, 63, 20000);
  PutEntry(image, 90000, 1, 0x05, 30000, 50000);
  PutEntry(image, 120000, 0, 0x07, 63, 40000);
  auto entries = ReadTable(image);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].number, 1);
  EXPECT_TRUE(entries[0].active);
  EXPECT_EQ(entries[0].startSector, 2048u);
  EXPECT_EQ(entries[1].type, 0x0C);
  EXPECT_EQ(entries[2].number, 5);
  EXPECT_EQ(entries[2].startSector, 90063u) << "logical starts are relative to their EBR";
  EXPECT_EQ(entries[2].type, 0x06);
  EXPECT_EQ(entries[3].number, 6);
  EXPECT_EQ(entries[3].startSector, 120063u) << "next-EBR links are relative to the extended start";
  EXPECT_EQ(entries[3].sectorCount, 40000u);
}

TEST(PartitionTable, EveryDataEntryOfAnEbrAndALinkInAnySlot) {
  test::SectorImage image(300000);
  PutEntry(image, 0, 0, 0x0F, 1000, 290000);
  // Two logicals in slots 0 and 2, the link in slot 3; then the link first.
  PutEntry(image, 1000, 0, 0x07, 63, 1000);
  PutEntry(image, 1000, 2, 0x0B, 2000, 1000);
  PutEntry(image, 1000, 3, 0x05, 9000, 100000);
  PutEntry(image, 10000, 0, 0x05, 50000, 100000);
  PutEntry(image, 10000, 1, 0x06, 63, 2000);
  PutEntry(image, 51000, 1, 0x07, 63, 3000);
  auto entries = ReadTable(image);
  std::vector<std::pair<int, std::uint64_t>> got;
  for (const auto& e : entries) got.emplace_back(e.number, e.startSector);
  EXPECT_EQ(got, (std::vector<std::pair<int, std::uint64_t>>{{5, 1063}, {6, 3000}, {7, 10063}, {8, 51063}}));
}

TEST(PartitionTable, AnEbrChainThatLoopsEnds) {
  test::SectorImage image(100000);
  PutEntry(image, 0, 0, 0x0F, 1000, 90000);
  PutEntry(image, 1000, 0, 0x07, 63, 100);
  PutEntry(image, 1000, 1, 0x05, 5000, 100);
  PutEntry(image, 6000, 0, 0x07, 63, 100);
  PutEntry(image, 6000, 1, 0x05, 5000, 100);  // links back to itself
  auto entries = ReadTable(image);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].startSector, 1063u);
  EXPECT_EQ(entries[1].startSector, 6063u);
}

TEST(PartitionTable, ASectorWithoutATableIsNotOne) {
  test::SectorImage image(100);
  bool found = true;
  ReadTable(image, &found);
  EXPECT_FALSE(found);
  test::SectorImage signedEmpty(100);
  signedEmpty.Put16(0, mbr::kSignature, 0xAA55);
  ReadTable(signedEmpty, &found);
  EXPECT_FALSE(found) << "a signature alone is no table";
}

TEST(PartitionTable, GptBehindAProtectiveMbr) {
  test::SectorImage image(10000);
  PutEntry(image, 0, 0, mbr::kTypeGptProtective, 1, 9999);
  image.PutText(1, 0, "EFI PART");
  image.Put64(1, gpt::kEntriesLba, 2);
  image.Put32(1, gpt::kEntryCount, 128);
  image.Put32(1, gpt::kEntrySize, 128);
  // Entry 1 in sector 2; entry 6 (index 5) in sector 3; the rest unused.
  image.Put8(2, gpt::kEntryTypeGuid, 0xA2);
  image.Put64(2, gpt::kEntryFirstLba, 2048);
  image.Put64(2, gpt::kEntryLastLba, 4095);
  image.Put8(3, 128 + gpt::kEntryTypeGuid, 0x11);
  image.Put64(3, 128 + gpt::kEntryFirstLba, 5000);
  image.Put64(3, 128 + gpt::kEntryLastLba, 5999);
  auto entries = ReadTable(image);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].number, 1);
  EXPECT_EQ(entries[0].startSector, 2048u);
  EXPECT_EQ(entries[0].sectorCount, 2048u);
  EXPECT_EQ(entries[1].number, 6);
  EXPECT_EQ(entries[1].startSector, 5000u);
}

TEST(PartitionTable, AGptHeaderWithAHostileEntrySizeIsRejected) {
  test::SectorImage image(100);
  PutEntry(image, 0, 0, mbr::kTypeGptProtective, 1, 99);
  image.PutText(1, 0, "EFI PART");
  image.Put64(1, gpt::kEntriesLba, 2);
  image.Put32(1, gpt::kEntryCount, 0xFFFFFFFF);
  image.Put32(1, gpt::kEntrySize, 3);
  bool found = false;
  auto entries = ReadTable(image, &found);
  EXPECT_TRUE(found) << "falls back to the MBR itself";
  EXPECT_TRUE(entries.empty()) << "the protective entry is no volume";
}

}  // namespace
}  // namespace kestrum
