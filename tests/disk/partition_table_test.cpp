#include "disk/partition_table.h"

#include <gtest/gtest.h>

#include <functional>

#include "base/text.h"
#include "discovery/table_notes.h"
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

// A GPT made by the builder, two basic-data partitions, written into the image.
void PutGpt(test::SectorImage& image) {
  GptBuildRequest request{image.sectors(), kSectorSize, {}, {}, {}};
  ASSERT_TRUE(NewRandomGuid(request.diskGuid));
  for (auto [first, last] : {std::pair<std::uint64_t, std::uint64_t>{2048, 4095}, {5000, 5999}}) {
    GptNewPartition p{first, last, {}, {}};
    ASSERT_TRUE(ParseGuid(gpt::kBasicDataType, p.type));
    ASSERT_TRUE(NewRandomGuid(p.unique));
    request.partitions.push_back(p);
  }
  std::vector<GptPiece> pieces;
  ASSERT_EQ(BuildGpt(request, pieces), GptBuildFault::kNone);
  for (const GptPiece& piece : pieces) image.PutAt(piece.lba * kSectorSize, piece.bytes.data(), piece.bytes.size());
}

// The listing's view of a GPT: the partitions of whichever copy holds, and
// what it has to tell.
TEST(PartitionTable, GptPartitionsComeFromTheCopyThatHoldsAndSaySo) {
  struct Case {
    const char* what;
    std::function<void(test::SectorImage&)> damage;
    std::vector<std::uint64_t> starts;
    GptRead read;
    std::vector<std::string> told;
  };
  auto zero = [](std::uint64_t sector) {
    return [sector](test::SectorImage& i) { i.PutBytes(sector, 0, std::string(512, '\0').data(), 512); };
  };
  const std::vector<Case> cases = {
      {"whole", [](test::SectorImage&) {}, {2048, 5000}, GptRead::kPrimary, {}},
      {"primary header zeroed", zero(1), {2048, 5000}, GptRead::kBackup,
       {"disk：主 GPT 已损坏（没有 GPT 签名），分区取自磁盘末尾的备份 GPT"}},
      {"primary array damaged", [](test::SectorImage& i) { i.Put8(2, 40, 0x01); }, {2048, 5000}, GptRead::kBackup,
       {"disk：主 GPT 已损坏（分区项数组 CRC32 校验失败），分区取自磁盘末尾的备份 GPT"}},
      {"protective MBR wiped", zero(0), {2048, 5000}, GptRead::kPrimary, {}},
      {"both headers zeroed", [&](test::SectorImage& i) { zero(1)(i); zero(9999)(i); }, {}, GptRead::kAbsent,
       {"disk：保护性 MBR 表明磁盘使用 GPT，但主 GPT 和备份 GPT 都没有找到，请用“恢复丢失的分区”查找"}},
      {"both headers' CRCs failing", [](test::SectorImage& i) { i.Put8(1, 60, 1); i.Put8(9999, 60, 1); }, {},
       GptRead::kDamaged,
       {"disk：GPT 已损坏（主 GPT：头部 CRC32 校验失败；备份 GPT：头部 CRC32 校验失败），无法从中读取分区，"
        "请用“恢复丢失的分区”查找"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::SectorImage image(10000);
    PutGpt(image);
    c.damage(image);
    test::TempDir dir;
    image.WriteTo(dir.File("disk.img"));
    DeviceHandle disk;
    ASSERT_TRUE(OpenDevice(FromUtf8(dir.File("disk.img")), disk));
    std::vector<PartitionEntry> entries;
    PartitionTableNotes notes;
    EXPECT_TRUE(ReadPartitionTable(disk, entries, &notes)) << "a GPT, or the protective MBR's table";
    CloseDevice(disk);
    std::vector<std::uint64_t> starts;
    for (const PartitionEntry& e : entries) starts.push_back(e.startSector);
    EXPECT_EQ(starts, c.starts) << "the protective entry is no volume";
    if (!entries.empty()) {
      EXPECT_EQ(entries.back().number, 2);
    }
    EXPECT_EQ(notes.gpt, c.read);
    std::vector<std::string> told;
    for (const std::u16string& line : TableNoteLines(notes, u"disk")) told.push_back(ToUtf8(line));
    EXPECT_EQ(told, c.told);
  }
}

}  // namespace
}  // namespace kestrum
