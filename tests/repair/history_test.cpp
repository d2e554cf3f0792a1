// The repair history file: its byte layout, growth record by record, and the
// files it must refuse (another program's, a cut one) without touching them.

#include <gtest/gtest.h>

#include "repair/repair_history.h"
#include "support/temp_dir.h"

namespace kestrum::repair {
namespace {

RebuildRecord Record(const char16_t* time, std::vector<std::pair<Sector32, std::uint8_t>> sectors) {
  RebuildRecord r;
  r.time = time;
  for (auto [sector, fill] : sectors) {
    SavedSector s;
    s.sector = sector;
    s.data.fill(fill);
    r.sectors.push_back(s);
  }
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
  EXPECT_EQ(test::ReadWholeFile(path), Bytes({'V', 'R', 'N', '1', 0, 0, 0, 0}));

  AddRebuildRecord(history, u"ab", Record(u"2026-12-09 04:10:00", {{0, 0x11}, {4196289, 0x22}}));
  ASSERT_TRUE(SaveHistory(path, history));
  std::string bytes = test::ReadWholeFile(path);
  std::string expected = Bytes({'V', 'R', 'N', '1', 1, 0, 0, 0, 4, 0, 0, 0, 'a', 0, 'b', 0, 1, 0, 0, 0, 38, 0, 0, 0});
  for (char c : std::string("2026-12-09 04:10:00")) expected += Bytes({c, 0});
  expected += Bytes({2, 0, 0, 0, 0, 0, 0, 0}) + std::string(512, '\x11');
  expected += Bytes({0xC1, 0x07, 0x40, 0x00}) + std::string(512, '\x22');
  EXPECT_EQ(bytes, expected);
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

  test::WriteWholeFile(path, "VRN2 somebody else's file");
  RepairHistory loaded;
  EXPECT_FALSE(LoadHistory(path, loaded));
  EXPECT_FALSE(SaveHistory(path, one));
  EXPECT_EQ(test::ReadWholeFile(path), "VRN2 somebody else's file");

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
  bytes[4] = 0xFF;  // a device count no file could hold
  EXPECT_FALSE(ParseHistory(bytes, loaded));

  // Another writer holds the file: nothing is saved.
  HistoryFile held;
  ASSERT_TRUE(OpenHistoryFile(dir.File("good.dat"), held));
  EXPECT_FALSE(SaveHistory(dir.File("good.dat"), RepairHistory{}));
  held.Close();
  EXPECT_EQ(test::ReadWholeFile(dir.File("good.dat")), good);
}

}  // namespace
}  // namespace kestrum::repair
