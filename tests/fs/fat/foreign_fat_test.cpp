// FAT volumes as other systems and damage leave them: made by mkfs.vfat and
// mtools, then edited byte by byte where no Linux tool writes the case.

#include <gtest/gtest.h>

#include "base/text.h"
#include "fat_test_support.h"
#include "fs/fat/fat_export.h"
#include "fs/fat/fat_reader.h"
#include "fs/tree/node_array.h"
#include "support/run_state.h"
#include "support/temp_dir.h"
#include "support/tree_walk.h"

namespace kestrum {
namespace {

using Paths = std::vector<std::string>;

// The paths a view shows (1 existing, 2 deleted), LostFile included.
Paths ViewPaths(const VolumeDescriptor& v, std::int32_t view) {
  Paths paths;
  for (const auto& [path, index] : test::TreePaths(v, view)) paths.push_back(path);
  return paths;
}

// The bytes the copy routine gives back for the node at `path`.
std::string Exported(const VolumeDescriptor& v, const std::string& path, const test::TempDir& dir) {
  const auto paths = test::TreePaths(v);
  auto it = paths.find(path);
  if (it == paths.end()) return "(not listed)";
  OutputFile out;
  EXPECT_TRUE(out.Create(dir.File("out.bin")));
  StatusMessage status;
  EXPECT_TRUE(ExportFatFile(v, NodesOf(v)->nodes[it->second], out, status)) << path;
  out.Close();
  return test::ReadWholeFile(dir.File("out.bin"));
}

VolumeDescriptor ReadImage(const test::MtoolsFat& fat) {
  test::PrepareRun();
  VolumeDescriptor v = fat.Descriptor();
  EXPECT_TRUE(ReadFatVolume(v)) << fat.path();
  return v;
}

// Systems that write 8.3 names themselves may put spaces inside them; only
// the padding at the end of each part goes.
TEST(ForeignFat, ShortNamesKeepTheSpacesInsideThem) {
  test::TempDir dir;
  test::MtoolsFat fat(dir.File("pad.img"), "16", "16M", "PADS");
  fat.Run({"mmd", "::pad"});
  for (char i : {'0', '1', '2'}) fat.Put(std::string("pad/PADX000") + i + ".XPD", std::string("pad ") + i);
  fat.Put("pad/AB.E", "short");
  ASSERT_EQ(fat.EditEntries("PADX000", [](std::uint8_t* e) { e[3] = ' ', e[8] = ' '; }), 3);
  ASSERT_EQ(fat.EditEntries("AB      E  ", [](std::uint8_t* e) { e[3] = 'C', e[9] = 'F'; }), 1);

  VolumeDescriptor v = ReadImage(fat);
  EXPECT_EQ(ViewPaths(v, 1), (Paths{"LostFile", "pad", "pad/AB C.EF", "pad/PAD 0000. PD", "pad/PAD 0001. PD",
                                    "pad/PAD 0002. PD"}));
  EXPECT_EQ(Exported(v, "pad/PAD 0001. PD", dir), "pad 1");
  EXPECT_EQ(Exported(v, "pad/AB C.EF", dir), "short");
}

// A deleted long-name part whose attribute byte was damaged is no short
// entry (UTF-16 text and FFFF padding in its name, a size of 4 GiB - 1): it
// still names the short entry its checksum fits, and nothing of it is listed
// on its own; nor is a deleted entry larger than the volume.
TEST(ForeignFat, DamagedDeletedLongNamePartsStillNameTheirFile) {
  test::TempDir dir;
  test::MtoolsFat fat(dir.File("lfn.img"), "32", "40M", "LFNS");
  std::string content;
  for (int i = 0; i < 3000; ++i) content += static_cast<char>('a' + i % 26);
  fat.Put("a removed long name file.txt", content);
  fat.Put("GONE.BIN", "gone");
  fat.Put("KEPT.TXT", "kept");
  fat.Run({"mdel", "::a removed long name file.txt", "::GONE.BIN"});
  // Parts 1 ("a rem…") and 3 ("xt", the terminator and FFFF padding).
  ASSERT_EQ(fat.EditEntries(std::string_view("\xE5" "a\0 \0r\0e\0m\0", 11), [](std::uint8_t* e) { e[11] = 0x20; }), 1);
  ASSERT_EQ(fat.EditEntries(std::string_view("\xE5" "x\0t\0\0\0\xFF\xFF\xFF\xFF", 11),
                            [](std::uint8_t* e) { e[11] = 0x00; }),
            1);
  ASSERT_EQ(fat.EditEntries("\xE5ONE    BIN", [](std::uint8_t* e) { std::fill(e + 28, e + 32, 0xFF); }), 1);

  VolumeDescriptor v = ReadImage(fat);
  EXPECT_EQ(ViewPaths(v, 1), (Paths{"KEPT.TXT", "LostFile"}));
  EXPECT_EQ(ViewPaths(v, 2), (Paths{"LostFile", "a removed long name file.txt"}));
  EXPECT_TRUE(Exported(v, "a removed long name file.txt", dir) == content) << "the content as written";
}

}  // namespace
}  // namespace kestrum
