// Findings: what an MFT record, an INDX block and a FAT directory sector
// leave in the payload, the completion of a record cut by a block's end,
// and the lengths the files found by signature get.

#include <gtest/gtest.h>

#include <cstring>

#include "base/text.h"
#include "platform/fault_injection.h"
#include "fs/ntfs/ntfs_builder.h"
#include "scan/block_findings.h"
#include "scan/file_extents.h"
#include "scan/scan_finding.h"
#include "support/run_state.h"
#include "support/sector_image.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

using test::Bytes;
using test::RecordBuilder;

ScanFinding Summary(const Bytes& record) {
  ScanFinding f;
  SummariseRecordBytes(ByteView(record), f);
  return f;
}

TEST(RecordSummary, WindowsNameParentNumberAndNonResidentData) {
  Bytes runs = test::EncodeRuns({{100, 3}});
  RecordBuilder r(70, 1);
  r.StandardInfo(1, 2).FileName(66, u"REPORT~1.DOC", 2).FileName(69, u"Report final.doc", 1);
  r.NonResidentData(runs, 10000);
  ScanFinding f = Summary(r.Build());
  EXPECT_EQ(f.Name(), u"Report final.doc") << "the DOS name does not count";
  EXPECT_EQ(f.NameLength(), 16u);
  EXPECT_EQ(f.wordA, 69u) << "the parent of the name taken";
  EXPECT_EQ(f.wordB, 70u);
  EXPECT_EQ(f.flags, finding_flags::kInUse);
  EXPECT_EQ(f.size, 10000u);
  EXPECT_EQ(f.allocatedSize, 12288u);
  ASSERT_GE(f.Runs().size(), runs.size());
  EXPECT_TRUE(std::equal(runs.begin(), runs.end(), f.Runs().begin())) << "the run list is copied";
  EXPECT_EQ(f.dataLength, f.Runs().size());
}

TEST(RecordSummary, ResidentDataDirectoriesAndPosixNames) {
  RecordBuilder file(80, 0);  // a deleted file
  file.FileName(5, u"gone.txt", 0).ResidentData("hello");
  ScanFinding f = Summary(file.Build());
  EXPECT_EQ(f.Name(), u"gone.txt") << "volumes Linux wrote carry POSIX names only";
  EXPECT_EQ(f.flags, finding_flags::kResidentData);
  EXPECT_EQ(f.size, 5u);
  EXPECT_TRUE(f.Runs().empty()) << "the resident content stays in its record";
  EXPECT_EQ(f.dataLength, 0u) << "no run list";

  RecordBuilder both(81, 1);
  both.FileName(7, u"posix", 0).FileName(8, u"win32", 3);
  f = Summary(both.Build());
  EXPECT_EQ(f.Name(), u"win32") << "a Win32-and-DOS name wins over a POSIX one";
  EXPECT_EQ(f.wordA, 8u);

  RecordBuilder dir(90, 3);
  dir.FileName(5, u"many", 1).IndexRoot({}).IndexAllocation(test::EncodeRuns({{400, 1}}));
  f = Summary(dir.Build());
  EXPECT_EQ(f.flags, finding_flags::kInUse | finding_flags::kDirectory | finding_flags::kHasIndexAllocation);
  EXPECT_EQ(f.size, 0u);
  EXPECT_TRUE(f.Runs().empty());
}

TEST(RecordSummary, DataBeforeTheNameAndRecordsThatStopEarly) {
  RecordBuilder early(82, 1);
  early.ResidentData("not mine").FileName(5, u"late.txt", 1);
  ScanFinding f = Summary(early.Build());
  EXPECT_EQ(f.Name(), u"late.txt");
  EXPECT_EQ(f.size, 0u) << "only a $DATA after the name counts";
  EXPECT_TRUE(f.Runs().empty());

  RecordBuilder view(9, 9);  // in use + view index ($Secure)
  view.FileName(5, u"$Secure", 3);
  f = Summary(view.Build());
  EXPECT_EQ(f.wordB, 0u) << "flags above 3 leave the payload empty";
  EXPECT_TRUE(f.Name().empty());

  RecordBuilder unnamed(83, 1);
  unnamed.FileName(12, u"DOSNAME.TXT", 2).ResidentData("x");
  f = Summary(unnamed.Build());
  EXPECT_TRUE(f.Name().empty());
  EXPECT_EQ(f.wordA, 12u) << "every $FILE_NAME sets the parent";
  EXPECT_EQ(f.wordB, 83u);
  EXPECT_EQ(f.size, 0u) << "without a name nothing more is taken";

  // A name length reaching past its attribute is not a name.
  Bytes bad = RecordBuilder(84, 1).FileName(5, u"ab", 1).Build();
  bad[0x38 + 0x18 + 0x40] = 200;  // the first attribute's value starts at 0x18
  f = Summary(bad);
  EXPECT_TRUE(f.Name().empty());
  // A truncated record is read as far as it goes.
  f = Summary(Bytes(bad.begin(), bad.begin() + 0x40));
  EXPECT_TRUE(f.Name().empty());
}

// A record written across sectors 8191 and 8192 of an image: the scan's
// block ends between its two halves.
class BlockEndRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    test::PrepareRun();
    testing::ClearReadFaults();
  }
  void TearDown() override { testing::ClearReadFaults(); }

  // The image, the scan of its first block, and the record's finding.
  ScanFinding ScanFirstBlock(std::uint64_t imageSectors, bool fillSecondHalf = true) {
    RecordBuilder r(4242, 1);
    // The name and data sit in the record's second half.
    r.StandardInfo(1, 2).Resident(0x40, Bytes(440, 0x11)).FileName(77, u"straddles.bin", 1);
    r.NonResidentData(test::EncodeRuns({{50, 2}}), 7000);
    Bytes record = r.Build();
    test::SectorImage image(imageSectors);
    image.PutBytes(8191, 0, record.data(), 512);
    if (fillSecondHalf && imageSectors > 8192) image.PutBytes(8192, 0, record.data() + 512, 512);
    path_ = dir_.File("straddle.img");
    image.WriteTo(path_);
    DeviceHandle device;
    EXPECT_TRUE(OpenDevice(FromUtf8(path_), device));
    std::vector<std::uint8_t> block(8192 * 512);
    EXPECT_TRUE(ReadSectors(device, block, 0, 8192));
    std::vector<ScanFinding> findings;
    CollectBlockFindings(block, 0, device, findings);
    CloseDevice(device);
    EXPECT_EQ(findings.size(), 1u);
    return findings.empty() ? ScanFinding{} : findings[0];
  }

  test::TempDir dir_;
  std::string path_;
};

TEST_F(BlockEndRecord, TheSecondHalfIsReadFromTheDevice) {
  ScanFinding f = ScanFirstBlock(16384);
  EXPECT_EQ(f.category, kCategoryFileRecord);
  EXPECT_EQ(f.sector, 8191u);
  EXPECT_EQ(f.wordB, 4242u);
  EXPECT_EQ(f.Name(), u"straddles.bin");
  EXPECT_EQ(f.wordA, 77u);
  EXPECT_EQ(f.size, 7000u);
}

TEST_F(BlockEndRecord, AnUnreadableOrMissingSecondHalfIsZeros) {
  // Both tries fail: the half stays zero and the name, there, is lost.
  ScanFinding readable = ScanFirstBlock(16384);
  ASSERT_EQ(readable.Name(), u"straddles.bin");
  testing::InjectReadFault(path_, 8192, 1);
  DeviceHandle device;
  ASSERT_TRUE(OpenDevice(FromUtf8(path_), device));
  std::vector<std::uint8_t> block(8192 * 512);
  ASSERT_TRUE(ReadSectors(device, block, 0, 8192));
  std::vector<ScanFinding> findings;
  CollectBlockFindings(block, 0, device, findings);
  CloseDevice(device);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].wordB, 4242u) << "the header is in the first half";
  EXPECT_TRUE(findings[0].Name().empty());

  // The record's first sector is the device's last: nothing is read past it.
  ScanFinding atEnd = ScanFirstBlock(8192);
  EXPECT_EQ(atEnd.wordB, 4242u);
  EXPECT_TRUE(atEnd.Name().empty());
  EXPECT_EQ(CurrentRunState(), RunState::kRunning);
}

TEST(IndexBlockSummary, FirstNamedEntryWithinTheFirstSector) {
  auto parentAt = [](Bytes& block, std::size_t entry, std::uint32_t parent) {
    WriteLe32(block, entry + 0x10, parent);
  };
  // Entries of "a" (DOS), "bb" (POSIX), "ccc" (Win32): 0x58 bytes each, from 0x40.
  Bytes block = test::EncodeIndxBlock({{10, u"A", 2}, {11, u"bb", 0}, {12, u"ccc", 1}});
  parentAt(block, 0x40, 1);
  parentAt(block, 0x98, 2);
  parentAt(block, 0xF0, 3);
  ScanFinding f;
  SummariseIndexBlock(ByteView(block).first(512), f);
  EXPECT_EQ(f.wordA, 3u) << "the first Win32 entry";

  Bytes posixOnly = test::EncodeIndxBlock({{10, u"A", 2}, {11, u"bb", 0}});
  parentAt(posixOnly, 0x40, 1);
  parentAt(posixOnly, 0x98, 2);
  f = ScanFinding{};
  SummariseIndexBlock(ByteView(posixOnly).first(512), f);
  EXPECT_EQ(f.wordA, 2u) << "a POSIX entry when there is no Win32 one";

  // An entry that starts at 432 or later is not looked at.
  Bytes late = test::EncodeIndxBlock({{12, u"ccc", 1}});
  WriteLe32(late, 0x18, 432 - 0x18);
  std::memmove(late.data() + 432, late.data() + 0x40, 0x58);
  f = ScanFinding{};
  SummariseIndexBlock(ByteView(late).first(512), f);
  EXPECT_EQ(f.wordA, 0u);

  // A zero entry length ends the walk; so does a huge offset.
  Bytes zero = block;
  WriteLe16(zero, 0x40 + 8, 0);
  f = ScanFinding{};
  SummariseIndexBlock(ByteView(zero).first(512), f);
  EXPECT_EQ(f.wordA, 0u);
  WriteLe32(zero, 0x18, 0xFFFFFFF0);
  SummariseIndexBlock(ByteView(zero).first(512), f);
  EXPECT_EQ(f.wordA, 0u);
}

TEST(MakeFinding, BootSectorCopiesAndFatDotClusters) {
  std::vector<std::uint8_t> block(2 * 512, 0);
  block[512 + 7] = 0x42;
  ScanFinding boot = MakeFinding(kCategoryNtfsBoot, block, 1, 9, DeviceHandle{});
  ASSERT_EQ(boot.SectorCopy().size(), 512u);
  EXPECT_EQ(boot.SectorCopy()[7], 0x42);
  EXPECT_EQ(boot.sector, 9u);
  EXPECT_EQ(boot.wordA, 0u);

  std::memcpy(block.data(), ".          \x10", 12);
  std::memcpy(block.data() + 32, "..         \x10", 12);
  WriteLe16(block, 0x14, 0x0001);  // high word of "."
  WriteLe16(block, 0x1A, 0x2345);
  WriteLe16(block, 0x20 + 0x14, 0);
  WriteLe16(block, 0x20 + 0x1A, 0x0002);
  ScanFinding dots = MakeFinding(kCategoryFatDir, block, 0, 100, DeviceHandle{});
  EXPECT_EQ(dots.wordA, 0x00012345u);
  EXPECT_EQ(dots.wordB, 2u);
  EXPECT_TRUE(dots.bytes.Empty());
  // A position past the block gives an empty payload, not a read past it.
  ScanFinding outside = MakeFinding(kCategoryMbr, block, 2, 2, DeviceHandle{});
  EXPECT_TRUE(outside.bytes.Empty());
}

TEST(FindingBytes, EveryPartComesBackWholeAlsoFromACopy) {
  // Odd lengths put the run list at an odd place after the sector copy.
  const std::vector<std::uint8_t> sector(511, 0x5A), runs{0x11, 0x02, 0x30}, none;
  struct Case {
    const std::vector<std::uint8_t>& copy;
    std::u16string_view name;
    const std::vector<std::uint8_t>& runs;
  };
  for (const Case& c : {Case{sector, u"", none}, Case{none, u"报告 1.doc", runs}, Case{sector, u"x", runs},
                        Case{none, u"", runs}}) {
    const FindingBytes made(c.copy, c.name, c.runs);
    FindingBytes assigned;
    assigned = made;
    const FindingBytes constructed(assigned);
    for (const FindingBytes* b : std::initializer_list<const FindingBytes*>{&made, &assigned, &constructed}) {
      EXPECT_TRUE(std::ranges::equal(b->SectorCopy(), c.copy));
      EXPECT_EQ(b->Name(), c.name);
      EXPECT_TRUE(std::ranges::equal(b->Runs(), c.runs));
    }
  }
  EXPECT_TRUE(FindingBytes(none, u"", none).Empty()) << "nothing to keep costs no block";
}

ScanFinding At(ScanCategory category, Sector64 sector) {
  ScanFinding f;
  f.category = category;
  f.sector = sector;
  return f;
}

TEST(FileExtents, UpToTheNextFindingOfAnyKind) {
  std::vector<ScanFinding> findings = {At(kCategoryJpg, 100), At(kCategoryPng, 101), At(kCategoryFileRecord, 150),
                                       At(kCategoryZip, 150), At(kCategoryExfatDir, 150), At(kCategoryPdf, 1000)};
  AssignFileExtents(findings, 1100);
  EXPECT_EQ(findings[0].FileLength(), 512u) << "one sector apart";
  EXPECT_EQ(findings[1].FileLength(), 49u * 512);
  EXPECT_EQ(findings[2].wordA, 0u) << "structures keep their payload";
  EXPECT_EQ(findings[3].FileLength(), 0u) << "the next finding is at the same sector";
  EXPECT_EQ(findings[5].FileLength(), 100u * 512) << "the last runs to the area's end";

  std::vector<ScanFinding> beyond = {At(kCategoryPdf, 2000)};
  AssignFileExtents(beyond, 2000);
  EXPECT_EQ(beyond[0].FileLength(), 0u);
}

TEST(FileExtents, CappedAt600MiBAndExactAtTheEndOf2TiB) {
  const Sector64 end = Sector64{1} << 32;  // a disk of 2^32 sectors
  std::vector<ScanFinding> findings = {At(kCategoryMp4, 0), At(kCategoryMp4, 0x80000000u),
                                       At(kCategoryAvi, 0xFFFFFFFFu)};
  AssignFileExtents(findings, end);
  EXPECT_EQ(findings[0].FileLength(), kMaxFileExtentSectors * 512);
  EXPECT_EQ(findings[0].wordB, 0u);
  EXPECT_EQ(findings[1].FileLength(), 629145600u) << "600 MiB at most";
  EXPECT_EQ(findings[2].FileLength(), 512u) << "the last sector of the disk";
  // A length above 4 GiB would need the high word: with the cap it never does,
  // but the word is written all the same.
  std::vector<ScanFinding> one = {At(kCategoryRar, 5)};
  one[0].wordB = 7;
  AssignFileExtents(one, 6);
  EXPECT_EQ(one[0].wordB, 0u);
  EXPECT_EQ(one[0].wordA, 512u);
}

}  // namespace
}  // namespace kestrum
