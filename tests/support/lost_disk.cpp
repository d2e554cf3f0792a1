#include "support/lost_disk.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "support/fixtures.h"
#include "support/run_command.h"

namespace kestrum::test {

namespace {

constexpr std::uint64_t kFirstEntry = 446;

std::uint32_t Le32(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
  return v;
}

std::string ReadSector(std::fstream& file, std::uint64_t sector) {
  std::string bytes(512, '\0');
  file.seekg(static_cast<std::streamoff>(sector * 512));
  file.read(bytes.data(), 512);
  return bytes;
}

// Zeroes the entries and signature of the MBR and of every EBR of its chain.
void ZeroTables(const std::string& image) {
  std::fstream file(image, std::ios::in | std::ios::out | std::ios::binary);
  std::vector<std::uint64_t> tables = {0};
  std::string mbr = ReadSector(file, 0);
  for (int i = 0; i < 4; ++i) {
    unsigned type = static_cast<std::uint8_t>(mbr[kFirstEntry + 16 * i + 4]);
    if (type != 0x05 && type != 0x0F) continue;
    std::uint64_t extended = Le32(mbr, kFirstEntry + 16 * i + 8);
    std::uint64_t ebr = extended;
    for (int n = 0; n < 64 && ebr != 0; ++n) {
      tables.push_back(ebr);
      std::string sector = ReadSector(file, ebr);
      std::uint32_t next = Le32(sector, kFirstEntry + 16 + 8);
      ebr = next != 0 ? extended + next : 0;
    }
  }
  const std::string zeros(512 - kFirstEntry, '\0');
  for (std::uint64_t sector : tables) {
    file.seekp(static_cast<std::streamoff>(sector * 512 + kFirstEntry));
    file.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
  }
}

void Sfdisk(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"sfdisk", "-q"};
  argv.insert(argv.end(), args.begin(), args.end());
  CommandResult r = RunCommand(argv);
  ASSERT_EQ(r.exitCode, 0) << r.err;
}

}  // namespace

std::vector<DumpedPartition> SfdiskPartitions(const std::string& image) {
  CommandResult r = RunCommand({"sfdisk", "--dump", image});
  std::vector<DumpedPartition> out;
  const std::regex line(R"(start=\s*(\d+),\s*size=\s*(\d+),\s*type=([0-9a-fA-F]+))");
  for (const std::string& text : Lines(r.out)) {
    std::smatch m;
    if (!std::regex_search(text, m, line)) continue;
    DumpedPartition p{std::stoull(m[1]), std::stoull(m[2]), static_cast<unsigned>(std::stoul(m[3], nullptr, 16))};
    if (p.type != 0x05 && p.type != 0x0F && p.type != 0x85) out.push_back(p);
  }
  return out;
}

LostDisk MakeLostDisk(const std::string& dir, bool withLogicals) {
  LostDisk disk;
  disk.image = dir + (withLogicals ? "/lost-logicals.img" : "/lost-primaries.img");
  RunCommand({"cp", "--sparse=always", FixturePath("disk.img"), disk.image});
  Sfdisk({"--part-type", disk.image, "2", "b"});
  if (!withLogicals) Sfdisk({"--delete", disk.image, "3"});
  disk.original = SfdiskPartitions(disk.image);
  for (const char* n : {"1", "2", "5", "6"}) {
    if (withLogicals || n[0] <= '2') disk.manifests.push_back(std::string("disk.p") + n + ".manifest.tsv");
  }
  ZeroTables(disk.image);
  return disk;
}

}  // namespace kestrum::test
