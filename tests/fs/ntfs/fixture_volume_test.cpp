// The NTFS reader on volumes made by mkfs.ntfs and filled through ntfs-3g:
// ntfs.img, and partition 1 of disk.img. The manifests of the fixture
// builder are the ground truth; The Sleuth Kit's fls is a second opinion.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "base/text.h"
#include "disk/device.h"
#include "platform/fault_injection.h"
#include "fs/ntfs/file_record.h"
#include "fs/ntfs/mft.h"
#include "fs/ntfs/ntfs_boot.h"
#include "fs/ntfs/ntfs_export.h"
#include "fs/ntfs/ntfs_index.h"
#include "fs/ntfs/ntfs_layout.h"
#include "fs/ntfs/ntfs_reader.h"
#include "fs/ntfs/run_list.h"
#include "fs/output_file.h"
#include "fs/tree/node_text.h"
#include "support/fixtures.h"
#include "support/run_command.h"
#include "support/run_state.h"
#include "support/sha256.h"
#include "support/temp_dir.h"
#include "fs/tree/volume_set.h"
#include "support/fls.h"
#include "support/tree_walk.h"

namespace kestrum {
namespace {

using test::ManifestEntry;
using PathMap = std::map<std::string, std::uint32_t>;

struct FixtureCase {
  const char* name;
  const char* image;
  const char* info;
  const char* manifest;
};

void PrintTo(const FixtureCase& c, std::ostream* os) { *os << c.name; }

const FixtureCase kCases[] = {
    {"NtfsImage", "ntfs.img", "ntfs.info", "ntfs.manifest.tsv"},
    {"DiskPartition1", "disk.img", "disk.p1.info", "disk.p1.manifest.tsv"},
};

class NtfsFixture : public ::testing::TestWithParam<FixtureCase> {
 protected:
  void SetUp() override {
    test::PrepareRun();
    testing::ClearReadFaults();
    image_ = test::FixturePath(GetParam().image);
    info_ = test::LoadInfo(GetParam().info);
    manifest_ = test::LoadManifest(GetParam().manifest);
    ASSERT_FALSE(manifest_.empty());
    volume_ = test::FixtureDescriptor(GetParam().image, GetParam().info);
  }
  void TearDown() override {
    testing::ClearReadFaults();
    test::PrepareRun();
  }

  Sector64 Start() const {
    auto it = info_.find("start");
    return it == info_.end() ? 0 : static_cast<Sector64>(std::stoul(it->second));
  }

  const NodeVector& Nodes() const { return volume_.readerState.nodes->nodes; }

  const FileNode& NodeAt(const PathMap& paths, const std::string& path) {
    auto it = paths.find(path);
    if (it == paths.end()) {
      ADD_FAILURE() << "not listed: " << path;
      static const FileNode none;
      return none;
    }
    return Nodes()[it->second];
  }

  // Exports one node into `path`; the routine's answer.
  bool ExportTo(const FileNode& node, const std::string& path, StatusMessage& status) {
    OutputFile out;
    EXPECT_TRUE(out.Create(path));
    status.exportStatus.currentFileCopied = 0;
    bool ok = ExportNtfsFile(volume_, node, out, status);
    lastRecord_ = out.Record();
    out.Close();
    return ok;
  }

  static std::int64_t MtimeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mtim.tv_sec;
  }

  std::vector<RunEntry> RunsOf(const FileNode& node) const {
    std::vector<RunEntry> runs;
    EXPECT_TRUE(DecodeRunList(node.data, runs));
    ResolveRunSectors(runs, volume_);
    return runs;
  }

  std::string image_;
  std::map<std::string, std::string> info_;
  std::vector<ManifestEntry> manifest_;
  VolumeDescriptor volume_;
  test::TempDir dir_;
  CopyRecord lastRecord_;  // what the last export's reads met
};

TEST_P(NtfsFixture, ExistingFilesAreExactlyTheLiveManifest) {
  ASSERT_TRUE(ReadNtfsVolume(volume_));
  PathMap paths = test::TreePaths(volume_, kViewExistingFiles);
  std::set<std::string> expected{"LostFile"};
  for (const ManifestEntry& e : manifest_) {
    if (e.deleted) continue;
    expected.insert(e.path);
    const FileNode& node = NodeAt(paths, e.path);
    EXPECT_EQ(node.type, e.folder ? kFolder : kFile) << e.path;
    if (!e.folder) {
      EXPECT_EQ(node.size, e.size) << e.path;
    }
    EXPECT_EQ(FileTimeToUnixSeconds(node.lastWriteTime), e.mtime) << e.path;
  }
  std::set<std::string> listed;
  for (const auto& [path, index] : paths) listed.insert(path);
  EXPECT_EQ(listed, expected);
  // One slot per MFT record, and LostFile: at least as many as $MFT's size holds.
  EXPECT_EQ(Nodes()[0].name, u"$MFT");
  EXPECT_GE(Nodes().size() - 1, Nodes()[0].size / ntfs::kRecordSize);
  EXPECT_LT(Nodes().size() - 1, Nodes()[0].size / ntfs::kRecordSize + 1024);
}

TEST_P(NtfsFixture, DeletedFilesAreListedInTheirFolders) {
  ASSERT_TRUE(ReadNtfsVolume(volume_));
  PathMap paths = test::TreePaths(volume_, kViewDeletedFiles);
  // The deleted items, the live folders above them, and LostFile.
  std::set<std::string> expected{"LostFile", "docs"};
  for (const ManifestEntry& e : manifest_) {
    if (!e.deleted) continue;
    expected.insert(e.path);
    const FileNode& node = NodeAt(paths, e.path);
    EXPECT_EQ(node.type, e.folder ? kDeletedFolder : kDeletedFile) << e.path;
    EXPECT_EQ(node.deletedMark, 1) << e.path;
    if (!e.folder) {
      EXPECT_EQ(node.size, e.size) << e.path;
    }
  }
  EXPECT_EQ(NodeAt(paths, "docs").type, kFolder);
  std::set<std::string> listed;
  for (const auto& [path, index] : paths) listed.insert(path);
  EXPECT_EQ(listed, expected);
}

// What both listings say of one path: its record, deleted or not, folder or not.
struct Listed {
  std::uint64_t record = 0;
  bool deleted = false;
  bool folder = false;
  bool operator==(const Listed& o) const {
    return std::tie(record, deleted, folder) == std::tie(o.record, o.deleted, o.folder);
  }
};

std::ostream& operator<<(std::ostream& os, const Listed& e) {
  return os << "{record " << e.record << (e.deleted ? ", deleted" : "") << (e.folder ? ", folder" : "") << "}";
}

TEST_P(NtfsFixture, AgreesWithTheSleuthKit) {
  std::map<std::string, Listed> theirs;
  for (const test::FlsEntry& e : test::Fls(image_, Start())) {
    // Metadata files, their streams and the virtual $OrphanFiles folder.
    if (e.Metadata()) continue;
    EXPECT_TRUE(theirs.emplace(e.path, Listed{e.inode, e.deleted, e.Directory()}).second) << e.path;
  }
  ASSERT_GT(theirs.size(), test::CountUnder(manifest_, "many"));

  ASSERT_TRUE(ReadNtfsVolume(volume_));
  std::map<std::string, Listed> ours;
  for (std::int32_t view : {kViewExistingFiles, kViewDeletedFiles}) {
    for (const auto& [path, index] : test::TreePaths(volume_, view)) {
      if (path.rfind("LostFile", 0) == 0) continue;  // fls has its own place for orphans
      const FileNode& node = Nodes()[index];
      ours[path] = {index, node.IsDeleted(), node.IsFolder()};
    }
  }
  EXPECT_EQ(ours, theirs);
}

TEST_P(NtfsFixture, ExportsEveryLiveFileByteForByte) {
  ASSERT_TRUE(ReadNtfsVolume(volume_));
  PathMap paths = test::TreePaths(volume_, kViewExistingFiles);
  StatusMessage status;
  std::uint64_t total = 0;
  int resident = 0;
  int nonResident = 0;
  const std::string out = dir_.File("copy");
  for (const ManifestEntry& e : manifest_) {
    if (e.deleted || e.folder) continue;
    const FileNode& node = NodeAt(paths, e.path);
    ASSERT_TRUE(ExportTo(node, out, status)) << e.path;
    EXPECT_EQ(test::Sha256OfFile(out), e.sha256) << e.path;
    EXPECT_EQ(status.exportStatus.currentFileCopied, e.size) << e.path;
    EXPECT_EQ(MtimeOf(out), e.mtime) << e.path;
    total += e.size;
    (node.residentData ? resident : nonResident)++;
    if (e.path == "frag.bin") {
      // As many separate pieces as The Sleuth Kit counted.
      std::vector<RunEntry> runs = RunsOf(node);
      int pieces = 0;
      std::uint64_t end = ~std::uint64_t{0};
      for (const RunEntry& run : runs) {
        if (run.startSector != end) ++pieces;
        end = std::uint64_t{run.startSector} + RunSectors(run, ntfs::SectorsPerCluster(volume_));
      }
      EXPECT_EQ("fragments=" + std::to_string(pieces), e.notes);
      EXPECT_GE(pieces, 3);
    }
  }
  EXPECT_EQ(status.exportStatus.bytesExported, total);
  EXPECT_GT(resident, 1000) << "the many/ files live in their records";
  EXPECT_GT(nonResident, 10);
}

TEST_P(NtfsFixture, DeletedFilesExportByteForByte) {
  ASSERT_TRUE(ReadNtfsVolume(volume_));
  PathMap paths = test::TreePaths(volume_, kViewDeletedFiles);
  StatusMessage status;
  int files = 0;
  for (const ManifestEntry& e : manifest_) {
    if (!e.deleted || e.folder) continue;
    std::string out = dir_.File("deleted" + std::to_string(files++));
    EXPECT_EQ(NodeAt(paths, e.path).recovery, kRecoveryGood) << e.path << ": deleted last, its clusters are free";
    ASSERT_TRUE(ExportTo(NodeAt(paths, e.path), out, status)) << e.path;
    EXPECT_EQ(test::Sha256OfFile(out), e.sha256) << e.path;
  }
  EXPECT_EQ(files, 4);
}

TEST_P(NtfsFixture, ABadSectorInAFileIsZerosInItsCopyAndIsReported) {
  ASSERT_TRUE(ReadNtfsVolume(volume_));
  PathMap paths = test::TreePaths(volume_, kViewExistingFiles);
  const FileNode& frag = NodeAt(paths, "frag.bin");
  ASSERT_EQ(frag.residentData, 0);
  std::vector<RunEntry> runs = RunsOf(frag);
  ASSERT_FALSE(runs.empty());
  ASSERT_GE(runs[0].length, 2u);
  testing::InjectReadFault(image_, runs[0].startSector + 5, 1);

  test::PrepareRun();
  StatusMessage status;
  const std::string out = dir_.File("frag.bin");
  EXPECT_TRUE(ExportTo(frag, out, status));
  const std::string damaged = test::ReadWholeFile(out);
  StatusMessage posted;
  ASSERT_TRUE(TakeStatus(posted));
  EXPECT_EQ(posted.kind, StatusKind::kReadError);
  EXPECT_EQ(posted.readError.sector, runs[0].startSector + 5);
  testing::ClearReadFaults();
  ASSERT_TRUE(ExportTo(frag, out, status));
  std::string expected = test::ReadWholeFile(out);
  std::fill_n(expected.begin() + 5 * 512, 512, '\0');
  EXPECT_EQ(damaged, expected);

  // Files elsewhere still copy.
  const FileNode& big = NodeAt(paths, "sizes/5242880.bin");
  ASSERT_TRUE(ExportTo(big, out, status));
  EXPECT_EQ(status.exportStatus.currentFileCopied, 5242880u);

  // A resident file is read from its record at export: a record that no
  // longer reads fails the copy, saying where, rather than give zeros.
  const ManifestEntry* small = nullptr;
  for (const ManifestEntry& e : manifest_) {
    if (!small && !e.deleted && !e.folder && e.size > 0 && NodeAt(paths, e.path).residentData) small = &e;
  }
  ASSERT_NE(small, nullptr);
  const FileNode& resident = NodeAt(paths, small->path);
  DeviceHandle device = OpenVolumeOnDisk(volume_);
  std::vector<RunEntry> mft;
  ASSERT_TRUE(FindMftRuns(volume_, device, mft));
  CloseDevice(device);
  Sector64 record = 0;
  ASSERT_TRUE(MapRecordToSector(resident.id, volume_, mft, record));
  testing::InjectReadFault(image_, record + 1, 1);
  test::PrepareRun();
  EXPECT_FALSE(ExportTo(resident, out, status)) << small->path;
  EXPECT_EQ(test::ReadWholeFile(out), "");
  EXPECT_TRUE(lastRecord_.readFailed);
  EXPECT_EQ(lastRecord_.failedReadSector, record);
  EXPECT_EQ(lastRecord_.failedReadSectors, ntfs::RecordSectorsOf(volume_));
  testing::ClearReadFaults();
  ASSERT_TRUE(ExportTo(resident, out, status));
  EXPECT_EQ(test::Sha256OfFile(out), small->sha256);
}

TEST_P(NtfsFixture, TheMirrorStandsInForAnUnreadableRecordZero) {
  ASSERT_TRUE(ReadNtfsVolume(volume_));
  PathMap existing = test::TreePaths(volume_, kViewExistingFiles);
  PathMap deleted = test::TreePaths(volume_, kViewDeletedFiles);

  VolumeDescriptor damaged = test::FixtureDescriptor(GetParam().image, GetParam().info);
  testing::InjectReadFault(image_, ntfs::MftSector(damaged), 2);
  DeviceHandle device = OpenVolumeOnDisk(damaged);
  std::vector<RunEntry> runs;
  EXPECT_FALSE(ReadMftRuns(damaged, device, ntfs::MftSector(damaged), runs));
  CloseDevice(device);
  ASSERT_TRUE(ReadNtfsVolume(damaged));
  EXPECT_EQ(test::TreePaths(damaged, kViewExistingFiles), existing);
  EXPECT_EQ(test::TreePaths(damaged, kViewDeletedFiles), deleted);
  EXPECT_EQ(damaged.readerState.nodes->nodes.size(), Nodes().size());
}

TEST_P(NtfsFixture, LabelBootSectorAndRootIndex) {
  DeviceHandle device = OpenVolumeOnDisk(volume_);
  ASSERT_TRUE(device.IsOpen());
  ASSERT_TRUE(ReadNtfsLabel(device, volume_));
  EXPECT_EQ(ToUtf8(volume_.label), info_.at("label"));

  EXPECT_TRUE(CheckNtfsBootSector(Start(), volume_.bootSector, device));
  EXPECT_FALSE(CheckNtfsBootSector(Start() + 1, volume_.bootSector, device));

  ASSERT_TRUE(ReadNtfsVolume(volume_));
  std::vector<RunEntry> runs;
  ASSERT_TRUE(FindMftRuns(volume_, device, runs));
  auto children = [&](std::uint32_t record) {
    Sector64 sector = 0;
    EXPECT_TRUE(MapRecordToSector(record, volume_, runs, sector));
    std::vector<std::uint8_t> bytes(ntfs::kRecordSize);
    ReadRecords(device, sector, 1, ntfs::kRecordSize, bytes);
    std::vector<std::uint32_t> out;
    EXPECT_TRUE(CollectIndexChildren(bytes, device, volume_, out)) << record;
    return std::set<std::uint32_t>(out.begin(), out.end());
  };
  // The root's index names every live entry of the root, system files included.
  std::set<std::uint32_t> root = children(ntfs::kRootRecord);
  for (std::uint32_t n : ChildrenOf(Nodes(), kRootNodeId)) {
    const FileNode& node = Nodes()[n];
    if (node.id == kLostFileId || node.IsDeleted()) continue;
    EXPECT_TRUE(root.count(n)) << ToUtf8(node.name);
  }
  EXPECT_TRUE(root.count(0)) << "$MFT";
  // many/ keeps its entries in INDX blocks; what they name lives in many/.
  PathMap paths = test::TreePaths(volume_, kViewExistingFiles);
  std::uint32_t many = paths.at("many");
  std::set<std::uint32_t> inMany = children(many);
  EXPECT_GT(inMany.size(), 20u);
  for (std::uint32_t n : inMany) {
    ASSERT_LT(n, Nodes().size());
    EXPECT_EQ(Nodes()[n].parentId, many) << n;
  }
  CloseDevice(device);
}

INSTANTIATE_TEST_SUITE_P(Images, NtfsFixture, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrum
