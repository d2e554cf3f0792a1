// Drive letters placed on a disk's partitions, from a made-up list of the
// machine's volumes and one disk's layout, as the volume functions and
// IOCTL_DISK_GET_DRIVE_LAYOUT_EX would give them.

#include <gtest/gtest.h>

#include "base/text.h"
#include "platform/windows/volumes.h"

namespace kestrum::wintest {
namespace {

using platform::SystemPartition;
using platform::win32::LayoutPartition;
using platform::win32::PartitionsOfDisk;
using platform::win32::VolumeRecord;

constexpr std::uint64_t kMiB = 1024 * 1024;

std::u16string Guid(char16_t n) { return u"\\\\?\\Volume{0b1c2d3e-0000-0000-0000-10000000000" + std::u16string(1, n) + u"}\\"; }

TEST(WindowsVolumes, DriveLettersOnTheirPartitions) {
  const std::vector<LayoutPartition> layout = {
      {1, 1 * kMiB, 100 * kMiB},      // the EFI system partition: a volume without a letter
      {2, 101 * kMiB, 50000 * kMiB},  // C:
      {3, 50101 * kMiB, 2000 * kMiB}, // mounted on a folder only
      {4, 52101 * kMiB, 1000 * kMiB}, // no volume of the system's (damaged, RAW)
  };
  const std::vector<VolumeRecord> volumes = {
      {Guid(u'1'), {u"H:\\"}, {{1, 1 * kMiB, 100 * kMiB}}},  // another disk at the same offset
      {Guid(u'2'), {u"C:\\"}, {{0, 101 * kMiB, 50000 * kMiB}}},
      {Guid(u'3'), {}, {{0, 1 * kMiB, 100 * kMiB}}},
      {Guid(u'4'), {u"C:\\mnt\\data\\"}, {{0, 50101 * kMiB, 2000 * kMiB}}},
      // Not in the layout the system gave (a volume the table does not list):
      // placed by its extent; its letter is its first drive root.
      {Guid(u'5'), {u"E:\\mnt\\", u"f:\\"}, {{0, 60000 * kMiB, 10 * kMiB}}},
      // Over two disks: no one partition holds it.
      {Guid(u'6'), {u"G:\\"}, {{0, 53101 * kMiB, 100 * kMiB}, {1, 200 * kMiB, 100 * kMiB}}},
      // No letter and not in the layout: nothing to name it by.
      {Guid(u'7'), {}, {{0, 70000 * kMiB, 10 * kMiB}}},
  };
  const std::u16string guid3 = Guid(u'3').substr(0, Guid(u'3').size() - 1);
  const std::u16string guid4 = Guid(u'4').substr(0, Guid(u'4').size() - 1);
  const std::vector<SystemPartition> expected = {
      {u"PhysicalDrive0#1", guid3, 1, 2048, 204800},
      {u"C:", u"\\\\.\\C:", 2, 206848, 102400000},
      {u"PhysicalDrive0#3", guid4, 3, 102606848, 4096000},
      {u"PhysicalDrive0#4", u"", 4, 106702848, 2048000},
      {u"f:", u"\\\\.\\f:", 0, 122880000, 20480},
  };
  const std::vector<SystemPartition> parts = PartitionsOfDisk(0, u"PhysicalDrive0", layout, volumes);
  ASSERT_EQ(parts.size(), expected.size());
  for (std::size_t i = 0; i < parts.size(); ++i) {
    SCOPED_TRACE(ToUtf8(expected[i].name));
    EXPECT_EQ(parts[i].name, expected[i].name);
    EXPECT_EQ(parts[i].volumePath, expected[i].volumePath);
    EXPECT_EQ(parts[i].number, expected[i].number);
    EXPECT_EQ(parts[i].startSector, expected[i].startSector);
    EXPECT_EQ(parts[i].sectorCount, expected[i].sectorCount);
  }
  // The other disk gets only what lies on it alone.
  const std::vector<SystemPartition> other = PartitionsOfDisk(1, u"PhysicalDrive1", {}, volumes);
  ASSERT_EQ(other.size(), 1u);
  EXPECT_EQ(other[0].name, u"H:");
  EXPECT_EQ(other[0].startSector, 2048u);
}

}  // namespace
}  // namespace kestrum::wintest
