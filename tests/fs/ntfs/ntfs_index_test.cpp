// Directory indexes, the boot-sector check of the deep scan, and the label,
// on index entries in memory and on volumes made byte by byte.

#include "fs/ntfs/ntfs_index.h"

#include <gtest/gtest.h>

#include "base/byte_order.h"
#include "base/text.h"
#include "platform/fault_injection.h"
#include "fs/ntfs/ntfs_reader.h"
#include "ntfs_builder.h"
#include "support/run_state.h"
#include "support/temp_dir.h"
#include "synthetic_volume.h"

namespace kestrum {
namespace {

using test::Bytes;
using test::EncodeRuns;
using test::RecordBuilder;
using test::SyntheticVolume;
using Records = std::vector<std::uint32_t>;

Records Collect(const Bytes& entries, std::size_t first = 0) {
  Records out;
  CollectIndexEntries(entries, first, out);
  return out;
}

TEST(CollectIndexEntries, TakesLongNamesUntilTheLastEntry) {
  const Bytes entries = test::EncodeIndexEntries(
      {{10, u"a", 1}, {11, u"B~1", 2}, {12, u"posix", 0}, {13, u"d", 3}, {14, u"", 1}});
  EXPECT_EQ(Collect(entries), (Records{10, 12, 13}));
  const std::size_t second = ReadLe16(entries, 8);

  Bytes subnode = entries;
  WriteLe16(subnode, 12, 1);  // has a sub-node: more entries still follow
  EXPECT_EQ(Collect(subnode), (Records{10, 12, 13}));

  Bytes last = entries;
  WriteLe16(last, 12, 2);
  EXPECT_EQ(Collect(last), Records{}) << "the first entry says it is the last";

  Bytes zeroLength = entries;
  WriteLe16(zeroLength, second + 8, 0);
  EXPECT_EQ(Collect(zeroLength), Records{10});

  Bytes tooLong = entries;
  WriteLe16(tooLong, second + 8, 0xFFF0);
  EXPECT_EQ(Collect(tooLong), Records{10}) << "an entry reaching past the buffer";

  EXPECT_EQ(Collect(entries, entries.size() + 100), Records{});
  EXPECT_EQ(Collect(Bytes(entries.begin(), entries.begin() + second + 20)), Records{10});
}

class NtfsIndexOnVolume : public ::testing::Test {
 protected:
  void SetUp() override {
    test::PrepareRun();
    testing::ClearReadFaults();
  }
  void TearDown() override { testing::ClearReadFaults(); }

  std::string Image() const { return dir_.File("ntfs.img"); }
  DeviceHandle Open() {
    DeviceHandle device;
    EXPECT_TRUE(OpenDevice(FromUtf8(Image()), device));
    return device;
  }

  test::TempDir dir_;
};

TEST_F(NtfsIndexOnVolume, CollectsTheRootAndTheFirstBlockOfEveryRun) {
  SyntheticVolume v;
  v.volume.PutBytesAtCluster(300, [] {
    Bytes b = test::EncodeIndxBlock({{40, u"x", 1}, {41, u"Y~1", 2}});
    return std::string(b.begin(), b.end());
  }());
  v.volume.PutBytesAtCluster(305, "not an index block");
  v.volume.PutBytesAtCluster(310, [] {
    Bytes b = test::EncodeIndxBlock({{42, u"z", 3}});
    return std::string(b.begin(), b.end());
  }());
  VolumeDescriptor volume = v.Write(Image());
  RecordBuilder folder(50, 3);
  folder.FileName(5, u"folder", 1)
      .IndexRoot({{30, u"docs", 1}, {31, u"A~1", 2}, {34, u"posix", 0}})
      .IndexAllocation(EncodeRuns({{300, 1}, {5, 1}, {5, 1}}));
  DeviceHandle device = Open();
  Records children{999};
  ASSERT_TRUE(CollectIndexChildren(folder.Build(), device, volume, children));
  EXPECT_EQ(children, (Records{30, 34, 40, 42}));

  // A block that cannot be read is passed over and counted: the blocks
  // after it still give their entries.
  testing::InjectReadFault(Image(), v.volume.ClusterSector(305) + 3, 1);
  std::uint32_t unreadable = 0;
  ASSERT_TRUE(CollectIndexChildren(folder.Build(), device, volume, children, &unreadable));
  EXPECT_EQ(children, (Records{30, 34, 40, 42}));
  EXPECT_EQ(unreadable, 1u);
  testing::ClearReadFaults();

  RecordBuilder noRoot(51, 3);
  noRoot.FileName(5, u"plain", 1).IndexAllocation(EncodeRuns({{300, 1}}));
  EXPECT_FALSE(CollectIndexChildren(noRoot.Build(), device, volume, children));
  EXPECT_TRUE(children.empty());

  RecordBuilder rootOnly(52, 3);
  rootOnly.FileName(5, u"small", 1).IndexRoot({{33, u"one", 1}});
  ASSERT_TRUE(CollectIndexChildren(rootOnly.Build(), device, volume, children));
  EXPECT_EQ(children, Records{33});
  CloseDevice(device);
}

// The synthetic volume with the system records and a root index of
// `rootEntries`: in the record when they fit, else in two INDX blocks.
SyntheticVolume WithRootIndex(const std::vector<test::TestIndexEntry>& rootEntries) {
  SyntheticVolume v;
  RecordBuilder logFile(2, 1);
  logFile.FileName(5, u"$LogFile", 3).NonResidentData(EncodeRuns({{100, 1}}), 4096);
  v.volume.PutRecord(2, logFile);
  RecordBuilder volumeRecord(3, 1);
  volumeRecord.FileName(5, u"$Volume", 3).VolumeName(u"数据盘 D");
  v.volume.PutRecord(3, volumeRecord);
  RecordBuilder root(5, 3);
  root.FileName(5, u".", 3);
  if (rootEntries.size() <= 6) {
    root.IndexRoot(rootEntries);
  } else {
    const std::size_t half = 40;
    std::vector<test::TestIndexEntry> first(rootEntries.begin(),
                                            rootEntries.begin() + std::min(half, rootEntries.size()));
    std::vector<test::TestIndexEntry> second(rootEntries.begin() + first.size(), rootEntries.end());
    Bytes a = test::EncodeIndxBlock(first);
    Bytes b = test::EncodeIndxBlock(second);
    v.volume.PutBytesAtCluster(400, std::string(a.begin(), a.end()));
    v.volume.PutBytesAtCluster(402, std::string(b.begin(), b.end()));
    root.IndexRoot({}).IndexAllocation(EncodeRuns({{400, 1}, {2, 1}}));
  }
  v.volume.PutRecord(5, root);
  return v;
}

const std::vector<test::TestIndexEntry> kSystemEntries = {
    {0, u"$MFT", 3}, {1, u"$MFTMirr", 3}, {2, u"$LogFile", 3}, {3, u"$Volume", 3}};

std::vector<test::TestIndexEntry> SystemAnd(std::vector<test::TestIndexEntry> more) {
  std::vector<test::TestIndexEntry> all = kSystemEntries;
  all.insert(all.end(), more.begin(), more.end());
  return all;
}

TEST_F(NtfsIndexOnVolume, BootSectorCheckWantsSystemAndUserRecords) {
  struct Case {
    const char* what;
    std::vector<test::TestIndexEntry> entries;
    bool expected;
  };
  std::vector<test::TestIndexEntry> manyEmpty;
  for (std::uint32_t n = 100; n < 150; ++n) manyEmpty.push_back({n, u"e" + FromUtf8(std::to_string(n)), 1});
  std::vector<test::TestIndexEntry> docsFirst = {{30, u"docs", 1}};
  docsFirst.insert(docsFirst.end(), manyEmpty.begin(), manyEmpty.end());
  std::vector<test::TestIndexEntry> docsLast = manyEmpty;
  docsLast.push_back({30, u"docs", 1});
  const Case cases[] = {
      {"system records and a folder", SystemAnd({{30, u"docs", 1}}), true},
      {"no user record", kSystemEntries, false},
      {"two system records", {{0, u"$MFT", 3}, {1, u"$MFTMirr", 3}, {30, u"docs", 1}}, false},
      {"a user entry naming an empty record", SystemAnd({{120, u"nothing", 1}}), false},
      {"the user record early among many", SystemAnd(docsFirst), true},
      {"the user record after the first 45", SystemAnd(docsLast), false},
  };
  DeviceHandle device;
  for (const Case& c : cases) {
    SyntheticVolume v = WithRootIndex(c.entries);
    VolumeDescriptor volume = v.Write(Image());
    device = Open();
    EXPECT_EQ(CheckNtfsBootSector(0, volume.bootSector, device), c.expected) << c.what;
    CloseDevice(device);
  }

  SyntheticVolume moved = WithRootIndex(SystemAnd({{30, u"docs", 1}}));
  VolumeDescriptor volume = moved.Write(Image());
  device = Open();
  EXPECT_FALSE(CheckNtfsBootSector(8, volume.bootSector, device)) << "the wrong start finds no MFT";
  EXPECT_FALSE(CheckNtfsBootSector(std::uint64_t{1} << 33, volume.bootSector, device));
  Bytes noClusters(volume.bootSector.begin(), volume.bootSector.end());
  noClusters[13] = 0;
  EXPECT_FALSE(CheckNtfsBootSector(0, noClusters, device));
  EXPECT_FALSE(CheckNtfsBootSector(0, ByteView(volume.bootSector).first(12), device))
      << "a cut boot sector";
  CloseDevice(device);
}

TEST_F(NtfsIndexOnVolume, TheLabelComesFromRecordThree) {
  SyntheticVolume v = WithRootIndex(kSystemEntries);
  VolumeDescriptor volume = v.Write(Image());
  DeviceHandle device = Open();
  volume.label = u"old";
  ASSERT_TRUE(ReadNtfsLabel(device, volume));
  EXPECT_EQ(volume.label, u"数据盘 D");
  CloseDevice(device);

  RecordBuilder cut(3, 1);
  cut.FileName(5, u"$Volume", 3).VolumeName(std::u16string(u"AB\0CD", 5));
  v.volume.PutRecord(3, cut);
  volume = v.Write(Image());
  device = Open();
  ASSERT_TRUE(ReadNtfsLabel(device, volume));
  EXPECT_EQ(volume.label, u"AB") << "a zero character ends the name";
  CloseDevice(device);

  RecordBuilder none(3, 1);
  none.FileName(5, u"$Volume", 3);
  v.volume.PutRecord(3, none);
  volume = v.Write(Image());
  volume.label = u"old";
  device = Open();
  EXPECT_FALSE(ReadNtfsLabel(device, volume));
  EXPECT_EQ(volume.label, u"");
  CloseDevice(device);

  v.volume.image().PutText(v.volume.MftSector(), 0, "BAAD");
  v.volume.image().PutText(v.volume.MirrorSector(), 0, "BAAD");
  volume = v.Write(Image());
  volume.label = u"old";
  device = Open();
  EXPECT_FALSE(ReadNtfsLabel(device, volume));
  EXPECT_EQ(volume.label, u"old") << "without an MFT the label is left alone";
  CloseDevice(device);
}

}  // namespace
}  // namespace kestrum
