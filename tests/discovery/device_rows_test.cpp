#include "discovery/device_rows.h"

#include <gtest/gtest.h>

namespace kestrum {
namespace {

TEST(DeviceRows, VolumeRowReadsAsThePageShowsIt) {
  VolumeDescriptor v;
  v.name = u"sdb1";
  v.label = u"本地磁盘";
  v.fsKind = kFsExfat;
  v.sectorCount = 1048576;
  v.diskDescription = u"VNDR MODEL-1";
  VolumeRow row = FormatVolumeRow(v);
  EXPECT_EQ(row[0], u"sdb1");
  EXPECT_EQ(row[1], u"本地磁盘");
  EXPECT_EQ(row[2], u"EXFAT") << "the column names the reader, not the platform's spelling";
  EXPECT_EQ(row[3], u"0.50 GB");
  EXPECT_EQ(row[4], u"VNDR MODEL-1");
}

TEST(DeviceRows, UnknownKindsAndEmptyTextsShowABlank) {
  VolumeDescriptor v;
  v.fsKind = kFsScanArea;
  VolumeRow row = FormatVolumeRow(v);
  EXPECT_EQ(row[0], u" ");
  EXPECT_EQ(row[1], u" ");
  EXPECT_EQ(row[2], u" ");
  EXPECT_EQ(row[3], u"0.00 GB");
  EXPECT_EQ(row[4], u" ");
  for (FsKind kind : {kFsFat16, kFsFat32, kFsNtfs}) {
    v.fsKind = kind;
    EXPECT_NE(FormatVolumeRow(v)[2], u" ");
  }
}

}  // namespace
}  // namespace kestrum
