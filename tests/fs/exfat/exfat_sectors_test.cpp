#include "fs/exfat/exfat_sectors.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "exfat_image.h"
#include "fs/exfat/exfat_layout.h"
#include "fs/exfat/exfat_reader.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

using test::EntrySetBytes;
using test::Join;
using test::EntrySetFields;

EntrySetFields Named(const std::string& name, bool deleted = false) {
  EntrySetFields s;
  s.name = name;
  s.deleted = deleted;
  s.size = 10;
  s.firstCluster = 9;
  return s;
}

std::vector<std::uint8_t> Sector(std::vector<std::uint8_t> bytes) {
  bytes.resize(512, 0);
  return bytes;
}

// A root directory's first sector: label, bitmap, up-case, one set.
std::vector<std::uint8_t> GoodRoot() {
  return Sector(Join({test::LabelEntry("DISK"), test::BitmapEntry(2, 100), test::UpcaseEntry(3),
                      EntrySetBytes(Named("a.txt"))}));
}

TEST(IsExfatRootSector, AcceptsTheRootAndRejectsEachFieldChanged) {
  EXPECT_TRUE(IsExfatRootSector(GoodRoot()));
  auto root = GoodRoot();
  root[0] = 0x03;
  EXPECT_TRUE(IsExfatRootSector(root)) << "a deleted label";
  root = Sector(Join({test::LabelEntry(""), test::BitmapEntry(2, 100), test::UpcaseEntry(3),
                      EntrySetBytes(Named("a.txt"))}));
  EXPECT_TRUE(IsExfatRootSector(root)) << "an empty label";

  struct Change {
    const char* what;
    std::size_t offset;
    std::uint8_t value;
  };
  const Change changes[] = {
      {"entry 0 not a label", 0, 0x85},
      {"label count above 15", 1, 16},
      {"a counted label character zero", 2 + 2 * 2, 0},
      {"a byte after the label characters", 2 + 2 * 4, 'x'},
      {"last byte of the label entry", 31, 1},
      {"entry 1 not the bitmap", 32, 0x82},
      {"entry 2 not the up-case table", 64, 0x81},
      {"no set after the system entries", 96, 0x00},
      {"an unknown entry type in the set", 128, 0xA5},
  };
  for (const Change& c : changes) {
    root = GoodRoot();
    root[c.offset] = c.value;
    EXPECT_FALSE(IsExfatRootSector(root)) << c.what;
  }
  EXPECT_FALSE(IsExfatRootSector(ByteView(GoodRoot()).first(511))) << "short buffer";
}

TEST(IsEntrySetSector, SequencesOfSetsPassAndMisorderedEntriesFail) {
  auto sets = Sector(Join({EntrySetBytes(Named("one")), EntrySetBytes(Named("two", true)),
                           EntrySetBytes(Named("a name of more than fifteen chars"))}));
  EXPECT_TRUE(IsEntrySetSector(0, sets));
  EXPECT_FALSE(IsEntrySetSector(16, sets));
  EXPECT_TRUE(IsEntrySetSector(3, sets)) << "from the second set on";
  EXPECT_FALSE(IsEntrySetSector(10, sets)) << "only the tail of the last set: none completed";

  // A sector full of sets, without an end entry.
  std::vector<std::uint8_t> full;
  for (int i = 0; i < 5; ++i) full = Join({full, EntrySetBytes(Named("f" + std::to_string(i)))});
  full.push_back(0);
  full.resize(512, 0);
  full[15 * 32] = 0x85;  // a set that continues in the next sector
  full[15 * 32 + 1] = 2;
  EXPECT_TRUE(IsEntrySetSector(0, full));

  // The tail of a set from the previous sector, then a set; a label between sets.
  auto tail = EntrySetBytes(Named("a name of more than fifteen chars"));
  tail.erase(tail.begin(), tail.begin() + 64);  // its two name entries
  EXPECT_TRUE(IsEntrySetSector(0, Sector(Join({tail, test::LabelEntry("L"), EntrySetBytes(Named("x"))}))));
  EXPECT_FALSE(IsEntrySetSector(0, Sector(tail))) << "no set completed";

  struct Case {
    const char* what;
    std::vector<std::uint8_t> sector;
  };
  auto one = EntrySetBytes(Named("one"));  // file, stream, name
  auto missingStream = one;
  missingStream.erase(missingStream.begin() + 32, missingStream.begin() + 64);
  auto twoStreams = one;
  twoStreams.insert(twoStreams.begin() + 64, one.begin() + 32, one.begin() + 64);
  auto fileInSet = one;
  fileInSet.insert(fileInSet.begin() + 64, one.begin(), one.begin() + 32);
  auto labelInSet = one;
  auto label = test::LabelEntry("L");
  labelInSet.insert(labelInSet.begin() + 64, label.begin(), label.end());
  auto badLabel = Join({test::LabelEntry("L"), one});
  badLabel[1] = 20;
  const Case cases[] = {
      {"a name where the stream belongs", missingStream},
      {"a second stream", twoStreams},
      {"a file entry inside a set", fileInSet},
      {"a label inside a set", labelInSet},
      {"a malformed label", badLabel},
      {"the bitmap entry", Join({one, test::BitmapEntry(2, 1)})},
  };
  for (const Case& c : cases) EXPECT_FALSE(IsEntrySetSector(0, Sector(c.sector))) << c.what;
  EXPECT_FALSE(IsEntrySetSector(0, std::vector<std::uint8_t>(512, 0))) << "an empty sector";
}

// The boot-sector checks and the label, on a volume in an image.
class BootChecks : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ExfatLayout layout;
    layout.startSector = 100;
    image_ = test::ExfatImage(layout);
    image_.WriteRoot(EntrySetBytes(Named("file.txt")));
  }
  DeviceHandle Open() {
    image_.WriteTo(dir_.File("disk.img"));
    DeviceHandle device;
    EXPECT_TRUE(OpenDevice(FromUtf8(dir_.File("disk.img")), device));
    return device;
  }
  std::vector<std::uint8_t> Boot() { return image_.image().Sector(100); }

  test::TempDir dir_;
  test::ExfatImage image_;
};

TEST_F(BootChecks, CheckExfatAtNeedsTheRootSectorAndTheMediaEntry) {
  DeviceHandle device = Open();
  EXPECT_TRUE(CheckExfatAt(100, Boot(), device));
  EXPECT_FALSE(CheckExfatAt(99, Boot(), device)) << "the wrong start";
  auto boot = Boot();
  boot[exfatboot::kClusterShift] = 40;
  EXPECT_FALSE(CheckExfatAt(100, boot, device)) << "an impossible cluster size";
  boot = Boot();
  WriteLe32(boot, exfatboot::kRootCluster, 0);
  EXPECT_FALSE(CheckExfatAt(100, boot, device)) << "no root cluster";
  CloseDevice(device);

  image_.SetFat(0, 0xFFFFFFF0);
  device = Open();
  EXPECT_FALSE(CheckExfatAt(100, Boot(), device)) << "FAT entry 0 is not the media entry";
  CloseDevice(device);
}

TEST_F(BootChecks, TheLabelAndTheDescriptorOfAFoundBootSector) {
  DeviceHandle device = Open();
  VolumeDescriptor made;
  made.label = u"old";
  made.name = u"left over";
  MakeExfatDescriptor(made, device, Boot(), 100);
  EXPECT_EQ(made.label, u"TESTVOL");
  EXPECT_TRUE(made.name.empty()) << "the descriptor starts from zero";
  EXPECT_EQ(made.startSector, 100u);
  EXPECT_EQ(made.fsKind, kFsExfat);
  EXPECT_EQ(made.partitionType, 7) << "so that the export picks the exFAT copy routine";
  EXPECT_EQ(made.sectorCount, image_.layout().heapOffset + image_.layout().clusterCount);
  EXPECT_TRUE(std::equal(made.bootSector.begin(), made.bootSector.end(), Boot().begin()));
  CloseDevice(device);

  // Only a live label counts; a deleted one, or none, leaves the label alone.
  image_.PutInClusters({4}, Join({test::LabelEntry("GONE", true), test::BitmapEntry(2, 50)}));
  device = Open();
  VolumeDescriptor v = image_.Descriptor(dir_.File("disk.img"));
  v.label = u"kept";
  EXPECT_FALSE(ReadExfatLabel(device, v));
  EXPECT_EQ(v.label, u"kept");
  CloseDevice(device);
}

}  // namespace
}  // namespace kestrum
