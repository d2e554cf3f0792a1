// exFAT volumes as other systems and damage leave their entry sets: made by
// mkfs.exfat and written through exfat-fuse, then edited byte by byte where
// no Linux tool writes the case.

#include <gtest/gtest.h>

#include <filesystem>

#include "../../export/loop_mount.h"
#include "base/text.h"
#include "fs/exfat/exfat_export.h"
#include "fs/exfat/exfat_reader.h"
#include "fs/tree/node_array.h"
#include "support/run_state.h"
#include "support/temp_dir.h"
#include "support/tree_walk.h"

namespace kestrum {
namespace {

using Paths = std::vector<std::string>;

constexpr std::size_t kEntry = 32;

// The image's bytes, with the entry sets found by name.
struct EntryEditor {
  std::string bytes;

  // The offset of the file entry of the set whose name starts with `name`.
  std::size_t SetOf(const std::string& name) const {
    const std::u16string wide = FromUtf8(name.substr(0, std::min<std::size_t>(name.size(), 15)));
    std::string chars(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    for (std::size_t at = 0; at + kEntry <= bytes.size(); at += kEntry) {
      if ((bytes[at] & 0x7F) != 0x41 || bytes.compare(at + 2, chars.size(), chars) != 0) continue;
      for (std::size_t back = at; back >= kEntry && at - back <= 3 * kEntry;) {
        back -= kEntry;
        if ((bytes[back] & 0x7F) == 0x05) return back;
      }
    }
    ADD_FAILURE() << "no entry set named " << name;
    return 0;
  }
  std::uint8_t& At(std::size_t offset) { return reinterpret_cast<std::uint8_t&>(bytes[offset]); }
  // Puts an entry before the one at `offset`; the directory's cluster must
  // end in free entries, the last of which falls away.
  void InsertEntry(std::size_t offset, std::string entry, std::size_t clusterBytes) {
    const std::size_t clusterEnd = (offset / clusterBytes + 1) * clusterBytes;
    ASSERT_EQ(bytes.compare(clusterEnd - kEntry, kEntry, std::string(kEntry, '\0')), 0);
    bytes.erase(clusterEnd - kEntry, kEntry);
    bytes.insert(offset, entry);
  }
};

TEST(ForeignExfat, EntrySetsAreCountedEndedAndNamedSoundly) {
  test::PrepareRun();
  test::TempDir dir;
  std::string why;
  auto mount = test::LoopMount::Create(dir.path(), "exfat", false, 8, why);
  if (!mount) GTEST_SKIP() << why;
  const std::string m = mount->mountPoint + "/";
  std::filesystem::create_directories(m + "trash/sub");
  const std::map<std::string, std::string> files = {
      {"vendor.txt", "a vendor extension follows the name"},
      {"early.txt", "the count says one more"},
      {"next.txt", "after the early set"},
      {"garbage-after.txt", "stale characters after the name"},
      {"wrong-length.txt", "the length byte lies"},
      {"trash/a.txt", "left in use in a deleted folder"},
      {"trash/sub/b.txt", "one level further down"},
  };
  for (const auto& [path, content] : files) test::WriteWholeFile(m + path, content);
  mount.reset();  // unmounted and detached

  EntryEditor edit{test::ReadWholeFile(dir.File("exfat.img"))};
  const std::size_t cluster = std::size_t{512} << edit.At(109);
  // A vendor extension (0xE0) after the names, counted by the file entry.
  std::size_t vendor = edit.SetOf("vendor.txt");
  std::string extension(kEntry, '\0');
  extension[0] = static_cast<char>(0xE0);
  edit.InsertEntry(vendor + 3 * kEntry, extension, cluster);
  ++edit.At(vendor + 1);
  // One secondary more than the set holds: it ends at the next file entry.
  ++edit.At(edit.SetOf("early.txt") + 1);
  // Characters left after the name in its last name entry.
  std::size_t garbage = edit.SetOf("garbage-after.txt") + 3 * kEntry;
  for (std::size_t c = 2 + 2 * 2; c < kEntry; c += 2) edit.At(garbage + c) = 'X';
  // A length byte of 3 where the hash fits 16, and stale characters too.
  std::size_t wrong = edit.SetOf("wrong-length.txt");
  edit.At(wrong + kEntry + 3) = 3;
  for (std::size_t c = 2 + 2 * 1; c < kEntry; c += 2) edit.At(wrong + 3 * kEntry + c) = 'Y';
  // The folder's own set deleted, the sets inside it left in use.
  std::size_t trash = edit.SetOf("trash");
  for (std::size_t e = 0; e < 3; ++e) edit.At(trash + e * kEntry) &= 0x7F;
  test::WriteWholeFile(dir.File("exfat.img"), edit.bytes);

  VolumeDescriptor v;
  DeviceHandle device;
  ASSERT_TRUE(OpenDevice(FromUtf8(dir.File("exfat.img")), device));
  std::vector<std::uint8_t> boot(kSectorSize);
  ASSERT_TRUE(ReadSectors(device, boot, 0, 1));
  MakeExfatDescriptor(v, device, boot, 0);
  CloseDevice(device);
  v.diskPath = FromUtf8(dir.File("exfat.img"));
  ASSERT_TRUE(ReadExfatVolume(v));

  auto paths = [&](std::int32_t view) {
    Paths out;
    for (const auto& [path, index] : test::TreePaths(v, view)) out.push_back(path);
    return out;
  };
  EXPECT_EQ(paths(1), (Paths{"LostFile", "early.txt", "garbage-after.txt", "next.txt", "vendor.txt",
                             "wrong-length.txt"}));
  EXPECT_EQ(paths(2), (Paths{"LostFile", "trash", "trash/a.txt", "trash/sub", "trash/sub/b.txt"}));
  const auto all = test::TreePaths(v);
  for (const auto& [path, content] : files) {
    ASSERT_EQ(all.count(path), 1u) << path;
    const FileNode& node = NodesOf(v).nodes[all.at(path)];
    EXPECT_EQ(node.damagedSet, path == "early.txt" ? 1 : 0) << path;
    OutputFile out;
    ASSERT_TRUE(out.Create(dir.File("out.bin")));
    StatusMessage status;
    EXPECT_TRUE(ExportExfatFile(v, node, out, status)) << path;
    out.Close();
    EXPECT_EQ(test::ReadWholeFile(dir.File("out.bin")), content) << path;
  }
}

}  // namespace
}  // namespace kestrum
