// The repair's files: the history's byte layout, growth record by record,
// the files it must refuse (another program's, a cut one) without touching
// them; the found-partition file past 2^32 sectors, and its old form.

#include <gtest/gtest.h>

#include <tuple>

#include "base/text.h"
#include "repair/found_partition_file.h"
#include "repair/repair_history.h"
#include "support/temp_dir.h"

namespace kestrum::repair {
namespace {

// Pieces of one 512-byte sector, or of `bytes` where given.
struct Piece {
  Sector64 sector;
  std::uint8_t fill;
  std::size_t bytes = kSectorSize;
};

RebuildRecord Record(const char16_t* time, std::vector<Piece> pieces) {
  RebuildRecord r;
  r.time = time;
  for (const Piece& p : pieces) r.sectors.push_back({p.sector, std::vector<std::uint8_t>(p.bytes, p.fill)});
  return r;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

TEST(RepairHistory, NewFileThenOneRecordInTheFileLayout) {
  test::TempDir dir;
  const std::string path = dir.File("state/kestrum/FixPartTable.dat");
  RepairHistory history;
  ASSERT_TRUE(LoadHistory(path, history));  // created, with its folders
  EXPECT_TRUE(history.devices.empty());
  EXPECT_EQ(test::ReadWholeFile(path), Bytes({'V', 'R', 'N', '2', 0, 0, 0, 0}));

  // A 512-byte sector and a 4096-byte one past 2^32 sectors in one record.
  AddRebuildRecord(history, u"ab", Record(u"2026-12-09 04:10:00", {{0, 0x11}, {5000000000, 0x22, 4096}}));
  ASSERT_TRUE(SaveHistory(path, history));
  std::string bytes = test::ReadWholeFile(path);
  std::string expected = Bytes({'V', 'R', 'N', '2', 1, 0, 0, 0, 4, 0, 0, 0, 'a', 0, 'b', 0, 1, 0, 0, 0, 38, 0, 0, 0});
  for (char c : std::string("2026-12-09 04:10:00")) expected += Bytes({c, 0});
  expected += Bytes({2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0}) + std::string(512, '\x11');
  expected += Bytes({0x00, 0xF2, 0x05, 0x2A, 0x01, 0, 0, 0, 0, 0x10, 0, 0}) + std::string(4096, '\x22');
  EXPECT_EQ(bytes, expected);
  RepairHistory back;
  ASSERT_TRUE(LoadHistory(path, back));
  ASSERT_EQ(back.devices.size(), 1u);
  EXPECT_EQ(back.devices[0].records[0].sectors[1].sector, 5000000000u);
  EXPECT_EQ(back.devices[0].records[0].sectors[1].data, std::vector<std::uint8_t>(4096, 0x22));
}

// A history the build before 64-bit sector numbers wrote (two rebuilds of
// a disk with two FAT16 partitions, MBR at 0 and an EBR at 26561; see
// tests/data/old-formats): read as it was, and kept in the new form once
// saved.
TEST(RepairHistory, TheFormWrittenBeforeIsReadAndSavedInTheNewForm) {
  test::TempDir dir;
  const std::string path = dir.File("FixPartTable.dat");
  test::WriteWholeFile(path, test::ReadWholeFile(KESTRUM_TEST_DATA_DIR "/old-formats/old-history.dat"));
  RepairHistory old;
  ASSERT_TRUE(LoadHistory(path, old));
  ASSERT_EQ(old.devices.size(), 1u);
  EXPECT_EQ(old.devices[0].description, u"old-format-disk.img");
  const auto& records = old.devices[0].records;
  ASSERT_EQ(records.size(), 2u);
  for (const RebuildRecord& r : records) {
    ASSERT_EQ(r.sectors.size(), 2u);
    EXPECT_EQ(r.sectors[0].sector, 0u);
    EXPECT_EQ(r.sectors[1].sector, 26561u);
    for (const SavedSector& s : r.sectors) EXPECT_EQ(s.data.size(), kSectorSize);
  }
  // The first rebuild found a zeroed MBR and no EBR; the second the tables the first wrote.
  EXPECT_EQ(records[0].sectors[0].data, std::vector<std::uint8_t>(kSectorSize, 0));
  const ByteView mbr(records[1].sectors[0].data);
  EXPECT_EQ(ReadLe16(mbr, 510), 0xAA55);
  EXPECT_EQ(ReadLe8(mbr, 446 + 4), 0x06);
  EXPECT_EQ(ReadLe32(mbr, 446 + 8), 2048u);
  EXPECT_EQ(ReadLe32(ByteView(records[1].sectors[1].data), 446 + 8), 63u) << "the EBR's partition, 63 sectors on";

  ASSERT_TRUE(SaveHistory(path, old));
  EXPECT_EQ(test::ReadWholeFile(path).substr(0, 4), "VRN2");
  RepairHistory again;
  ASSERT_TRUE(LoadHistory(path, again));
  ASSERT_EQ(again.devices.size(), 1u);
  ASSERT_EQ(again.devices[0].records.size(), 2u);
  for (std::size_t k = 0; k < 2; ++k) {
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(again.devices[0].records[k].sectors[i].sector, records[k].sectors[i].sector);
      EXPECT_EQ(again.devices[0].records[k].sectors[i].data, records[k].sectors[i].data);
    }
  }
}

TEST(RepairHistory, AppendsUnderTheSameDiskAndAddsOtherDisksAfter) {
  test::TempDir dir;
  const std::string path = dir.File("FixPartTable.dat");
  const char16_t* times[] = {u"2026-12-09 01:00:00", u"2026-12-09 02:00:00", u"2026-12-09 03:00:00"};
  const char16_t* disks[] = {u"disk A", u"disk B", u"disk A"};
  for (int i = 0; i < 3; ++i) {
    RepairHistory history;
    ASSERT_TRUE(LoadHistory(path, history));
    AddRebuildRecord(history, disks[i], Record(times[i], {{0, static_cast<std::uint8_t>(i)}}));
    ASSERT_TRUE(SaveHistory(path, history));
  }
  RepairHistory history;
  ASSERT_TRUE(LoadHistory(path, history));
  ASSERT_EQ(history.devices.size(), 2u);
  EXPECT_EQ(history.devices[0].description, u"disk A");
  ASSERT_EQ(history.devices[0].records.size(), 2u);
  EXPECT_EQ(history.devices[0].records[1].time, times[2]);
  EXPECT_EQ(history.devices[0].records[1].sectors[0].data[0], 2);
  EXPECT_EQ(history.devices[1].description, u"disk B");

  // Pruning keeps what the undo left, and drops a disk with nothing left.
  DeviceHistory left = history.devices[0];
  left.records.resize(1);
  PruneHistory(history, left);
  EXPECT_EQ(history.devices[0].records.size(), 1u);
  left.records.clear();
  PruneHistory(history, left);
  ASSERT_EQ(history.devices.size(), 1u);
  EXPECT_EQ(history.devices[0].description, u"disk B");
}

TEST(RepairHistory, ForeignCutAndLockedFilesAreRefusedAndKept) {
  test::TempDir dir;
  const std::string path = dir.File("FixPartTable.dat");
  RepairHistory one;
  AddRebuildRecord(one, u"disk", Record(u"2026-12-09 01:00:00", {{0, 1}}));

  test::WriteWholeFile(path, "VRN9 somebody else's file");
  RepairHistory loaded;
  EXPECT_FALSE(LoadHistory(path, loaded));
  EXPECT_FALSE(SaveHistory(path, one));
  EXPECT_EQ(test::ReadWholeFile(path), "VRN9 somebody else's file");

  // Cut anywhere — inside a text, a count, a sector's contents, between
  // two records or two devices — the file is refused whole.
  RepairHistory several = one;
  AddRebuildRecord(several, u"disk", Record(u"2026-12-09 02:00:00", {{0, 2}, {63, 3}}));
  AddRebuildRecord(several, u"other disk", Record(u"2026-12-09 03:00:00", {{2048, 4}}));
  ASSERT_TRUE(SaveHistory(dir.File("several.dat"), several));
  const std::string whole = test::ReadWholeFile(dir.File("several.dat"));
  const std::vector<std::uint8_t> wholeBytes(whole.begin(), whole.end());
  ASSERT_TRUE(ParseHistory(wholeBytes, loaded));
  ASSERT_EQ(loaded.devices.size(), 2u);
  for (std::size_t cut = 0; cut < wholeBytes.size(); ++cut) {
    EXPECT_FALSE(ParseHistory(ByteView(wholeBytes.data(), cut), loaded)) << cut;
    EXPECT_TRUE(loaded.devices.empty()) << cut;
  }

  ASSERT_TRUE(SaveHistory(dir.File("good.dat"), one));
  std::string good = test::ReadWholeFile(dir.File("good.dat"));
  std::vector<std::uint8_t> bytes(good.begin(), good.end());
  bytes.push_back(0xEE);  // trailing bytes are ignored
  EXPECT_TRUE(ParseHistory(bytes, loaded));
  // A piece that is no whole number of 512-byte units, or none at all.
  const std::size_t pieceBytes = bytes.size() - 1 - kSectorSize - 4;
  for (std::uint32_t wrong : {511u, 0u, 513u}) {
    std::vector<std::uint8_t> damaged = bytes;
    WriteLe32(damaged, pieceBytes, wrong);
    EXPECT_FALSE(ParseHistory(damaged, loaded)) << wrong;
  }
  bytes[4] = 0xFF;  // a device count no file could hold
  EXPECT_FALSE(ParseHistory(bytes, loaded));

  // Another writer holds the history: nothing is saved.
  HistoryFile held;
  ASSERT_TRUE(OpenHistoryFile(dir.File("good.dat"), held));
  EXPECT_FALSE(SaveHistory(dir.File("good.dat"), RepairHistory{}));
  EXPECT_FALSE(AddRebuildRecord(dir.File("good.dat"), u"disk", Record(u"2026-12-09 04:00:00", {{0, 4}})));
  EXPECT_EQ(test::ReadWholeFile(dir.File("good.dat")), good);
  // The holder itself loads, changes and saves under its one lock.
  ASSERT_TRUE(LoadHistory(held, loaded));
  AddRebuildRecord(loaded, u"disk", Record(u"2026-12-09 05:00:00", {{0, 5}}));
  ASSERT_TRUE(SaveHistory(held, loaded));
  held.Close();
  ASSERT_TRUE(LoadHistory(dir.File("good.dat"), loaded));
  ASSERT_EQ(loaded.devices.size(), 1u);
  EXPECT_EQ(loaded.devices[0].records.size(), 2u);
}

TEST(FoundPartitionFile, KeepsSectorsPast2Pow32AndRefusesTheOldForm) {
  FoundPartitionFile file;
  file.diskSectors = 6442450944;  // 3 TiB
  file.diskPath = u"/dev/sdq";
  file.diskDescription = u"WD 3TB";
  FoundPartition far;
  far.startSector = 5000000000;
  far.sectorCount = 196608;
  far.endSector = far.startSector + far.sectorCount - 1;
  far.kind = kCategoryNtfsBoot;
  far.dataState = kDataValid;
  far.bootSector[3] = 'N';
  file.found = {far};
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(SerializeFoundPartitions(file, bytes));
  FoundPartitionFile back;
  ASSERT_TRUE(ParseFoundPartitions(bytes, back));
  EXPECT_EQ(back.diskSectors, file.diskSectors);
  ASSERT_EQ(back.found.size(), 1u);
  EXPECT_EQ(back.found[0].startSector, 5000000000u);
  EXPECT_EQ(back.found[0].endSector, far.endSector);
  EXPECT_EQ(back.found[0].bootSector, far.bootSector);
  // An end that does not follow from start and count is damage.
  WriteLe64(bytes, bytes.size() - kSectorSize - 8 - 8 - 8, far.endSector + 1);
  EXPECT_FALSE(ParseFoundPartitions(bytes, back));
  // So is a boot sector found past the disk's end; one whose size runs past
  // it (a damaged or cut volume) is what a scan finds, and kept.
  for (auto [start, count, kept] : {std::tuple{file.diskSectors, Sector64{1}, false},
                                    std::tuple{file.diskSectors - 1, Sector64{196608}, true}}) {
    file.found[0].startSector = start;
    file.found[0].sectorCount = count;
    file.found[0].endSector = start + count - 1;
    ASSERT_TRUE(SerializeFoundPartitions(file, bytes));
    EXPECT_EQ(ParseFoundPartitions(bytes, back), kept) << start;
  }

  test::TempDir dir;
  std::u16string error;
  EXPECT_FALSE(LoadFoundPartitions(KESTRUM_TEST_DATA_DIR "/old-formats/old-found-partitions.kfp", back, error));
  EXPECT_NE(ToUtf8(error).find("请重新扫描"), std::string::npos) << ToUtf8(error);
  EXPECT_TRUE(back.found.empty());
  EXPECT_FALSE(LoadFoundPartitions(dir.File("missing.kfp"), back, error));
  EXPECT_NE(ToUtf8(error).find("无法读取"), std::string::npos) << ToUtf8(error);
}

}  // namespace
}  // namespace kestrum::repair
