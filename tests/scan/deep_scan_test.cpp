// The deep scan over the fixture disk made by the real tools: it finds what
// the classifier finds sector by sector, in the same order, whatever order
// the blocks were read in; a read fault costs only the sectors that fail;
// "暂停" finishes with what was analysed, an abort keeps it for reuse; the
// source is never written.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <optional>
#include <set>
#include <thread>

#include "base/text.h"
#include "platform/fault_injection.h"
#include "fs/tree/node_vector.h"
#include "scan/block_reads.h"
#include "scan/scan_pipeline.h"
#include "scan/search_file_volume.h"
#include "scan_support.h"
#include "support/fixtures.h"
#include "support/run_state.h"
#include "support/temp_dir.h"
#include "support/run_command.h"

namespace kestrum {
namespace {

// Keeps the latest scan status; with a button, presses it once the scan's
// reader waits at the read gate (closed by the test on a block), then opens
// the gate: the stop comes at a known block, whatever the machine's speed.
class PressingPresenter : public ProgressPresenter {
 public:
  enum Button { kNone, kPause, kQuit };
  explicit PressingPresenter(Button button) : button_(button) {}
  void Present(ProgressSession& session) override {
    EXPECT_TRUE(session.ShowPause());
    StatusMessage m;
    while (!session.WorkersDone()) {
      if (session.Take(m) && m.kind == StatusKind::kScan) last = m.scan;
      if (button_ != kNone && testing::ReadsHeldAtGate() > 0) {
        button_ == kPause ? session.Finish() : session.Abort();
        button_ = kNone;
        pressed = true;
        testing::OpenReadGate();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    testing::OpenReadGate();
    session.Take(m);
    if (m.kind == StatusKind::kScan) last = m.scan;
  }
  ScanStatus last;
  bool pressed = false;

 private:
  Button button_;
};

VolumeDescriptor WholeDisk(const std::string& path) {
  VolumeDescriptor v;
  v.diskPath = FromUtf8(path);
  v.fsKind = kFsScanArea;
  v.sectorCount = v.diskSectors = static_cast<Sector64>(QueryPathBytes(v.diskPath) / kSectorSize);
  return v;
}

struct Keyed {
  Sector64 sector;
  std::int32_t category;
  auto operator<=>(const Keyed&) const = default;
};

std::vector<Keyed> Keys(const std::vector<ScanFinding>& findings) {
  std::vector<Keyed> keys;
  for (const ScanFinding& f : findings) keys.push_back({f.sector, f.category});
  return keys;
}

// sha256sum: the sanitized in-process hash is slow on a 190 MB image.
std::string FileHash(const std::string& path) { return test::RunCommand({"sha256sum", path}).out; }

class DeepScan : public ::testing::Test {
 protected:
  void SetUp() override {
    image_ = test::FixturePath("disk.img");
    test::PrepareRun();
  }
  void TearDown() override { testing::ClearReadFaults(); }

  // The finish step appends the search-file volume, and notes whether it was
  // told that every block of the area was analysed.
  bool Scan(DeepScanJob& job, ScanState& state, ProgressPresenter& presenter,
            ScanRequest request = {kScanDisk, 0, 0}) {
    job.request = request;
    job.volume = WholeDisk(image_);
    job.state = &state;
    job.finish = [this](const ScanRequest& r, const std::vector<ScanFinding>& findings, const VolumeDescriptor& scanned,
                        bool wholeArea, VolumeList& results) {
      wholeArea_ = wholeArea;
      AppendSearchFileVolume(r, findings, scanned, wholeArea, results);
    };
    return RunDeepScan(job, presenter);
  }

  std::string image_;
  std::optional<bool> wholeArea_;
};

TEST_F(DeepScan, WholeDiskFindsWhatTheClassifierFindsInOrderAndLeavesTheSourceAlone) {
  const std::string before = FileHash(image_);
  const VolumeDescriptor disk = WholeDisk(image_);
  std::vector<ScanFinding> expected = test::ScanFile(image_, 0, disk.sectorCount);
  ASSERT_FALSE(expected.empty());

  ScanState state;
  DeepScanJob job;
  PressingPresenter presenter(PressingPresenter::kNone);
  // A priority region in the middle of the disk: read first, stored in order all the same.
  ASSERT_TRUE(Scan(job, state, presenter, {kScanDisk, 100000, 20000}));
  EXPECT_TRUE(job.finished);
  EXPECT_EQ(wholeArea_, true);
  EXPECT_EQ(job.blocksRead.front(), BlockStartOf(100000));
  const std::vector<ScanFinding> found = state.store.CollectFindings();
  EXPECT_EQ(Keys(found), Keys(expected));
  // Every block of the disk read once.
  std::set<Sector64> read(job.blocksRead.begin(), job.blocksRead.end());
  EXPECT_EQ(read.size(), job.blocksRead.size());
  EXPECT_EQ(read.size(), (disk.sectorCount + 8191) / 8192);
  EXPECT_EQ(state.AnalysedBlocks(), read.size());
  // The counters of the last progress message count the findings.
  EXPECT_EQ(presenter.last.sectorsScanned, read.size() * 8192);
  EXPECT_EQ(presenter.last.sectorsToScan, disk.sectorCount);
  std::uint32_t records = 0, ntfsBoots = 0;
  for (const ScanFinding& f : expected) {
    records += f.category == kCategoryFileRecord;
    ntfsBoots += f.category == kCategoryNtfsBoot;
  }
  EXPECT_EQ(presenter.last.mftRecords, records);
  EXPECT_EQ(presenter.last.ntfsBootSectors, ntfsBoots);
  // The default finish step: the search-file volume only.
  ASSERT_EQ(job.results.size(), 1u);
  EXPECT_EQ(job.results[0].label, u"SearchFile");
  EXPECT_EQ(job.results[0].foundBy, FoundBy::kSignatures);
  EXPECT_EQ(FileHash(image_), before);
}

TEST_F(DeepScan, ReadFaultCostsOnlyTheFailingSectors) {
  const VolumeDescriptor disk = WholeDisk(image_);
  std::vector<ScanFinding> clean = test::ScanFile(image_, 0, disk.sectorCount);
  // Fail the sectors of one MFT stretch; the rest of that block still reads.
  auto record = std::find_if(clean.begin(), clean.end(),
                             [](const ScanFinding& f) { return f.category == kCategoryFileRecord; });
  ASSERT_NE(record, clean.end());
  const Sector64 bad = record->sector;
  testing::InjectReadFault(image_, bad, 4);
  ScanState state;
  DeepScanJob job;
  SilentPresenter presenter;
  ASSERT_TRUE(Scan(job, state, presenter));
  std::vector<Keyed> expected;
  for (const Keyed& k : Keys(clean)) {
    // The records at the failed sectors are gone; a record just before them loses its second half only.
    if (k.sector >= bad && k.sector < bad + 4) continue;
    expected.push_back(k);
  }
  EXPECT_EQ(Keys(state.store.CollectFindings()), expected);
}

TEST_F(DeepScan, PauseFinishesWithWhatWasFoundAndAbortKeepsItForReuse) {
  const VolumeDescriptor disk = WholeDisk(image_);
  const std::vector<Keyed> all = Keys(test::ScanFile(image_, 0, disk.sectorCount));
  const std::uint32_t blocks = (disk.sectorCount + 8191) / 8192;
  // The reader is held at a block that holds data (holes of a sparse image
  // are never read), past the first four of the sequential pass.
  const auto gated = std::find_if(all.begin(), all.end(), [](const Keyed& k) { return k.sector >= 4 * kBlockSectors; });
  ASSERT_NE(gated, all.end());
  const Sector64 kGatedBlock = BlockStartOf(gated->sector);
  auto analysedSubset = [&](const ScanState& state) {
    std::vector<Keyed> subset;
    for (const Keyed& k : all) {
      if (state.map.Get(BlockStartOf(k.sector)) == kBlockAnalysed) subset.push_back(k);
    }
    return subset;
  };
  {
    ScanState state;
    DeepScanJob job;
    testing::CloseReadGate(image_, kGatedBlock, kBlockSectors);
    PressingPresenter pause(PressingPresenter::kPause);
    EXPECT_TRUE(Scan(job, state, pause));
    EXPECT_TRUE(pause.pressed);
    EXPECT_TRUE(job.finished);
    // Its findings are not all the disk holds: a FAT volume's free space
    // must still be searched for lost folders.
    EXPECT_EQ(wholeArea_, false);
    EXPECT_LT(state.AnalysedBlocks(), blocks);
    EXPECT_GE(state.AnalysedBlocks(), 3u);
    EXPECT_EQ(Keys(state.store.CollectFindings()), analysedSubset(state));
    ASSERT_EQ(job.results.size(), 1u);
  }
  ScanState state;
  DeepScanJob job;
  testing::CloseReadGate(image_, kGatedBlock, kBlockSectors);
  PressingPresenter quit(PressingPresenter::kQuit);
  EXPECT_FALSE(Scan(job, state, quit));
  EXPECT_TRUE(quit.pressed);
  EXPECT_FALSE(job.finished);
  EXPECT_TRUE(job.results.empty());
  const std::uint32_t analysed = state.AnalysedBlocks();
  EXPECT_LT(analysed, blocks);
  EXPECT_EQ(Keys(state.store.CollectFindings()), analysedSubset(state));
  // No block is left claimed: the next run reads exactly the rest.
  std::set<Sector64> analysedBefore;
  for (Sector64 b = 0; b < blocks * 8192; b += 8192) {
    EXPECT_NE(state.map.Get(b), kBlockClaimed);
    if (state.map.Get(b) == kBlockAnalysed) analysedBefore.insert(b);
  }
  test::PrepareRun();
  DeepScanJob resumed;
  SilentPresenter silent;
  ASSERT_TRUE(Scan(resumed, state, silent));
  EXPECT_EQ(resumed.blocksRead.size(), blocks - analysed);
  for (Sector64 b : resumed.blocksRead) EXPECT_EQ(analysedBefore.count(b), 0u) << b;
  EXPECT_EQ(Keys(state.store.CollectFindings()), all);
}

TEST(SearchFileVolume, CategoryFoldersCountTheirFilesAndNameThemByPlace) {
  std::vector<ScanFinding> findings;
  auto add = [&](Sector64 sector, ScanCategory category, std::uint32_t length) {
    ScanFinding f;
    f.sector = sector;
    f.category = category;
    f.wordA = length;
    findings.push_back(f);
  };
  add(100, kCategoryNtfsBoot, 0);
  for (Sector64 i = 0; i < 25; ++i) add(200 + 10 * i, kCategoryJpg, 5120);
  add(600, kCategoryPdf, 1024);
  add(700, kCategoryTar, 10240);
  add(704, kCategoryJpg, 1024);  // a member of the tar
  findings.back().insideEarlierFile = true;
  add(800, kCategoryIso, 65536);  // its signature 32 KiB into the image
  VolumeDescriptor scanned;
  scanned.diskPath = u"/dev/null";
  VolumeDescriptor v = BuildSearchFileVolume(findings, scanned);
  EXPECT_EQ(v.fsKind, kFsScanArea);
  EXPECT_EQ(v.diskPath, u"/dev/null");
  const NodeVector& nodes = v.readerState.nodes->nodes;
  ASSERT_EQ(nodes.size(), 6u + 69u + 28u) << "the inner JPEG is part of the tar, not a file of its own";
  EXPECT_EQ(ChildrenOf(nodes, kRootNodeId).size(), 69u);
  EXPECT_EQ(nodes[6 + FileCategoryPlace(kCategoryTar)].name, u"tar-1");
  EXPECT_EQ(nodes[6 + FileCategoryPlace(kCategoryHeic)].name, u"heic");
  EXPECT_EQ(nodes[5 + kFileCategoryCount].name, u"emf") << "the added folders follow the first table's";
  EXPECT_EQ(nodes[*ChildrenOf(nodes, 6 + FileCategoryPlace(kCategoryIso)).begin()].location, 800u - 64u);
  EXPECT_EQ(nodes[6 + kCategoryJpg].name, u"jpg-25");
  EXPECT_EQ(nodes[6 + kCategoryGif].name, u"gif");
  EXPECT_EQ(nodes[6 + kCategoryPdf].name, u"pdf-1");
  EXPECT_EQ(nodes[6 + kCategoryTxt].name, u"txt");
  const FileNode& firstJpg = nodes[*ChildrenOf(nodes, 6 + kCategoryJpg).begin()];
  EXPECT_EQ(firstJpg.name, u"0001.jpg");  // place 1: the boot sector is place 0
  EXPECT_EQ(firstJpg.location, 200u);
  EXPECT_EQ(firstJpg.size, 5120u);
  EXPECT_EQ(nodes[*ChildrenOf(nodes, 6 + kCategoryPdf).begin()].name, u"0026.pdf");
}

// A read held back (a slow sector) holds back only the publishing of the
// blocks after it, not their reads: the other helpers read on into every
// free slot, and the ring still gets the blocks in the reader's order.
TEST(BlockReads, AHeldReadHoldsBackThePublishingButNotTheReadsAfterIt) {
  test::PrepareRun();
  test::TempDir dir;
  const std::string path = dir.File("blocks.img");
  constexpr std::size_t kBlocks = kRingSlots + 2;
  {
    std::ofstream out(path, std::ios::binary);
    std::vector<char> block(kBlockSectors * kSectorSize);
    for (std::size_t b = 0; b < kBlocks; ++b) {
      std::fill(block.begin(), block.end(), static_cast<char>(b + 1));
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
  }
  DeviceHandle device;
  ASSERT_TRUE(OpenDevice(FromUtf8(path), device));
  BlockRing ring;
  testing::RecordReads(true);
  testing::CloseReadGate(path, 0, kBlockSectors);
  Sector64 next = 0;
  std::thread reader([&] {
    FillRing(
        device, ring,
        [&]() -> std::optional<RingBlock> {
          if (next >= kBlocks * kBlockSectors) return std::nullopt;
          const RingBlock block{next, static_cast<std::uint32_t>(kBlockSectors)};
          next += kBlockSectors;
          return block;
        },
        [](Sector64) {});
  });
  // Every slot but the held block's is read (waited for, not timed: 10 s
  // only so that a failing test ends).
  std::size_t readPast = 0;
  for (int i = 0; i < 10000 && readPast < kRingSlots - 1; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (const auto& read : testing::TakeRecordedReads()) readPast += read.first != 0;
  }
  EXPECT_EQ(readPast, kRingSlots - 1);
  EXPECT_EQ(testing::ReadsHeldAtGate(), 1u);
  EXPECT_FALSE(ring.HasFull()) << "nothing is published past the held block";
  testing::OpenReadGate();
  for (std::size_t b = 0; b < kBlocks; ++b) {
    ScanBlock* block = nullptr;
    while (block == nullptr) block = ring.TakeFull();
    EXPECT_EQ(block->firstSector, b * kBlockSectors);
    EXPECT_EQ(block->bytes[0], b + 1);
    EXPECT_EQ(block->bytes.back(), b + 1);
    ring.Release(block);
  }
  reader.join();
  testing::RecordReads(false);
  CloseDevice(device);
}

}  // namespace
}  // namespace kestrum
