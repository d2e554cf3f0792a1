// Run lists: decoding (signs, holes, damage), placing runs on the volume,
// mapping MFT records to sectors, and the MFT's own runs in record 0.

#include "fs/ntfs/run_list.h"

#include <gtest/gtest.h>

#include "base/byte_order.h"
#include "fs/ntfs/mft.h"
#include "ntfs_builder.h"

namespace kestrum {
namespace {

using test::Bytes;
using test::EncodeRuns;

VolumeDescriptor VolumeWith(std::uint8_t spc, Sector64 start, Sector64 sectors = 1 << 20) {
  VolumeDescriptor v;
  v.bootSector[13] = spc;
  v.startSector = start;
  v.sectorCount = sectors;
  return v;
}

std::vector<RunEntry> Decode(const Bytes& bytes, bool expect = true) {
  std::vector<RunEntry> runs;
  EXPECT_EQ(DecodeRunList(bytes, runs), expect);
  return runs;
}

TEST(DecodeRunList, ReadsLengthsAndSignedDeltas) {
  // 0x21: 1 length byte, 2 offset bytes.
  std::vector<RunEntry> runs = Decode({0x21, 0x10, 0x00, 0x01,                // 16 at +256
                                       0x03, 0x05, 0x00, 0xFF,                // a hole of 0xFF0005
                                       0x11, 0x20, 0x80,                      // 32 at -128
                                       0x23, 0x00, 0x00, 0x01, 0x34, 0x12,    // 65536 at +0x1234
                                       0x00});
  ASSERT_EQ(runs.size(), 4u);
  EXPECT_EQ(runs[0].length, 16u);
  EXPECT_EQ(runs[0].delta, 256);
  EXPECT_EQ(runs[1].length, 0xFF0005u) << "three length bytes";
  EXPECT_EQ(runs[1].delta, 0) << "no offset field";
  EXPECT_TRUE(runs[1].sparse);
  EXPECT_EQ(runs[2].delta, -128) << "sign-extended from the top stored byte";
  EXPECT_EQ(runs[3].length, 65536u);
  EXPECT_EQ(runs[3].delta, 0x1234);
  EXPECT_FALSE(runs[3].sparse);
}

TEST(DecodeRunList, KeepsWideFieldsWhole) {
  std::vector<RunEntry> runs =
      Decode(EncodeRuns({{-0x123456789LL, 0x1FFFFFFFFULL}, {0x100000000LL + 5, 7}}));
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].length, 0x1FFFFFFFFu);
  EXPECT_EQ(runs[0].delta, -0x123456789LL);
  EXPECT_EQ(runs[1].delta, 0x100000005LL);
  // A length no volume holds saturates instead of wrapping to a short run.
  RunEntry huge;
  huge.length = UINT64_MAX / 2;
  EXPECT_EQ(RunSectors(huge, 8), UINT64_MAX);
  EXPECT_EQ(RunSectors(runs[0], 8), 0x1FFFFFFFFull * 8);
}

TEST(DecodeRunList, StopsAtDamageAndAtTheEndOfTheBytes) {
  Bytes two = EncodeRuns({{100, 4}, {50, 8}}, /*terminate=*/false);
  EXPECT_EQ(Decode(two).size(), 2u) << "no terminator: the bytes end the list";

  Bytes cut = two;
  cut.pop_back();  // the second run loses its last offset byte
  ASSERT_EQ(Decode(cut).size(), 1u);
  EXPECT_EQ(Decode(cut)[0].delta, 100);

  Bytes wideNibble = EncodeRuns({{100, 4}}, false);
  wideNibble.insert(wideNibble.end(), {0x91, 0x01, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0});
  EXPECT_EQ(Decode(wideNibble).size(), 1u) << "an offset field above 8 bytes is damage";
  Bytes wideLength = EncodeRuns({{100, 4}}, false);
  wideLength.insert(wideLength.end(), {0x19, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 0});
  EXPECT_EQ(Decode(wideLength).size(), 1u);
  Bytes noLength = EncodeRuns({{100, 4}}, false);
  noLength.insert(noLength.end(), {0x20, 0x10, 0x00, 0x00});
  EXPECT_EQ(Decode(noLength).size(), 1u) << "a run without a length field is damage";

  Decode({}, false);
  Decode({0x00, 0x11, 0x01, 0x01}, false);
  Decode({0x33, 0x01}, false);
  std::vector<RunEntry> runs{RunEntry{}};
  DecodeRunList(Bytes{0x00}, runs);
  EXPECT_TRUE(runs.empty()) << "the output is cleared first";
}

TEST(ResolveRunSectors, AccumulatesDeltasFromTheVolumeStart) {
  VolumeDescriptor volume = VolumeWith(8, 2048);
  std::vector<RunEntry> runs = Decode(EncodeRuns({{100, 4}, {-30, 2}, {0, 3, true}, {10, 1}}));
  ResolveRunSectors(runs, volume);
  EXPECT_EQ(runs[0].startSector, 2048u + 800);
  EXPECT_EQ(runs[1].startSector, 2048u + 560);
  EXPECT_EQ(runs[2].startSector, 2048u + 560) << "a hole does not move the accumulator";
  EXPECT_EQ(runs[3].startSector, 2048u + 640);
}

TEST(MapRecordToSector, WalksTheRuns) {
  VolumeDescriptor volume = VolumeWith(8, 1000);  // 4 records a cluster
  std::vector<RunEntry> runs = Decode(EncodeRuns({{10, 2}, {90, 1}, {0, 5, true}, {5, 3}}));
  ResolveRunSectors(runs, volume);
  Sector64 s = 0;
  ASSERT_TRUE(MapRecordToSector(0, volume, runs, s));
  EXPECT_EQ(s, 1080u);
  ASSERT_TRUE(MapRecordToSector(7, volume, runs, s));
  EXPECT_EQ(s, 1080u + 14);
  ASSERT_TRUE(MapRecordToSector(8, volume, runs, s));
  EXPECT_EQ(s, 1800u) << "the first record of the second run";
  ASSERT_TRUE(MapRecordToSector(11, volume, runs, s));
  EXPECT_EQ(s, 1806u);
  EXPECT_FALSE(MapRecordToSector(12, volume, runs, s)) << "inside the hole";
  EXPECT_FALSE(MapRecordToSector(31, volume, runs, s));
  ASSERT_TRUE(MapRecordToSector(32, volume, runs, s));
  EXPECT_EQ(s, 1000u + 8 * 105);
  ASSERT_TRUE(MapRecordToSector(43, volume, runs, s));
  EXPECT_FALSE(MapRecordToSector(44, volume, runs, s)) << "beyond the last run";

  VolumeDescriptor oneSector = VolumeWith(1, 0);  // a record needs two clusters
  std::vector<RunEntry> small = Decode(EncodeRuns({{10, 3}, {10, 4}}));
  ResolveRunSectors(small, oneSector);
  ASSERT_TRUE(MapRecordToSector(1, oneSector, small, s));
  EXPECT_EQ(s, 20u) << "a run of 3 sectors holds one record";
  EXPECT_EQ(s, small[1].startSector);

  EXPECT_FALSE(MapRecordToSector(0, VolumeWith(0, 0), runs, s)) << "no cluster size";
  EXPECT_FALSE(MapRecordToSector(0, VolumeWith(6, 0), runs, s)) << "not a power of two";
  VolumeDescriptor atZero = VolumeWith(8, 0);
  std::vector<RunEntry> high = Decode(EncodeRuns({{0x1FFFFFFF, 4}}));
  ResolveRunSectors(high, atZero);
  ASSERT_TRUE(MapRecordToSector(3, atZero, high, s));
  EXPECT_EQ(s, 0xFFFFFFFEu);
  ASSERT_TRUE(MapRecordToSector(15, atZero, high, s));
  EXPECT_EQ(s, 0x100000016u) << "past 32 bits";
  // An NTFS volume that starts beyond 2^32 sectors.
  VolumeDescriptor far = VolumeWith(8, 5000000000);
  std::vector<RunEntry> farRuns = Decode(EncodeRuns({{786432, 16}}));
  ResolveRunSectors(farRuns, far);
  ASSERT_TRUE(MapRecordToSector(5, far, farRuns, s));
  EXPECT_EQ(s, 5000000000u + 786432u * 8 + 10);
}

TEST(CountMftRecords, IsBoundedByWhatTheVolumeHolds) {
  VolumeDescriptor volume = VolumeWith(8, 0, 65536);
  std::vector<RunEntry> runs = Decode(EncodeRuns({{4, 16}, {100, 3}}));
  EXPECT_EQ(CountMftRecords(runs, volume), 76u);
  std::vector<RunEntry> hostile = Decode(EncodeRuns({{4, 0x80000000ULL}, {4, 0xFFFFFFFFULL}}));
  EXPECT_EQ(CountMftRecords(hostile, volume), 32768u);
  volume.sectorCount = 0;
  WriteLe64(volume.bootSector, 0x28, 4000);
  EXPECT_EQ(CountMftRecords(hostile, volume), 2000u) << "the boot sector's size when the descriptor has none";
}

TEST(DecodeMftRecordRuns, NeedsANonResidentData) {
  VolumeDescriptor volume = VolumeWith(8, 2048);
  test::RecordBuilder good(0, 1);
  good.FileName(5, u"$MFT", 3).NonResidentData(EncodeRuns({{16, 64}, {1000, 8}}), 294912);
  std::vector<RunEntry> runs;
  ASSERT_TRUE(DecodeMftRecordRuns(good.Build(), volume, runs));
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].startSector, 2048u + 128);
  EXPECT_EQ(runs[1].startSector, 2048u + 8128);

  test::RecordBuilder resident(0, 1);
  resident.FileName(5, u"$MFT", 3).ResidentData("not a run list");
  EXPECT_FALSE(DecodeMftRecordRuns(resident.Build(), volume, runs));
  EXPECT_TRUE(runs.empty());

  test::RecordBuilder none(0, 1);
  none.FileName(5, u"$MFT", 3);
  EXPECT_FALSE(DecodeMftRecordRuns(none.Build(), volume, runs));

  // Fewer than three run-list bytes cannot hold a run.
  Bytes shortList = good.Build();
  WriteLe16(shortList, good.AttributeOffset(1) + 0x20,
            static_cast<std::uint16_t>(ReadLe32(shortList, good.AttributeOffset(1) + 4) - 2));
  EXPECT_FALSE(DecodeMftRecordRuns(shortList, volume, runs));

  Bytes zeroList = good.Build();
  zeroList[good.AttributeOffset(1) + 0x40] = 0;
  EXPECT_FALSE(DecodeMftRecordRuns(zeroList, volume, runs)) << "a run list with no run";
}

}  // namespace
}  // namespace kestrum
