// The scan-state file: what is saved comes back whole, and a file cut short
// at any length, or with any byte changed, is refused with a reason — also
// when the damage comes with a matching checksum.

#include <gtest/gtest.h>

#include <functional>

#include "base/byte_order.h"
#include "base/text.h"
#include "scan/scan_state_file.h"
#include "scan/scan_state_layout.h"

namespace kestrum {
namespace {

struct Saved {
  SavedScan scan;
  ScanState state;
};

// Everything `base` sectors further on (a multiple of the block size).
void MakeState(Saved& s, Sector64 base = 0) {
  s.scan.device = {u"ATA 模型 X", base + 8192 * 6, "serial:ABC123"};
  s.scan.request = {kScanPartition, base + 8192, 100};
  s.scan.area.startSector = base + 8192 + 63;
  s.scan.area.sectorCount = 8192 * 4;
  s.scan.area.diskSectors = base + 8192 * 6;
  s.scan.area.diskPath = u"/dev/sdz";
  s.scan.area.diskDescription = s.scan.device.description;
  s.state.PrepareScan(s.scan.area, s.scan.request);
  s.state.NextBlock();
  s.state.NextBlock();
  std::vector<ScanFinding> block;
  ScanFinding file;
  file.category = kCategoryJpg;
  file.sector = base + 8192 + 70;
  file.wordA = 4096;
  block.push_back(file);
  ScanFinding boot;
  boot.category = kCategoryNtfsBoot;
  boot.sector = base + 8192 + 63;
  boot.bytes = FindingBytes(std::vector<std::uint8_t>(512, 0xAB), {}, {});
  block.insert(block.begin(), boot);
  ScanFinding record;
  record.category = kCategoryFileRecord;
  record.sector = base + 8192 + 100;
  record.wordB = 7;
  record.bytes = FindingBytes({}, u"$MFTMirr 报告", std::vector<std::uint8_t>{0x11, 0x01, 0x02});
  record.dataLength = 3;
  record.size = 4096;
  record.allocatedSize = 4096;
  record.flags = 5;
  block.push_back(record);
  s.state.store.StoreBlockFindings(base + 8192, base + 16383, std::move(block));
  s.state.map.Set(base + 8192, kBlockAnalysed);
  // A second range, two blocks on, and blocks still queued to be read first.
  ScanFinding later;
  later.category = kCategoryPdf;
  later.sector = base + 8192 * 3 + 5;
  s.state.store.StoreBlockFindings(base + 8192 * 3, base + 8192 * 4 - 1, {later});
  s.state.map.Set(base + 8192 * 3, kBlockAnalysed);
  s.state.SetPriorityBlocks({base + 8192 * 4, base + 8192 * 2});
}

// Also past 2^32 sectors, where the file's fields must be 64-bit.
TEST(ScanStateFile, RoundTripKeepsEverything) {
  for (Sector64 base : {Sector64{0}, Sector64{610352} * 8192}) {
    Saved s;
    MakeState(s, base);
    const std::string bytes = SerializeScanState(s.scan, s.state);
    SavedScan scan;
    ScanState state;
    std::u16string error;
    ASSERT_TRUE(ParseScanState(bytes, scan, state, error)) << std::string(error.begin(), error.end());
    s.state.ReleaseClaimedBlocks();  // what loading does to blocks never analysed
    EXPECT_EQ(scan.device, s.scan.device);
    EXPECT_EQ(scan.request.priorityStart, base + 8192u);
    EXPECT_EQ(scan.area.startSector, base + 8192 + 63);
    EXPECT_EQ(scan.area.diskSectors, base + 8192 * 6);
    EXPECT_EQ(scan.area.diskPath, u"/dev/sdz");
    EXPECT_EQ(state.firstBlock, s.state.firstBlock);
    EXPECT_EQ(state.lastBlock, s.state.lastBlock);
    EXPECT_EQ(state.nextBlock, s.state.nextBlock);
    EXPECT_EQ(state.PriorityBlocks(), s.state.PriorityBlocks());
    // A claimed block comes back unread: it was never analysed.
    EXPECT_EQ(state.map.Get(base + 8192), kBlockAnalysed);
    EXPECT_EQ(state.map.Get(base), kBlockUnread);
    const std::vector<ScanFinding> a = s.state.store.CollectFindings(), b = state.store.CollectFindings();
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
      EXPECT_EQ(a[i].category, b[i].category);
      EXPECT_EQ(a[i].sector, b[i].sector);
      EXPECT_EQ(a[i].wordA, b[i].wordA);
      EXPECT_EQ(a[i].wordB, b[i].wordB);
      EXPECT_TRUE(std::ranges::equal(a[i].SectorCopy(), b[i].SectorCopy()));
      EXPECT_EQ(a[i].Name(), b[i].Name());
      EXPECT_TRUE(std::ranges::equal(a[i].Runs(), b[i].Runs()));
      EXPECT_EQ(a[i].dataLength, b[i].dataLength);
      EXPECT_EQ(a[i].size, b[i].size);
      EXPECT_EQ(a[i].allocatedSize, b[i].allocatedSize);
      EXPECT_EQ(a[i].flags, b[i].flags);
    }
    // Saved again, it is the original with its claimed blocks released.
    EXPECT_EQ(SerializeScanState(scan, state), SerializeScanState(s.scan, s.state));
  }
}

// Each field damaged the way no scan writes it, saved with a valid
// checksum: refused, with the reason.
TEST(ScanStateFile, EachFieldNoScanCouldHaveWrittenIsRefusedForItsReason) {
  const Sector64 base = 8192 * 10;
  struct Case {
    const char* name;
    std::function<void(Saved&)> damage;
    const char* reason;
  } cases[] = {
      {"a mode no scan has", [](Saved& s) { s.scan.request.mode = 9; }, "mode"},
      {"the area past the device's end", [](Saved& s) { s.scan.area.sectorCount = s.scan.device.sectors; },
       "area beyond the device"},
      {"a block range not the area's", [](Saved& s) { s.state.firstBlock += 8192; }, "block range"},
      {"the next block past the range", [](Saved& s) { s.state.nextBlock = s.state.lastBlock + 2 * 8192; },
       "block range"},
      {"a block state no scan writes", [](Saved& s) { s.state.map.Bytes()[base / 8192 + 2] = 7; }, "block state"},
      {"an analysed block outside the area", [](Saved& s) { s.state.map.Bytes()[0] = kBlockAnalysed; },
       "block outside the scanned area"},
      {"a priority block past the disk's end",
       [](Saved& s) { s.state.SetPriorityBlocks({Sector64{4294959104}}); }, "priority block"},
      {"a priority block off the block grid", [](Saved& s) { s.state.SetPriorityBlocks({base + 8192 * 2 + 1}); },
       "priority block"},
      {"a range past the area and the device",
       [](Saved& s) {
         s.state.store.MutableRanges().push_back({base + 8192 * 6, base + 8192 * 7 - 1, {ScanFinding{}}});
         s.state.store.MutableRanges().back().findings[0].sector = base + 8192 * 6;
       },
       "range outside the scanned area"},
      {"a range whose block was not analysed",
       [](Saved& s) { s.state.map.Set(base + 8192 * 3, kBlockUnread); }, "range not analysed"},
      {"a finding after its range",
       [](Saved& s) { s.state.store.MutableRanges()[0].findings.back().sector = base + 8192 * 3 + 1; },
       "finding outside its range"},
      {"findings out of order",
       [](Saved& s) { std::swap(s.state.store.MutableRanges()[0].findings[0].sector,
                                s.state.store.MutableRanges()[0].findings[1].sector); },
       "finding outside its range"},
      {"ranges out of order",
       [](Saved& s) { std::swap(s.state.store.MutableRanges()[0], s.state.store.MutableRanges()[1]); },
       "range order"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Saved s;
    MakeState(s, base);
    c.damage(s);
    SavedScan scan;
    ScanState state;
    std::u16string error;
    EXPECT_FALSE(ParseScanState(SerializeScanState(s.scan, s.state), scan, state, error));
    EXPECT_NE(ToUtf8(error).find(std::string("（") + c.reason + "）"), std::string::npos) << ToUtf8(error);
    EXPECT_TRUE(state.identity.empty());
  }
}

// A file the build before 64-bit sector numbers wrote (a scan of a small
// two-partition disk; see tests/data/old-formats): refused, and the user
// told to scan again.
TEST(ScanStateFile, AFileOfTheVersionBeforeIsRefusedWithScanAgain) {
  SavedScan scan;
  ScanState state;
  std::u16string error;
  EXPECT_FALSE(LoadScanState(KESTRUM_TEST_DATA_DIR "/old-formats/old-scan-state.kscs", scan, state, error));
  const std::string text(ToUtf8(error));
  EXPECT_NE(text.find("旧版本"), std::string::npos) << text;
  EXPECT_NE(text.find("请重新扫描"), std::string::npos) << text;
  EXPECT_TRUE(state.identity.empty());
}

// Loads must fail and leave the target state as it was.
void ExpectRefused(const std::string& bytes, const char* what, std::size_t at) {
  SavedScan scan;
  ScanState state;
  state.identity = u"untouched";
  std::u16string error;
  EXPECT_FALSE(ParseScanState(bytes, scan, state, error)) << what << " at " << at;
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(state.identity, u"untouched");
}

TEST(ScanStateFile, EveryCutAndEveryFlippedByteIsRefused) {
  Saved s;
  MakeState(s);
  const std::string bytes = SerializeScanState(s.scan, s.state);
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) ExpectRefused(bytes.substr(0, cut), "cut", cut);
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    std::string damaged = bytes;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x5A);
    ExpectRefused(damaged, "flip", at);
  }
  ExpectRefused(bytes + "x", "extra byte", bytes.size());
  ExpectRefused("not a state file at all, but long enough to have a header", "foreign", 0);
}

// A file whose checksum was recomputed after the damage: the structure
// checks alone must keep it out or load it consistently, never crash.
TEST(ScanStateFile, DamageWithMatchingChecksumNeverLoadsUnsoundState) {
  Saved s;
  MakeState(s);
  const std::string bytes = SerializeScanState(s.scan, s.state);
  int refused = 0, loaded = 0;
  for (std::size_t at = statefile::kBodyOffset; at < bytes.size(); ++at) {
    for (std::uint8_t flip : {0x01, 0x80, 0xFF}) {
      std::string damaged = bytes;
      damaged[at] = static_cast<char>(damaged[at] ^ flip);
      std::uint64_t hash = 0xcbf29ce484222325ull;
      for (std::size_t i = statefile::kBodyOffset; i < damaged.size(); ++i) {
        hash ^= static_cast<std::uint8_t>(damaged[i]);
        hash *= 0x100000001b3ull;
      }
      auto view = std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(damaged.data()), damaged.size());
      WriteLe64(view, statefile::kChecksumOffset, hash);
      SavedScan scan;
      ScanState state;
      std::u16string error;
      if (!ParseScanState(damaged, scan, state, error)) {
        ++refused;
        continue;
      }
      // Loaded: the state is one the scan can run on, all of it inside the area.
      std::vector<ScanFinding> all = state.store.CollectFindings();
      for (std::size_t i = 1; i < all.size(); ++i) EXPECT_LE(all[i - 1].sector, all[i].sector);
      EXPECT_LE(state.firstBlock, state.lastBlock);
      EXPECT_EQ(state.firstBlock % 8192, 0u);
      const Sector64 end = state.lastBlock + kBlockSectors;
      EXPECT_LE(scan.area.startSector + scan.area.sectorCount, scan.device.sectors);
      for (const ScanFinding& f : all) EXPECT_TRUE(f.sector >= state.firstBlock && f.sector < end) << at;
      for (Sector64 p : state.PriorityBlocks()) EXPECT_TRUE(p >= state.firstBlock && p < end) << at;
      for (std::size_t b = 0; b < state.map.Size(); ++b) {
        const Sector64 block = Sector64{b} * kBlockSectors;
        if (block < state.firstBlock || block >= end) {
          EXPECT_EQ(state.map.Bytes()[b], kBlockUnread) << at;
        }
        EXPECT_LE(state.map.Bytes()[b], kBlockAnalysed) << at;
      }
      ++loaded;
    }
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(loaded, 0);  // some damage (a name, a word of a finding) is still a sound state
}

}  // namespace
}  // namespace kestrum
