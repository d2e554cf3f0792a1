#include "fat_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "base/byte_order.h"
#include "base/text.h"
#include "fs/dos_time.h"
#include "fs/tree/node_array.h"
#include "support/fixtures.h"
#include "support/run_command.h"
#include "support/temp_dir.h"
#include "support/tree_walk.h"

namespace kestrum::test {

namespace {

// Written here from the format's definition rather than taken from the
// reader, so the tests do not check the reader against itself.
std::uint8_t Checksum(const Entry& shortEntry) {
  unsigned sum = 0;
  for (int i = 0; i < 11; ++i) {
    sum = ((((sum & 1) << 7) | (sum >> 1)) + shortEntry[i]) & 0xFF;
  }
  return static_cast<std::uint8_t>(sum);
}

void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace

Entry ShortEntry(std::string_view name11, std::uint8_t attribute, std::uint32_t cluster,
                 std::uint32_t size) {
  Entry e{};
  for (std::size_t i = 0; i < 11; ++i) e[i] = i < name11.size() ? static_cast<std::uint8_t>(name11[i]) : ' ';
  e[11] = attribute;
  Put16(&e[20], static_cast<std::uint16_t>(cluster >> 16));
  Put16(&e[26], static_cast<std::uint16_t>(cluster));
  for (int i = 0; i < 4; ++i) e[28 + i] = static_cast<std::uint8_t>(size >> (8 * i));
  return e;
}

std::vector<Entry> LongNameEntries(std::u16string_view name, const Entry& shortEntry) {
  const std::size_t parts = (name.size() + 12) / 13;
  std::vector<Entry> out;
  const std::uint8_t sum = Checksum(shortEntry);
  static constexpr std::size_t kSlots[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  for (std::size_t part = parts; part >= 1; --part) {
    Entry e{};
    e[0] = static_cast<std::uint8_t>(part | (part == parts ? 0x40 : 0));
    e[11] = 0x0F;
    e[13] = sum;
    for (std::size_t k = 0; k < 13; ++k) {
      std::size_t at = (part - 1) * 13 + k;
      char16_t ch = at < name.size() ? name[at] : (at == name.size() ? u'\0' : u'\xFFFF');
      Put16(&e[kSlots[k]], ch);
    }
    out.push_back(e);
  }
  return out;
}

DirBytes& DirBytes::Add(const Entry& entry) {
  bytes.insert(bytes.end(), entry.begin(), entry.end());
  return *this;
}

DirBytes& DirBytes::AddLong(std::u16string_view name, const Entry& shortEntry) {
  for (const Entry& e : LongNameEntries(name, shortEntry)) Add(e);
  return Add(shortEntry);
}

DirBytes& DirBytes::AddDots(std::uint32_t self, std::uint32_t parent) {
  Add(ShortEntry(".", 0x10, self));
  return Add(ShortEntry("..", 0x10, parent));
}

SyntheticFat::SyntheticFat(bool fat32, std::uint32_t rootEntries)
    : image(kStart + (fat32 ? kFat32Sectors : kFat16Sectors)), fat32_(fat32), rootEntries_(fat32 ? 0 : rootEntries) {
  auto& b = image.Sector(kStart);
  b[0] = 0xEB;
  b[1] = 0x3C;
  b[2] = 0x90;
  WriteLe16(b, 11, 512);
  b[13] = 1;                                   // sectors per cluster
  WriteLe16(b, 14, fat32 ? 4 : 1);             // reserved
  b[16] = 2;                                   // FATs
  WriteLe16(b, 17, static_cast<std::uint16_t>(rootEntries_));  // root entries
  b[21] = 0xF8;
  WriteLe16(b, 22, fat32 ? 0 : 17);            // FAT size (FAT16)
  WriteLe32(b, 32, VolumeSectors());           // total sectors
  if (fat32) {
    WriteLe32(b, 36, 4);                       // FAT size (FAT32)
    WriteLe32(b, 44, 2);                       // root cluster
  }
  b[510] = 0x55;
  b[511] = 0xAA;
  SetFat(0, fat32 ? 0x0FFFFFF8 : 0xFFF8);
  SetFat(1, fat32 ? 0x0FFFFFFF : 0xFFFF);
  if (fat32) SetFat(2, 0x0FFFFFFF);
}

void SyntheticFat::SetFat(std::uint32_t cluster, std::uint32_t value) {
  const std::uint32_t width = fat32_ ? 4 : 2;
  for (std::uint32_t copy = 0; copy < 2; ++copy) {
    std::uint64_t at = (FirstFatSector() + copy * FatSectors()) * 512ULL + cluster * width;
    std::uint8_t bytes[4];
    for (std::uint32_t i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    image.PutAt(at, bytes, width);
  }
}

void SyntheticFat::Chain(const std::vector<std::uint32_t>& clusters) {
  for (std::size_t i = 0; i < clusters.size(); ++i) {
    SetFat(clusters[i], i + 1 < clusters.size() ? clusters[i + 1] : (fat32_ ? 0x0FFFFFFF : 0xFFFF));
  }
}

void SyntheticFat::Put(std::uint32_t cluster, const std::vector<std::uint8_t>& bytes) {
  std::uint64_t sector = cluster == 0 ? RootRegionSector() : ClusterSector(cluster);
  image.PutAt(sector * 512, bytes.data(), bytes.size());
}

VolumeDescriptor SyntheticFat::Write(const std::string& path) {
  image.WriteTo(path);
  VolumeDescriptor v;
  v.diskPath = FromUtf8(path);
  v.startSector = kStart;
  v.sectorCount = VolumeSectors();
  v.fsKind = fat32_ ? kFsFat32 : kFsFat16;
  v.partitionType = fat32_ ? 0x0B : 0x06;
  const auto& b = image.Sector(kStart);
  std::copy(b.begin(), b.end(), v.bootSector.begin());
  return v;
}

MtoolsFat::MtoolsFat(std::string image, const std::string& bits, const std::string& size, const std::string& label)
    : image_(std::move(image)), fat32_(bits == "32") {
  EXPECT_EQ(RunCommand({"truncate", "-s", size, image_}).exitCode, 0);
  CommandResult mkfs = RunCommand({"mkfs.vfat", "-F", bits, "-s", "1", "-n", label, image_});
  EXPECT_EQ(mkfs.exitCode, 0) << mkfs.err;
}

void MtoolsFat::Run(std::vector<std::string> command) const {
  command.insert(command.begin() + 1, {"-i", image_});
  CommandResult r = RunCommand(command, {"MTOOLS_SKIP_CHECK=1", "LC_ALL=C.UTF-8"});
  EXPECT_EQ(r.exitCode, 0) << command[0] << " " << command.back() << ": " << r.err;
}

void MtoolsFat::Put(const std::string& name, const std::string& bytes) const {
  const std::string source = image_ + ".put";
  WriteWholeFile(source, bytes);
  Run({"mcopy", "-o", source, "::" + name});
  std::remove(source.c_str());
}

int MtoolsFat::EditEntries(std::string_view name11, void (*edit)(std::uint8_t* entry)) const {
  std::string bytes = ReadWholeFile(image_);
  int edited = 0;
  for (std::size_t at = 0; at + 32 <= bytes.size(); at += 32) {
    if (bytes.compare(at, name11.size(), name11) != 0) continue;
    edit(reinterpret_cast<std::uint8_t*>(bytes.data() + at));
    ++edited;
  }
  WriteWholeFile(image_, bytes);
  return edited;
}

VolumeDescriptor MtoolsFat::Descriptor() const {
  VolumeDescriptor v;
  v.diskPath = FromUtf8(image_);
  v.fsKind = fat32_ ? kFsFat32 : kFsFat16;
  v.partitionType = fat32_ ? 0x0B : 0x06;
  const std::string boot = ReadWholeFile(image_).substr(0, 512);
  std::copy(boot.begin(), boot.end(), v.bootSector.begin());
  const std::uint32_t total = ReadLe32(v.bootSector, 32);
  v.sectorCount = total != 0 ? total : ReadLe16(v.bootSector, 19);
  return v;
}

std::int64_t FileTimeToUnix(std::uint64_t fileTime) {
  return static_cast<std::int64_t>(fileTime / 10000000ULL) - 11644473600LL;
}

std::map<std::string, ListedNode> ListTree(const VolumeDescriptor& volume) {
  std::map<std::string, ListedNode> out;
  for (const auto& [path, index] : TreePaths(volume)) {
    const FileNode& n = NodesOf(volume)->nodes[index];
    out[path] = {index, n.type, n.size, n.lastWriteTime ? FileTimeToUnix(n.lastWriteTime) : 0, n.location};
  }
  return out;
}

std::vector<std::string> ChildNames(const VolumeDescriptor& volume, std::uint32_t folder) {
  std::vector<std::string> names;
  const auto& nodes = NodesOf(volume)->nodes;
  for (std::uint32_t child : ChildrenOf(nodes, folder)) names.push_back(ToUtf8(nodes[child].name));
  return names;
}

const std::vector<FatFixture>& FatFixtures() {
  static const std::vector<FatFixture> fixtures = {
      {"Fat16Image", "fat16.img", "fat16.manifest.tsv", "fat16.info", kFsFat16},
      {"Fat32Image", "fat32.img", "fat32.manifest.tsv", "fat32.info", kFsFat32},
      {"DiskPartition2Fat32", "disk.img", "disk.p2.manifest.tsv", "disk.p2.info", kFsFat32},
      {"DiskPartition5Fat16", "disk.img", "disk.p5.manifest.tsv", "disk.p5.info", kFsFat16},
  };
  return fixtures;
}

VolumeDescriptor FixtureDescriptor(const FatFixture& fixture) {
  VolumeDescriptor v = FixtureDescriptor(fixture.image, fixture.info);
  EXPECT_EQ(v.fsKind, fixture.kind) << fixture.label;
  return v;
}

}  // namespace kestrum::test
