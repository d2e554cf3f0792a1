#include "disk/gpt.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <regex>

#include "base/crc32.h"
#include "base/text.h"
#include "disk/partition_table.h"
#include "support/loop_device.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

namespace hdr = gpt::header;

// A small disk held in memory, with the three partitions of a new table.
struct GptDisk {
  std::uint32_t sectorSize;
  std::uint64_t lbas;
  std::vector<std::uint8_t> bytes;
  GptPlan plan;
  std::vector<GptNewPartition> partitions;

  GptDisk(std::uint32_t size, std::uint64_t diskLbas) : sectorSize(size), lbas(diskLbas), bytes(size * diskLbas) {
    EXPECT_TRUE(PlanGpt(lbas, sectorSize, 3, plan));
    Guid basic{};
    EXPECT_TRUE(ParseGuid(gpt::kBasicDataType, basic));
    // With free sectors between them.
    const std::uint64_t step = (plan.lastUsableLba - plan.firstUsableLba) / 4;
    for (std::uint64_t i = 0; i < 3; ++i) {
      GptNewPartition p{plan.firstUsableLba + i * step, plan.firstUsableLba + i * step + step / 2, basic, {}};
      EXPECT_TRUE(NewRandomGuid(p.unique));
      partitions.push_back(p);
    }
  }

  std::span<std::uint8_t> Lba(std::uint64_t lba, std::uint64_t count = 1) {
    return std::span<std::uint8_t>(bytes).subspan(lba * sectorSize, count * sectorSize);
  }

  GptBuildFault Build(std::vector<std::uint8_t> oldSector0 = {}) {
    GptBuildRequest request{lbas, sectorSize, partitions, {}, std::move(oldSector0)};
    EXPECT_TRUE(NewRandomGuid(request.diskGuid));
    std::vector<GptPiece> pieces;
    GptBuildFault fault = BuildGpt(request, pieces);
    for (const GptPiece& piece : pieces) std::copy(piece.bytes.begin(), piece.bytes.end(), Lba(piece.lba).begin());
    return fault;
  }

  // The header CRC made right again after a field was changed.
  void Resign(std::uint64_t headerLba) {
    auto s = Lba(headerLba);
    std::uint32_t size = std::min<std::uint32_t>(ReadLe32(s, hdr::kHeaderSize), sectorSize);
    WriteLe32(s, hdr::kHeaderCrc, 0);
    WriteLe32(s, hdr::kHeaderCrc, Crc32(ByteView(s).first(size)));
  }
  // Both arrays' CRCs (and so both headers) made right after an entry changed.
  void ResignArrays() {
    for (std::uint64_t h : {gpt::kPrimaryHeaderLba, plan.backupHeaderLba}) {
      auto s = Lba(h);
      auto array = ByteView(Lba(ReadLe64(s, hdr::kEntriesLba), plan.arraySectors));
      WriteLe32(s, hdr::kEntriesCrc, Crc32(array.first(std::size_t{plan.entryCount} * gpt::kDefaultEntrySize)));
      Resign(h);
    }
  }
  // Entry `index` (from 1) of both arrays.
  void PutEntry64(std::uint32_t index, std::size_t field, std::uint64_t value) {
    for (std::uint64_t a : {plan.primaryEntriesLba, plan.backupEntriesLba}) {
      WriteLe64(Lba(a, plan.arraySectors), (index - 1) * gpt::kDefaultEntrySize + field, value);
    }
    ResignArrays();
  }

  // The table read from the image as a file, as a disk of `readAs`-byte sectors.
  GptRead Read(GptTable& table, std::uint32_t readAs = 0) const {
    test::TempDir dir;
    test::WriteWholeFile(dir.File("gpt.img"), std::string(bytes.begin(), bytes.end()));
    DeviceHandle disk;
    EXPECT_TRUE(OpenDevice(FromUtf8(dir.File("gpt.img")), disk));
    if (readAs == 0) readAs = sectorSize;
    GptRead read = ReadGpt(disk, readAs, bytes.size() / readAs, table);
    CloseDevice(disk);
    return read;
  }
};

void ExpectSamePartitions(const std::vector<GptPartition>& got, const std::vector<GptNewPartition>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i].index, i + 1);
    EXPECT_EQ(got[i].firstLba, want[i].firstLba);
    EXPECT_EQ(got[i].lastLba, want[i].lastLba);
    EXPECT_EQ(GuidText(got[i].type), gpt::kBasicDataType);
    EXPECT_EQ(got[i].unique, want[i].unique);
    EXPECT_TRUE(got[i].name.empty());
  }
}

TEST(Gpt, GuidsReadAndWriteInTheirMixedByteOrder) {
  Guid g{};
  ASSERT_TRUE(ParseGuid("ebd0a0a2-b9e5-4433-87c0-68b6b72699c7", g));
  EXPECT_EQ(g, (Guid{0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44, 0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7}));
  EXPECT_EQ(GuidText(g), gpt::kBasicDataType);
  EXPECT_FALSE(ParseGuid("EBD0A0A2-B9E5-4433-87C0-68B6B72699C", g));
  EXPECT_FALSE(ParseGuid("EBD0A0A2xB9E5-4433-87C0-68B6B72699C7", g));
  EXPECT_FALSE(ParseGuid("EBD0A0A2-B9E5-4433-87C0-68B6B72699CG", g));
  Guid a{}, b{};
  ASSERT_TRUE(NewRandomGuid(a));
  ASSERT_TRUE(NewRandomGuid(b));
  EXPECT_NE(a, b);
  EXPECT_EQ(GuidText(a)[14], '4') << "version 4: " << GuidText(a);
  EXPECT_NE(std::string("89AB").find(GuidText(a)[19]), std::string::npos) << GuidText(a);
}

TEST(Gpt, ANewTableReadsBackWholeInEverySectorSize) {
  for (std::uint32_t size : {512u, 1024u, 2048u, 4096u}) {
    SCOPED_TRACE(size);
    GptDisk disk(size, (2u << 20) / size);
    std::vector<std::uint8_t> old(size, 0x5A);
    ASSERT_EQ(disk.Build(old), GptBuildFault::kNone);
    EXPECT_EQ(disk.plan.arraySectors, 16384 / size);
    EXPECT_EQ(disk.plan.firstUsableLba, 2 + 16384 / size);
    EXPECT_EQ(disk.plan.lastUsableLba, disk.lbas - 2 - 16384 / size);

    GptTable table;
    ASSERT_EQ(disk.Read(table), GptRead::kPrimary);
    ExpectSamePartitions(table.partitions, disk.partitions);
    EXPECT_TRUE(table.entryProblems.empty());
    EXPECT_EQ(table.header.entryCount, 128u);
    EXPECT_EQ(table.header.alternateLba, disk.lbas - 1);

    GptHeader backup;
    ASSERT_EQ(ParseGptHeader(disk.Lba(disk.lbas - 1), disk.lbas - 1, disk.lbas, backup), GptFault::kNone);
    EXPECT_EQ(backup.alternateLba, 1u);
    EXPECT_EQ(backup.entriesLba, disk.plan.backupEntriesLba);
    EXPECT_EQ(backup.diskGuid, table.header.diskGuid);
    EXPECT_FALSE(IsZeroGuid(backup.diskGuid));

    auto mbr = disk.Lba(0);
    auto entries = ParseTableEntries(mbr);
    EXPECT_EQ(entries[0].type, mbr::kTypeGptProtective);
    EXPECT_EQ(entries[0].startLba, 1u);
    EXPECT_EQ(entries[0].sectorCount, disk.lbas - 1);
    EXPECT_EQ(entries[1].type, 0);
    EXPECT_TRUE(HasBootSignature(mbr));
    EXPECT_EQ(mbr[0], 0x5A) << "the boot code stays";
    EXPECT_EQ(mbr[511 + (size > 512 ? 1 : 0)], size > 512 ? 0x5A : 0xAA);
  }
}

TEST(Gpt, TheBuilderRefusesWhatNoTableCanHold) {
  GptDisk disk(512, 4096);
  GptPlan plan;
  EXPECT_FALSE(PlanGpt(67, 512, 1, plan)) << "two tables and one usable sector need 68";
  EXPECT_TRUE(PlanGpt(68, 512, 1, plan));
  EXPECT_FALSE(PlanGpt(4096, 1000, 1, plan));
  EXPECT_TRUE(PlanGpt(1 << 20, 512, 200, plan));
  EXPECT_EQ(plan.entryCount, 200u) << "200 entries take 50 whole sectors";
  struct Case {
    const char* what;
    std::function<void(std::vector<GptNewPartition>&)> change;
    GptBuildFault fault;
    std::size_t partition;
  };
  const std::vector<Case> cases = {
      {"before the first usable LBA", [](auto& p) { p[0].firstLba = 33; }, GptBuildFault::kOutsideUsable, 0},
      {"over the backup array", [&](auto& p) { p[2].lastLba = disk.plan.backupEntriesLba; },
       GptBuildFault::kOutsideUsable, 2},
      {"ends before it starts", [](auto& p) { p[1].lastLba = p[1].firstLba - 1; }, GptBuildFault::kReversed, 1},
      {"overlaps its predecessor", [](auto& p) { p[1].firstLba = p[0].lastLba; }, GptBuildFault::kOverlap, 1},
      {"without a GUID", [](auto& p) { p[2].unique = {}; }, GptBuildFault::kNoGuid, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GptBuildRequest request{disk.lbas, 512, disk.partitions, {}, {}};
    ASSERT_TRUE(NewRandomGuid(request.diskGuid));
    c.change(request.partitions);
    std::vector<GptPiece> pieces;
    std::size_t bad = 99;
    EXPECT_EQ(BuildGpt(request, pieces, &bad), c.fault);
    EXPECT_EQ(bad, c.partition);
    EXPECT_TRUE(pieces.empty());
  }
}

// Each hostile or damaged field of the primary: the primary is refused for
// that reason and the partitions come from the backup.
TEST(Gpt, ADamagedPrimaryIsRefusedForItsReasonAndTheBackupServes) {
  struct Case {
    const char* what;
    std::function<void(GptDisk&)> damage;
    GptFault fault;
  };
  auto field32 = [](std::size_t at, std::uint32_t v) {
    return [=](GptDisk& d) { WriteLe32(d.Lba(1), at, v); d.Resign(1); };
  };
  auto field64 = [](std::size_t at, std::uint64_t v) {
    return [=](GptDisk& d) { WriteLe64(d.Lba(1), at, v); d.Resign(1); };
  };
  const std::vector<Case> cases = {
      {"zeroed", [](GptDisk& d) { std::ranges::fill(d.Lba(1), 0); }, GptFault::kSignature},
      {"revision 2", field32(hdr::kRevision, 0x00020000), GptFault::kRevision},
      {"header of 91 bytes", field32(hdr::kHeaderSize, 91), GptFault::kHeaderSize},
      {"header larger than its sector", field32(hdr::kHeaderSize, 513), GptFault::kHeaderSize},
      {"a CRC that fails", [](GptDisk& d) { d.Lba(1)[hdr::kDiskGuid] ^= 1; }, GptFault::kHeaderCrc},
      {"at the wrong LBA", field64(hdr::kMyLba, 2), GptFault::kWrongLba},
      {"naming itself its twin", field64(hdr::kAlternateLba, 1), GptFault::kWrongLba},
      {"usable area past the disk", field64(hdr::kLastUsableLba, 4096), GptFault::kUsableArea},
      {"usable area reversed", field64(hdr::kFirstUsableLba, 4070), GptFault::kUsableArea},
      {"entry size 129", field32(hdr::kEntrySize, 129), GptFault::kEntrySize},
      {"entry size 384", field32(hdr::kEntrySize, 384), GptFault::kEntrySize},
      {"huge entry size", field32(hdr::kEntrySize, 0x80000000u), GptFault::kEntrySize},
      {"huge entry count", field32(hdr::kEntryCount, 0xFFFFFFFFu), GptFault::kEntryCount},
      {"an array over 4 MiB", field32(hdr::kEntryCount, 32769), GptFault::kEntryCount},
      {"no entries", field32(hdr::kEntryCount, 0), GptFault::kEntryCount},
      {"array past the disk's end", field64(hdr::kEntriesLba, 4090), GptFault::kEntryArrayPlace},
      {"array at a huge LBA", field64(hdr::kEntriesLba, ~std::uint64_t{0} - 3), GptFault::kEntryArrayPlace},
      {"array over the partitions", field64(hdr::kEntriesLba, 100), GptFault::kEntryArrayPlace},
      {"array over its header", field64(hdr::kEntriesLba, 1), GptFault::kEntryArrayPlace},
      {"array CRC that fails", [](GptDisk& d) { d.Lba(d.plan.primaryEntriesLba)[200] ^= 1; }, GptFault::kEntriesCrc},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GptDisk disk(512, 4096);
    ASSERT_EQ(disk.Build(), GptBuildFault::kNone);
    c.damage(disk);
    GptTable table;
    EXPECT_EQ(disk.Read(table), GptRead::kBackup);
    EXPECT_EQ(table.primaryFault, c.fault);
    EXPECT_TRUE(table.fromBackup);
    EXPECT_EQ(table.header.myLba, disk.lbas - 1);
    ExpectSamePartitions(table.partitions, disk.partitions);
  }
}

// Entries that cannot be a partition are left out, named with the reason;
// the others stay.
TEST(Gpt, EntriesThatCannotBeAPartitionAreLeftOut) {
  namespace e = gpt::entry;
  struct Case {
    const char* what;
    std::function<void(GptDisk&)> change;
    GptEntryProblem problem;
  };
  const std::vector<Case> cases = {
      {"ends before it starts", [](GptDisk& d) { d.PutEntry64(2, e::kLastLba, d.partitions[1].firstLba - 1); },
       {2, GptEntryFault::kReversed, 0}},
      {"starts at the largest LBA there is", [](GptDisk& d) { d.PutEntry64(2, e::kFirstLba, ~std::uint64_t{0}); },
       {2, GptEntryFault::kReversed, 0}},
      {"past the disk's end", [](GptDisk& d) { d.PutEntry64(3, e::kLastLba, d.lbas + 10); },
       {3, GptEntryFault::kPastDiskEnd, 0}},
      {"over the backup header", [](GptDisk& d) { d.PutEntry64(3, e::kLastLba, d.lbas - 1); },
       {3, GptEntryFault::kOutsideUsable, 0}},
      {"over the primary array", [](GptDisk& d) { d.PutEntry64(1, e::kFirstLba, 2); },
       {1, GptEntryFault::kOutsideUsable, 0}},
      {"over its predecessor's end", [](GptDisk& d) { d.PutEntry64(3, e::kFirstLba, d.partitions[1].lastLba); },
       {3, GptEntryFault::kOverlap, 2}},
      {"in front of an earlier entry, into its start",
       [](GptDisk& d) {
         d.PutEntry64(3, e::kFirstLba, d.partitions[0].lastLba + 1);
         d.PutEntry64(3, e::kLastLba, d.partitions[1].firstLba);
       },
       {3, GptEntryFault::kOverlap, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GptDisk disk(512, 4096);
    ASSERT_EQ(disk.Build(), GptBuildFault::kNone);
    c.change(disk);
    GptTable table;
    ASSERT_EQ(disk.Read(table), GptRead::kPrimary);
    ASSERT_EQ(table.entryProblems.size(), 1u);
    EXPECT_EQ(table.entryProblems[0].index, c.problem.index);
    EXPECT_EQ(table.entryProblems[0].fault, c.problem.fault);
    EXPECT_EQ(table.entryProblems[0].other, c.problem.other);
    ASSERT_EQ(table.partitions.size(), 2u);
    for (const GptPartition& p : table.partitions) EXPECT_NE(p.index, c.problem.index);
  }
}

TEST(Gpt, TheBackupIsFoundAtTheEndOrWhereThePrimaryPointsAndOnlyThere) {
  GptDisk disk(512, 4096);
  ASSERT_EQ(disk.Build(), GptBuildFault::kNone);
  GptTable table;
  // The image grew by 100 sectors: the backup is no longer at the end, and
  // the primary's array is damaged.
  GptDisk grown = disk;
  grown.lbas += 100;
  grown.bytes.resize(grown.bytes.size() + 100 * 512);
  grown.Lba(2)[0] ^= 1;
  EXPECT_EQ(grown.Read(table), GptRead::kBackup);
  EXPECT_EQ(table.header.myLba, disk.lbas - 1);
  ExpectSamePartitions(table.partitions, disk.partitions);
  // With the primary header gone too, nothing tells where the backup is.
  std::ranges::fill(grown.Lba(1), 0);
  EXPECT_EQ(grown.Read(table), GptRead::kAbsent);

  GptDisk both = disk;
  both.Lba(1)[hdr::kDiskGuid] ^= 1;
  both.Lba(disk.lbas - 1)[hdr::kDiskGuid] ^= 1;
  EXPECT_EQ(both.Read(table), GptRead::kDamaged);
  EXPECT_EQ(table.primaryFault, GptFault::kHeaderCrc);
  EXPECT_EQ(table.backupFault, GptFault::kHeaderCrc);
  EXPECT_TRUE(table.partitions.empty());

  GptDisk none(512, 4096);
  EXPECT_EQ(none.Read(table), GptRead::kAbsent);
  // Read with another sector size, the headers are not where that size
  // looks, and a size no disk has is no GPT at all.
  EXPECT_EQ(disk.Read(table, 4096), GptRead::kAbsent);
  EXPECT_FALSE(IsValidSectorSize(0));
  for (std::uint32_t size : {256u, 513u, 1000u, 3072u, 131072u}) {
    SCOPED_TRACE(size);
    EXPECT_FALSE(IsValidSectorSize(size));
    EXPECT_EQ(disk.Read(table, size), GptRead::kAbsent);
  }
  EXPECT_TRUE(IsValidSectorSize(65536));
}

struct SfdiskPartition {
  std::uint64_t start = 0, size = 0;
  std::string type, uuid;
  bool operator==(const SfdiskPartition&) const = default;
};

// The partitions `sfdisk --json` names, with `sfdisk --verify`'s verdict.
std::vector<SfdiskPartition> SfdiskPartitions(const std::string& device, bool& verified, std::string& said) {
  auto verify = test::RunCommand({"sfdisk", "--verify", device});
  said = verify.out + verify.err;
  verified = verify.exitCode == 0 && said.find("No errors detected") != std::string::npos;
  auto json = test::RunCommand({"sfdisk", "--json", device});
  said += json.err;
  std::vector<SfdiskPartition> out;
  static const std::regex entry(
      R"re("start":\s*(\d+),\s*"size":\s*(\d+),\s*"type":\s*"([0-9A-F-]+)",\s*"uuid":\s*"([0-9A-F-]+)")re");
  for (auto it = std::sregex_iterator(json.out.begin(), json.out.end(), entry); it != std::sregex_iterator(); ++it) {
    out.push_back({std::stoull((*it)[1]), std::stoull((*it)[2]), (*it)[3], (*it)[4]});
  }
  return out;
}

std::vector<SfdiskPartition> AsSfdisk(const std::vector<GptPartition>& partitions) {
  std::vector<SfdiskPartition> out;
  for (const GptPartition& p : partitions) {
    out.push_back({p.firstLba, p.lastLba - p.firstLba + 1, GuidText(p.type), GuidText(p.unique)});
  }
  return out;
}

// sfdisk reads a 4096-byte-sector image only through a loop device of that size.
std::string AsDevice(const std::string& image, std::uint32_t sectorSize, std::unique_ptr<test::LoopDevice>& loop,
                     bool writable = false) {
  if (sectorSize == 512) return image;
  loop = std::make_unique<test::LoopDevice>(image, test::LoopOptions{.readOnly = !writable, .sectorSize = sectorSize});
  EXPECT_FALSE(loop->device().empty()) << loop->error();
  return loop->device();
}

TEST(Gpt, SfdiskAcceptsANewTableAndSeesItsPartitions) {
  for (std::uint32_t size : {512u, 4096u}) {
    SCOPED_TRACE(size);
    if (size != 512 && geteuid() != 0) GTEST_SKIP() << "a loop device with 4096-byte sectors needs root";
    GptDisk disk(size, (32u << 20) / size);
    ASSERT_EQ(disk.Build(), GptBuildFault::kNone);
    test::TempDir dir;
    test::WriteWholeFile(dir.File("new.img"), std::string(disk.bytes.begin(), disk.bytes.end()));
    std::unique_ptr<test::LoopDevice> loop;
    bool verified = false;
    std::string said;
    auto seen = SfdiskPartitions(AsDevice(dir.File("new.img"), size, loop), verified, said);
    EXPECT_TRUE(verified) << said;
    GptTable table;
    ASSERT_EQ(disk.Read(table), GptRead::kPrimary);
    EXPECT_EQ(seen, AsSfdisk(table.partitions)) << said;
    EXPECT_EQ(seen.size(), 3u);
  }
}

TEST(Gpt, ReadsTheTableSfdiskWrites) {
  for (std::uint32_t size : {512u, 4096u}) {
    SCOPED_TRACE(size);
    if (size != 512 && geteuid() != 0) GTEST_SKIP() << "a loop device with 4096-byte sectors needs root";
    test::TempDir dir;
    const std::string image = dir.File("sfdisk.img");
    test::WriteWholeFile(image, "");
    std::filesystem::resize_file(image, 64 << 20);
    std::unique_ptr<test::LoopDevice> loop;
    const std::string device = AsDevice(image, size, loop, true);
    auto made = test::RunCommand({"sh", "-c", "printf 'label: gpt\\n,4M\\n,8M,0FC63DAF-8483-4772-8E79-3D69D8477DE4\\n"
                                               ",4M\\n' | sfdisk -q " + device});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    bool verified = false;
    std::string said;
    auto seen = SfdiskPartitions(device, verified, said);
    loop.reset();
    ASSERT_EQ(seen.size(), 3u) << said;
    DeviceHandle disk;
    ASSERT_TRUE(OpenDevice(FromUtf8(image), disk));
    GptTable table;
    EXPECT_EQ(ReadGpt(disk, size, (64u << 20) / size, table), GptRead::kPrimary);
    CloseDevice(disk);
    EXPECT_EQ(AsSfdisk(table.partitions), seen);
    EXPECT_TRUE(table.entryProblems.empty());
  }
}

// The primary mended from the backup alone is, byte for byte, the one
// sfdisk wrote; with the protective MBR gone too, that comes back as well.
TEST(Gpt, APrimaryMadeFromTheBackupIsTheOneSfdiskWrote) {
  test::TempDir dir;
  const std::string image = dir.File("sfdisk.img");
  test::WriteWholeFile(image, "");
  std::filesystem::resize_file(image, 32 << 20);
  auto made = test::RunCommand({"sh", "-c", "printf 'label: gpt\\n,4M\\n,8M\\n' | sfdisk -q " + image});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  const std::string whole = test::ReadWholeFile(image);
  const std::uint64_t lbas = whole.size() / 512;
  for (bool mbrToo : {false, true}) {
    SCOPED_TRACE(mbrToo ? "protective MBR zeroed too" : "primary only");
    std::string damaged = whole;
    std::fill(damaged.begin() + 512, damaged.begin() + 2 * 512, '\0');
    damaged[3 * 512] ^= 1;
    if (mbrToo) std::fill(damaged.begin(), damaged.begin() + 512, '\0');
    test::WriteWholeFile(image, damaged);
    DeviceHandle disk;
    ASSERT_TRUE(OpenDevice(FromUtf8(image), disk));
    GptTable backup;
    ASSERT_EQ(ReadGpt(disk, 512, lbas, backup), GptRead::kBackup);
    CloseDevice(disk);
    std::vector<GptPiece> pieces;
    ASSERT_EQ(BuildPrimaryFromBackup(backup, 512, lbas, std::vector<std::uint8_t>(damaged.begin(), damaged.begin() + 512),
                                     pieces),
              GptBuildFault::kNone);
    EXPECT_EQ(pieces.size(), mbrToo ? 3u : 2u);
    for (const GptPiece& piece : pieces) {
      std::copy(piece.bytes.begin(), piece.bytes.end(), damaged.begin() + static_cast<std::ptrdiff_t>(piece.lba * 512));
    }
    EXPECT_TRUE(std::equal(damaged.begin() + 512, damaged.begin() + 34 * 512, whole.begin() + 512))
        << "header and array as sfdisk wrote them";
    test::WriteWholeFile(image, damaged);
    bool verified = false;
    std::string said;
    EXPECT_EQ(SfdiskPartitions(image, verified, said).size(), 2u);
    EXPECT_TRUE(verified) << said;
  }
  // A backup whose array would not fit before the first usable LBA.
  GptDisk small(512, 4096);
  ASSERT_EQ(small.Build(), GptBuildFault::kNone);
  std::ranges::fill(small.Lba(1), 0);
  GptTable backup;
  ASSERT_EQ(small.Read(backup), GptRead::kBackup);
  backup.header.firstUsableLba = 20;
  std::vector<GptPiece> pieces;
  EXPECT_EQ(BuildPrimaryFromBackup(backup, 512, 4096, {}, pieces), GptBuildFault::kPlan);
  EXPECT_TRUE(pieces.empty());
}

}  // namespace
}  // namespace kestrum
