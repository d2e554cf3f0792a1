#include "fs/fat/fat_checks.h"

#include <gtest/gtest.h>

#include <cstring>

#include "base/text.h"
#include "platform/fault_injection.h"
#include "fat_test_support.h"
#include "support/run_state.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

test::Entry Label(const char* name11) {
  test::Entry e = test::ShortEntry(std::string_view(name11, 11), 0x08);
  WriteLe16(e, 22, test::DosTime(10, 0, 0));  // a label keeps its write time
  WriteLe16(e, 24, test::DosDate(2024, 5, 1));
  return e;
}

TEST(VolumeLabelEntry, AsciiAndGbkNamesPass) {
  EXPECT_TRUE(IsVolumeLabelEntry(Label("FAT32VOL   ")));
  EXPECT_TRUE(IsVolumeLabelEntry(Label("MY DISK 1~!")));
  EXPECT_TRUE(IsVolumeLabelEntry(Label("\xCA\xFD\xBE\xDD\xC5\xCC     ")));  // 数据盘 in GBK
  EXPECT_TRUE(IsVolumeLabelEntry(Label("ABCDEFGHI\xB0\xA1"))) << "a pair that ends on the last byte";
  EXPECT_TRUE(IsVolumeLabelEntry(Label("LINE\r\nTWO  ")));
  // Bounds of the pair range (read as a little-endian 16-bit value).
  EXPECT_TRUE(IsVolumeLabelEntry(Label("\xA1\xA1         ")));
  EXPECT_TRUE(IsVolumeLabelEntry(Label("\xFE\xFE         ")));
  EXPECT_FALSE(IsVolumeLabelEntry(Label("\xA0\xA1         ")));  // 0xA1A0
  EXPECT_FALSE(IsVolumeLabelEntry(Label("\xFF\xFE         ")));  // 0xFEFF
}

TEST(VolumeLabelEntry, TheLastNameByteMayBeAnyNonZeroByte) {
  EXPECT_TRUE(IsVolumeLabelEntry(Label("ABCDEFGHIJ\x80")));
  EXPECT_TRUE(IsVolumeLabelEntry(Label("ABCDEFGHIJ\xFF")));
  // The same byte at position 9 must start a pair, and 0x41FF lies below the range.
  EXPECT_FALSE(IsVolumeLabelEntry(Label("ABCDEFGHI\xFF" "A")));
  EXPECT_FALSE(IsVolumeLabelEntry(Label("ABCDEFGHIJ\0")));
}

TEST(VolumeLabelEntry, ZeroBytesAttributesAndFieldsFail) {
  EXPECT_FALSE(IsVolumeLabelEntry(Label("AB\0DEFGHIJK")));
  EXPECT_FALSE(IsVolumeLabelEntry(Label("\x01" "BCDEFGHIJK")));
  test::Entry good = Label("FAT32VOL   ");
  ASSERT_TRUE(IsVolumeLabelEntry(good));
  for (std::uint8_t attribute : {0x00, 0x28, 0x0F, 0x18, 0x09}) {
    test::Entry e = good;
    e[11] = attribute;
    EXPECT_FALSE(IsVolumeLabelEntry(e)) << "attribute " << int(attribute);
  }
  for (std::size_t offset : {13u, 14u, 16u, 18u, 20u, 21u, 26u, 27u, 28u, 31u}) {
    test::Entry e = good;
    e[offset] = 1;
    EXPECT_FALSE(IsVolumeLabelEntry(e)) << "byte " << offset;
  }
  for (std::size_t offset : {12u, 22u, 23u, 24u, 25u}) {
    test::Entry e = good;
    e[offset] = 0x5A;
    EXPECT_TRUE(IsVolumeLabelEntry(e)) << "byte " << offset << " is not checked";
  }
  EXPECT_FALSE(IsVolumeLabelEntry(ByteView(good).first(31)));
}

// A FAT sector whose entries 2 … count+1 are plausible and the rest are not.
std::vector<std::uint8_t> Fat32Sector(int plausible) {
  std::vector<std::uint8_t> s(512);
  for (std::uint32_t k = 2; k < 128; ++k) {
    std::uint32_t v = 0x00ABCDEF;  // points somewhere far: implausible here
    int n = static_cast<int>(k) - 2;
    if (n < plausible) v = (n % 3 == 0) ? 0 : (n % 3 == 1) ? k + 1 : 0x0FFFFFFF;
    WriteLe32(s, k * 4, v);
  }
  return s;
}

std::vector<std::uint8_t> Fat16Sector(int plausible) {
  std::vector<std::uint8_t> s(512);
  for (std::uint32_t k = 2; k < 256; ++k) {
    int n = static_cast<int>(k) - 2;
    WriteLe16(s, k * 2, n < plausible ? static_cast<std::uint16_t>(n % 2 ? 0 : k + 1) : 0x1234);
  }
  return s;
}

TEST(FatSectorPlausibility, Thresholds) {
  EXPECT_TRUE(IsPlausibleFat32Sector(Fat32Sector(97)));
  EXPECT_FALSE(IsPlausibleFat32Sector(Fat32Sector(96)));
  EXPECT_TRUE(IsPlausibleFat32Sector(Fat32Sector(126)));
  EXPECT_TRUE(IsPlausibleFat16Sector(Fat16Sector(193)));
  EXPECT_FALSE(IsPlausibleFat16Sector(Fat16Sector(192)));
  // Entries 0 and 1 do not count, whatever they hold.
  auto s = Fat16Sector(192);
  WriteLe16(s, 0, 0);
  WriteLe16(s, 2, 0);
  EXPECT_FALSE(IsPlausibleFat16Sector(s));
  // A FAT of one-cluster files: every entry marks the end of its chain.
  auto ends = Fat16Sector(0);
  for (std::uint32_t k = 2; k < 256; ++k) WriteLe16(ends, k * 2, 0xFFFF);
  EXPECT_TRUE(IsPlausibleFat16Sector(ends));
  for (std::uint32_t k = 2; k < 64; ++k) WriteLe16(ends, k * 2, 0x1234);
  EXPECT_FALSE(IsPlausibleFat16Sector(ends));
  EXPECT_FALSE(IsPlausibleFat32Sector(std::vector<std::uint8_t>(511)));
  EXPECT_FALSE(IsPlausibleFat16Sector(std::vector<std::uint8_t>(100)));
  EXPECT_TRUE(IsPlausibleFat32Sector(std::vector<std::uint8_t>(512))) << "an empty FAT sector is free clusters";
}

class CheckFat : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    test::PrepareRun();
    testing::ClearReadFaults();
  }
  void TearDown() override { testing::ClearReadFaults(); }

  bool Check(test::SyntheticFat& volume) {
    std::string path = dir_.File("check.img");
    volume.Write(path);
    DeviceHandle device;
    EXPECT_TRUE(OpenDevice(FromUtf8(path), device));
    bool accepted = CheckFatAt(device, volume.BootSector(), test::SyntheticFat::kStart);
    CloseDevice(device);
    return accepted;
  }

  test::TempDir dir_;
};

TEST_P(CheckFat, AcceptsABootSectorFollowedByItsFat) {
  test::SyntheticFat volume(GetParam());
  volume.Chain({3, 4, 5});
  EXPECT_TRUE(Check(volume));
}

TEST_P(CheckFat, FallsBackToTheSecondCopy) {
  const bool fat32 = GetParam();
  test::SyntheticFat volume(fat32);
  // Spoil the media entry of the first copy only.
  volume.image.Put32(volume.FirstFatSector(), 0, 0x12345678);
  EXPECT_TRUE(Check(volume));
  // With one FAT there is no second copy to look at.
  volume.BootSector()[16] = 1;
  EXPECT_FALSE(Check(volume));
  volume.BootSector()[16] = 2;
  // Both copies spoilt.
  volume.image.Put32(volume.FirstFatSector() + volume.FatSectors(), 0, 0x12345678);
  EXPECT_FALSE(Check(volume));
}

TEST_P(CheckFat, RejectsTheWrongWidthAndImplausibleContent) {
  const bool fat32 = GetParam();
  test::SyntheticFat volume(fat32);
  // The width follows the root entry count: a FAT16 table read as FAT32
  // starts with 0xFFFFFFF8, not the FAT32 media entry.
  if (!fat32) {
    WriteLe16(volume.BootSector(), 17, 0);
    EXPECT_FALSE(Check(volume));
    WriteLe16(volume.BootSector(), 17, 32);
  }
  ASSERT_TRUE(Check(volume));
  // Right media entry, then garbage in both copies.
  for (std::uint32_t copy = 0; copy < 2; ++copy) {
    std::uint64_t sector = volume.FirstFatSector() + copy * volume.FatSectors();
    for (std::size_t off = 8; off < 512; off += 4) volume.image.Put32(sector, off, 0x7A7A7A7A);
  }
  EXPECT_FALSE(Check(volume));
}

TEST_P(CheckFat, AnUnreadableFatIsNoFat) {
  test::SyntheticFat volume(GetParam());
  std::string path = dir_.File("check.img");
  volume.Write(path);
  testing::InjectReadFault(path, volume.FirstFatSector(), 1);
  testing::InjectReadFault(path, volume.FirstFatSector() + volume.FatSectors(), 1);
  DeviceHandle device;
  ASSERT_TRUE(OpenDevice(FromUtf8(path), device));
  EXPECT_FALSE(CheckFatAt(device, volume.BootSector(), test::SyntheticFat::kStart));
  testing::ClearReadFaults();
  testing::InjectReadFault(path, volume.FirstFatSector(), 1);
  EXPECT_TRUE(CheckFatAt(device, volume.BootSector(), test::SyntheticFat::kStart));
  CloseDevice(device);
}

INSTANTIATE_TEST_SUITE_P(Widths, CheckFat, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Fat32" : "Fat16"; });

}  // namespace
}  // namespace kestrum
