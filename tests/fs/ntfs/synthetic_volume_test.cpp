// ReadNtfsVolume and ExportNtfsFile on small volumes made byte by byte: the
// records the tree keeps and drops, the mirror, stopping, holes, failing
// reads, and hostile MFTs that must neither crash nor hang.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <set>

#include "run/worker_state.h"
#include "base/byte_order.h"
#include "base/text.h"
#include "platform/fault_injection.h"
#include "fs/ntfs/file_record.h"
#include "fs/ntfs/mft.h"
#include "fs/ntfs/ntfs_export.h"
#include "fs/ntfs/ntfs_index.h"
#include "fs/ntfs/ntfs_reader.h"
#include "fs/ntfs/run_list.h"
#include "fs/output_file.h"
#include "fs/tree/volume_set.h"
#include "ntfs_builder.h"
#include "support/run_state.h"
#include "support/temp_dir.h"
#include "synthetic_volume.h"
#include "support/tree_walk.h"
#include "support/tree_builder.h"

namespace kestrum {
namespace {

using test::Bytes;
using test::EncodeRuns;
using test::RecordBuilder;
using test::SyntheticVolume;

using PathSet = std::set<std::string>;

PathSet Keys(const std::map<std::string, std::uint32_t>& paths) {
  PathSet keys;
  for (const auto& [path, index] : paths) keys.insert(path);
  return keys;
}

class SyntheticNtfs : public ::testing::Test {
 protected:
  void SetUp() override {
    test::PrepareRun();
    testing::ClearReadFaults();
  }
  void TearDown() override {
    testing::ClearReadFaults();
    test::PrepareRun();
  }

  VolumeDescriptor Write(SyntheticVolume& v) { return v.Write(ImagePath()); }
  std::string ImagePath() const { return dir_.File("ntfs.img"); }

  static const NodeVector& Nodes(const VolumeDescriptor& volume) {
    return volume.readerState.nodes->nodes;
  }

  // Exports a node into a fresh file; the result and the bytes.
  bool Export(const VolumeDescriptor& volume, const FileNode& node, std::string& content,
              StatusMessage* statusOut = nullptr) {
    return ExportAfter("", volume, node, content, statusOut);
  }
  // The same into a file that already holds something, so that a failed copy
  // shows whether it cut the file back.
  bool ExportOverJunk(const VolumeDescriptor& volume, const FileNode& node, std::string& content) {
    return ExportAfter("junk from before", volume, node, content, nullptr);
  }
  bool ExportAfter(const std::string& before, const VolumeDescriptor& volume, const FileNode& node,
                   std::string& content, StatusMessage* statusOut) {
    std::string path = dir_.File("out.bin");
    OutputFile out;
    EXPECT_TRUE(out.Create(path));
    out.Write(before.data(), before.size());
    StatusMessage status;
    status.kind = StatusKind::kExport;  // as the export hands it over: posted while copying
    bool ok = ExportNtfsFile(volume, node, out, status);
    lastRecord_ = out.Record();
    out.Close();
    content = test::ReadWholeFile(path);
    if (statusOut) *statusOut = status;
    return ok;
  }

  std::int64_t MtimeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mtim.tv_sec;
  }

  test::TempDir dir_;
  CopyRecord lastRecord_;  // what the last export's reads met
};

TEST_F(SyntheticNtfs, KeepsNamedRecordsInTheSlotsOfTheirNumbers) {
  SyntheticVolume v(63);  // a partition that does not start at sector 0
  VolumeDescriptor volume = Write(v);
  ASSERT_TRUE(ReadNtfsVolume(volume));
  const auto& nodes = Nodes(volume);
  ASSERT_EQ(nodes.size(), SyntheticVolume::kRecords + 1u);
  EXPECT_EQ(nodes[5].name, u".");
  EXPECT_EQ(nodes.back().id, kLostFileId);
  EXPECT_EQ(nodes.back().type, kFolder);

  EXPECT_EQ(Keys(test::TreePaths(volume, kViewExistingFiles)),
            (PathSet{"docs", "docs/a.txt", "posix.txt", "sparse.bin", "LostFile",
                     "LostFile/orphan.txt"}));
  EXPECT_EQ(Keys(test::TreePaths(volume, kViewDeletedFiles)),
            (PathSet{"docs", "docs/old.bin", "trash", "trash/gone.txt", "LostFile"}));

  const FileNode& a = nodes[SyntheticVolume::kResident];
  EXPECT_EQ(a.id, SyntheticVolume::kResident);
  EXPECT_EQ(a.parentId, SyntheticVolume::kDocs);
  EXPECT_EQ(a.lastWriteTime, test::FileTimeOf(SyntheticVolume::kMtime + 1));
  EXPECT_EQ(a.size, 11u);
  const FileNode& old = nodes[SyntheticVolume::kDeleted];
  EXPECT_EQ(old.type, kDeletedFile);
  EXPECT_EQ(old.size, 8000u);
  EXPECT_EQ(old.residentData, 0);
  EXPECT_EQ(nodes[SyntheticVolume::kDocs].deletedMark, 1) << "a live folder above a deleted file";
  EXPECT_TRUE(nodes[SyntheticVolume::kDosOnly].name.empty());
  EXPECT_TRUE(nodes[SyntheticVolume::kDataFirst].name.empty());
  EXPECT_TRUE(nodes[SyntheticVolume::kMisnumbered].name.empty()) << "its own number says 9999";
  EXPECT_EQ(nodes[0].name, u"$MFT") << "system records are kept, never linked";
  EXPECT_TRUE(ChildrenOf(nodes, 0).empty());

  // The last parse status counts every kept record under its type.
  StatusMessage m;
  ASSERT_TRUE(TakeStatus(m));
  EXPECT_EQ(m.kind, StatusKind::kParse);
  EXPECT_EQ(m.parse.files, 6u);  // $MFT, $MFTMirr, a.txt, orphan.txt, posix.txt, sparse.bin
  EXPECT_EQ(m.parse.folders, 2u);
  EXPECT_EQ(m.parse.deletedFiles, 2u);
  EXPECT_EQ(m.parse.deletedFolders, 1u);
}

// Deleted files whose parent's record was taken by something else since:
// a file (60), and a folder whose sequence number moved on (62, now 9). A
// deleted folder one above the reference (64) is the same folder, deleted.
TEST_F(SyntheticNtfs, ADeletedFileWhoseParentRecordWasReusedIsLost) {
  SyntheticVolume v;
  const std::uint64_t t = test::FileTimeOf(SyntheticVolume::kMtime);
  v.volume.PutRecord(60, RecordBuilder(60, 1).Sequence(4).StandardInfo(t, t).FileName(5, u"new.txt").ResidentData("n"));
  v.volume.PutRecord(61, RecordBuilder(61, 0).StandardInfo(t, t).FileName(60, u"under-a-file.txt", 1, 3).ResidentData("a"));
  v.volume.PutRecord(62, RecordBuilder(62, 3).Sequence(9).StandardInfo(t, t).FileName(5, u"newdir"));
  v.volume.PutRecord(63, RecordBuilder(63, 0).StandardInfo(t, t).FileName(62, u"old-child.txt", 1, 3).ResidentData("b"));
  v.volume.PutRecord(64, RecordBuilder(64, 2).Sequence(3).StandardInfo(t, t).FileName(5, u"gone-dir", 1, 5));
  v.volume.PutRecord(65, RecordBuilder(65, 0).StandardInfo(t, t).FileName(64, u"kept.txt", 1, 2).ResidentData("c"));
  v.volume.PutRecord(66, RecordBuilder(66, 1).StandardInfo(t, t).FileName(5, u"live.txt", 1, 5).ResidentData("d"));
  VolumeDescriptor volume = Write(v);
  ASSERT_TRUE(ReadNtfsVolume(volume));
  PathSet deleted = Keys(test::TreePaths(volume, kViewDeletedFiles));
  for (const char* path : {"LostFile/under-a-file.txt", "LostFile/old-child.txt", "gone-dir/kept.txt"}) {
    EXPECT_TRUE(deleted.count(path)) << path;
  }
  EXPECT_FALSE(deleted.count("new.txt/under-a-file.txt"));
  EXPECT_FALSE(deleted.count("newdir/old-child.txt"));
  EXPECT_TRUE(Keys(test::TreePaths(volume, kViewExistingFiles)).count("live.txt"))
      << "the root the reader places has no sequence of its own";
}

TEST_F(SyntheticNtfs, RereadingGivesAFreshTreeAndLeavesSharedCopiesAlone) {
  SyntheticVolume v;
  VolumeDescriptor first = Write(v);
  ASSERT_TRUE(ReadNtfsVolume(first));
  VolumeDescriptor copy = first;  // shares the tree, as the VolumeSet's copy does
  ASSERT_TRUE(ReadNtfsVolume(copy));
  EXPECT_NE(copy.readerState.nodes.get(), first.readerState.nodes.get());
  EXPECT_EQ(Keys(test::TreePaths(first, kViewExistingFiles)),
            Keys(test::TreePaths(copy, kViewExistingFiles)));
  const std::vector<std::uint32_t> rootChildren = ChildrenOf(Nodes(first), 5).List();
  EXPECT_EQ(std::set<std::uint32_t>(rootChildren.begin(), rootChildren.end()).size(), rootChildren.size())
      << "the first tree was not linked a second time";
}

TEST_F(SyntheticNtfs, StoppingLeavesTheArrayUnlinked) {
  SyntheticVolume v;
  VolumeDescriptor volume = Write(v);
  RequestAbort();
  EXPECT_FALSE(ReadNtfsVolume(volume));
  ASSERT_TRUE(volume.readerState.nodes);
  const auto& nodes = Nodes(volume);
  EXPECT_EQ(nodes.size(), SyntheticVolume::kRecords + 1u);
  for (const FileNode& node : nodes) EXPECT_EQ(node.firstChild, kNoNode);
  EXPECT_NE(nodes.back().id, kLostFileId) << "no LostFile placed";
  // The stop is seen before the first chunk: no record was read.
  for (const FileNode& node : nodes) EXPECT_TRUE(node.name.empty());
  StatusMessage m;
  EXPECT_FALSE(TakeStatus(m) && m.kind == StatusKind::kParse);
}

TEST_F(SyntheticNtfs, TheMirrorGivesTheRunsWhenRecordZeroIsGone) {
  SyntheticVolume v;
  v.volume.image().PutText(v.volume.MftSector(), 0, "BAAD");
  VolumeDescriptor volume = Write(v);
  ASSERT_TRUE(ReadNtfsVolume(volume));
  EXPECT_TRUE(test::TreePaths(volume, kViewExistingFiles).count("docs/a.txt"));
}

TEST_F(SyntheticNtfs, NoMftNoTree) {
  {
    SyntheticVolume v;
    v.volume.image().PutText(v.volume.MftSector(), 0, "BAAD");
    v.volume.image().PutText(v.volume.MirrorSector(), 0, "BAAD");
    VolumeDescriptor volume = Write(v);
    EXPECT_FALSE(ReadNtfsVolume(volume));
    EXPECT_FALSE(volume.readerState.nodes) << "no node array without runs";
  }
  for (std::uint8_t spc : {0, 3, 12}) {
    SyntheticVolume v;
    v.volume.SetBootByte(13, spc);
    VolumeDescriptor volume = Write(v);
    EXPECT_FALSE(ReadNtfsVolume(volume)) << "sectors per cluster " << int(spc);
  }
  SyntheticVolume v;
  VolumeDescriptor volume = Write(v);
  volume.diskPath = u"/nonexistent/ntfs.img";
  EXPECT_FALSE(ReadNtfsVolume(volume));
}

// Record 0 and its mirror with the given MFT runs.
void SetMftRuns(SyntheticVolume& v, const Bytes& runs) {
  RecordBuilder mft(0, 1);
  mft.FileName(5, u"$MFT", 3).NonResidentData(runs, 1 << 20);
  v.volume.PutRecord(0, mft);
  v.volume.PutMirrorRecord(0, mft);
}

TEST_F(SyntheticNtfs, AHugeRunListIsBoundedByTheVolume) {
  const struct {
    const char* what;
    Bytes runs;
  } cases[] = {
      {"2^31 clusters", EncodeRuns({{16, 0x80000000ULL}})},
      {"a second run far off the device", EncodeRuns({{16, 64}, {0x7FFFFFF0, 0xFFFFFFFFULL}})},
      {"a run below the volume start", EncodeRuns({{16, 64}, {-1000000, 0x40000000ULL}})},
  };
  for (const auto& c : cases) {
    SyntheticVolume v;
    SetMftRuns(v, c.runs);
    VolumeDescriptor volume = Write(v);
    // How long this may take is the test's CTest TIMEOUT.
    ASSERT_TRUE(ReadNtfsVolume(volume)) << c.what;
    EXPECT_EQ(Nodes(volume).size(), SyntheticVolume::kSectors / 2 + 1) << c.what;
    EXPECT_TRUE(test::TreePaths(volume, kViewExistingFiles).count("docs/a.txt")) << c.what;
  }
  // A descriptor without a size and a boot sector claiming 2^32 sectors:
  // the image's end bounds the tree.
  {
    SyntheticVolume v;
    SetMftRuns(v, EncodeRuns({{16, 0x80000000ULL}}));
    v.volume.image().Put64(0, 0x28, 0xFFFFFFFFULL);
    VolumeDescriptor volume = Write(v);
    volume.sectorCount = 0;
    ASSERT_TRUE(ReadNtfsVolume(volume));
    EXPECT_EQ(Nodes(volume).size(), SyntheticVolume::kSectors / 2 + 1);
  }
  // An MFT wholly off the device: a tree with nothing in it.
  SyntheticVolume v;
  SetMftRuns(v, EncodeRuns({{0x1000000, 64}}));
  VolumeDescriptor volume = Write(v);
  ASSERT_TRUE(ReadNtfsVolume(volume));
  EXPECT_EQ(Keys(test::TreePaths(volume, kViewExistingFiles)), PathSet{"LostFile"});
}

TEST_F(SyntheticNtfs, AZeroedMftAndAHoleInTheMftReadNothing) {
  SyntheticVolume v;
  std::string zeros(SyntheticVolume::kMftClusters * 4096, '\0');
  v.volume.PutBytesAtCluster(16, zeros);  // record 0 included: only the mirror is left
  VolumeDescriptor volume = Write(v);
  ASSERT_TRUE(ReadNtfsVolume(volume));
  EXPECT_EQ(Keys(test::TreePaths(volume, kViewExistingFiles)), PathSet{"LostFile"});

  SyntheticVolume holey;
  SetMftRuns(holey, EncodeRuns({{16, 1}, {0, 63, true}}));
  VolumeDescriptor h = Write(holey);
  ASSERT_TRUE(ReadNtfsVolume(h));
  EXPECT_EQ(Nodes(h).size(), SyntheticVolume::kRecords + 1u) << "the hole counts as record places";
  EXPECT_EQ(Nodes(h)[1].name, u"$MFTMirr") << "records of the first cluster are read";
  EXPECT_TRUE(Nodes(h)[SyntheticVolume::kResident].name.empty()) << "the hole is not read";
}

// Records whose attributes point anywhere, on the device and in memory.
TEST_F(SyntheticNtfs, HostileRecordsNeitherCrashNorHang) {
  std::mt19937 random(20261208);
  SyntheticVolume v;
  for (std::uint32_t n = 50; n < SyntheticVolume::kRecords; ++n) {
    Bytes record(1024);
    for (auto& b : record) b = static_cast<std::uint8_t>(random());
    std::copy_n("FILE", 4, record.begin());
    WriteLe16(record, 0x14, static_cast<std::uint16_t>(0x38 + (random() % 4) * 8));
    WriteLe32(record, 0x2C, n);
    // A name that walks into the rest of the noise.
    std::size_t at = ReadLe16(record, 0x14);
    WriteLe32(record, at, 0x30);
    WriteLe32(record, at + 4, static_cast<std::uint32_t>(random() % 2 ? 0x68 : random()));
    record[at + 8] = 0;
    WriteLe16(record, at + 0x14, 0x18);
    v.volume.PutRawRecord(v.volume.MftSector() + 2ull * n, record);
  }
  VolumeDescriptor volume = Write(v);
  ASSERT_TRUE(ReadNtfsVolume(volume));
  EXPECT_TRUE(test::TreePaths(volume, kViewExistingFiles).count("docs/a.txt"));
}

TEST(NtfsParsers, SurviveMutatedRecords) {
  std::mt19937 random(42);
  RecordBuilder base(44, 3);
  base.StandardInfo(1, 2)
      .FileName(5, u"SHORT~1", 2)
      .FileName(5, u"a folder with a long name", 1)
      .NonResidentData(EncodeRuns({{100, 3}, {-20, 2}, {0, 4, true}, {7, 1}}), 30000)
      .IndexRoot({{60, u"child one", 1}, {61, u"child two", 3}})
      .IndexAllocation(EncodeRuns({{300, 1}}));
  const Bytes good = base.Build();
  VolumeDescriptor volume;
  volume.bootSector[13] = 8;
  volume.sectorCount = 1 << 20;
  for (int i = 0; i < 20000; ++i) {
    Bytes r = good;
    int flips = 1 + static_cast<int>(random() % 8);
    for (int k = 0; k < flips; ++k) {
      std::size_t at = random() % r.size();
      r[at] = (random() % 3 == 0) ? 0xFF : static_cast<std::uint8_t>(random());
    }
    FileNode node;
    if (ParseFileRecord(r, node, test::TestStrings())) {
      ASSERT_LE(node.data.size(), 1024u);
      if (node.residentData) {
        // The record it was parsed from still holds the value, whole.
        auto value = ResidentContent(r, node);
        ASSERT_TRUE(value);
        ASSERT_EQ(value->size(), node.size);
      } else {
        ASSERT_EQ(node.location, node.data.size());
      }
      ASSERT_LE(node.name.size(), 255u);
      std::vector<RunEntry> runs;
      if (DecodeRunList(node.data, runs)) ResolveRunSectors(runs, volume);
      ASSERT_LE(runs.size(), node.data.size() / 2);
    }
    for (std::uint32_t type : {0x10u, 0x30u, 0x80u, 0x90u, 0xA0u}) {
      auto a = FindAttribute(r, type);
      if (!a) continue;
      ASSERT_LE(a->offset + a->bytes.size(), r.size());
      if (auto value = ResidentValue(*a)) {
        std::vector<std::uint32_t> children;
        CollectIndexEntries(*value, 32, children);
        ASSERT_LE(children.size(), value->size() / 16);
      }
    }
    std::vector<RunEntry> mftRuns;
    DecodeMftRecordRuns(r, volume, mftRuns);
  }
}

TEST_F(SyntheticNtfs, ExportsResidentDeletedAndSparseContent) {
  SyntheticVolume v;
  VolumeDescriptor volume = Write(v);
  ASSERT_TRUE(ReadNtfsVolume(volume));
  const auto& nodes = Nodes(volume);
  std::string content;
  StatusMessage status;

  ASSERT_TRUE(Export(volume, nodes[SyntheticVolume::kResident], content, &status));
  EXPECT_EQ(content, "small text\n");
  EXPECT_EQ(status.exportStatus.bytesExported, 11u);
  EXPECT_EQ(MtimeOf(dir_.File("out.bin")), SyntheticVolume::kMtime + 1)
      << "resident files keep their modification time too";

  // Resident content is read from its record at export: a record another
  // file took since the listing (content of the same size) fails the copy
  // instead of giving other bytes.
  RecordBuilder reused(SyntheticVolume::kResident, 1);
  reused.Sequence(2).StandardInfo(1, 1).FileName(SyntheticVolume::kDocs, u"b.txt", 1).ResidentData("other text\n");
  v.volume.PutRecord(SyntheticVolume::kResident, reused);
  Write(v);
  EXPECT_FALSE(ExportOverJunk(volume, nodes[SyntheticVolume::kResident], content));
  EXPECT_EQ(content, "");
  EXPECT_FALSE(lastRecord_.readFailed);
  EXPECT_EQ(lastRecord_.bytesWritten, 0u);

  ASSERT_TRUE(Export(volume, nodes[SyntheticVolume::kDeleted], content));
  EXPECT_EQ(content, SyntheticVolume::DeletedContent());

  test::PrepareRun();
  ASSERT_TRUE(Export(volume, nodes[SyntheticVolume::kHoles], content, &status));
  EXPECT_EQ(content, SyntheticVolume::HolesContent()) << "holes are zeros, not the clusters behind them";
  EXPECT_EQ(status.exportStatus.currentFileCopied, SyntheticVolume::kHolesSize);
  EXPECT_EQ(status.exportStatus.bytesExported, SyntheticVolume::kHolesSize);
  EXPECT_EQ(MtimeOf(dir_.File("out.bin")), SyntheticVolume::kMtime);
  StatusMessage posted;
  ASSERT_TRUE(TakeStatus(posted));
  EXPECT_EQ(posted.kind, StatusKind::kExport);
  EXPECT_EQ(posted.exportStatus.currentFileCopied, SyntheticVolume::kHolesSize);
}

TEST_F(SyntheticNtfs, ExportWithoutARunListIsAnEmptyFailure) {
  SyntheticVolume v;
  VolumeDescriptor volume = Write(v);
  ASSERT_TRUE(ReadNtfsVolume(volume));
  FileNode node = Nodes(volume)[SyntheticVolume::kDeleted];
  std::string content;

  FileNode notKept = node;
  notKept.data = {};
  notKept.location = 0;
  EXPECT_FALSE(ExportOverJunk(volume, notKept, content));
  EXPECT_EQ(content, "");

  FileNode noRuns = node;
  const std::vector<std::uint8_t> zeros(node.data.size(), 0);
  noRuns.data = zeros;
  EXPECT_FALSE(ExportOverJunk(volume, noRuns, content));
  EXPECT_EQ(content, "");

  FileNode empty = notKept;
  empty.size = 0;
  EXPECT_TRUE(Export(volume, empty, content)) << "nothing to copy, nothing lost";
  EXPECT_EQ(content, "");

  VolumeDescriptor noClusters = volume;
  noClusters.bootSector[13] = 0;
  EXPECT_FALSE(ExportOverJunk(noClusters, node, content));
  EXPECT_EQ(content, "");
}

TEST_F(SyntheticNtfs, ExportGoesOnPastABadSectorAndFailsWholeOnAStopOrARunOffTheDevice) {
  SyntheticVolume v;
  VolumeDescriptor volume = Write(v);
  ASSERT_TRUE(ReadNtfsVolume(volume));
  const FileNode& node = Nodes(volume)[SyntheticVolume::kDeleted];
  std::string content;

  const std::uint64_t bad = v.volume.ClusterSector(SyntheticVolume::kDeletedCluster) + 9;
  testing::InjectReadFault(ImagePath(), bad, 1);
  test::PrepareRun();
  std::string copied;
  EXPECT_TRUE(Export(volume, node, copied));
  std::string withZeros = SyntheticVolume::DeletedContent().substr(0, node.size);
  std::fill_n(withZeros.begin() + 9 * 512, 512, '\0');
  EXPECT_EQ(copied, withZeros);
  testing::ClearReadFaults();

  RequestAbort();
  EXPECT_FALSE(ExportOverJunk(volume, node, content));
  EXPECT_EQ(content, "");
  test::PrepareRun();

  FileNode offDevice = node;
  const std::vector<std::uint8_t> offDeviceRuns = EncodeRuns({{5000000, 2}});
  offDevice.data = offDeviceRuns;
  offDevice.location = static_cast<std::uint32_t>(offDevice.data.size());
  EXPECT_FALSE(ExportOverJunk(volume, offDevice, content));
  EXPECT_EQ(content, "");

  // Slack after the last byte is not read: a bad sector there costs nothing.
  FileNode slack = node;
  slack.size = 4096 + 100;
  testing::InjectReadFault(ImagePath(), v.volume.ClusterSector(SyntheticVolume::kDeletedCluster) + 9, 1);
  EXPECT_TRUE(Export(volume, slack, content));
  EXPECT_EQ(content, SyntheticVolume::DeletedContent().substr(0, 4196));
  testing::ClearReadFaults();

  // A run list that ends before the size leaves the copy short.
  FileNode shortList = node;
  shortList.size = 3 * 4096;
  const std::vector<std::uint8_t> shortRuns = EncodeRuns({{SyntheticVolume::kDeletedCluster, 1}});
  shortList.data = shortRuns;
  shortList.location = static_cast<std::uint32_t>(shortList.data.size());
  EXPECT_TRUE(Export(volume, shortList, content));
  EXPECT_EQ(content, SyntheticVolume::DeletedContent().substr(0, 4096));
}

}  // namespace
}  // namespace kestrum
