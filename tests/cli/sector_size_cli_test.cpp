// kestrum-cli on disks of 4096-byte logical sectors, as USB enclosures show
// big disks: the tables count those sectors, the listing and every other
// number stay in 512-byte units. The partitions are made by sfdisk on a loop
// device of 4096-byte sectors and hold the volumes the fixture builder made
// on such a device.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "support/fixtures.h"
#include "support/flat_json.h"
#include "support/gpt_disk.h"
#include "support/loop_device.h"
#include "support/run_command.h"
#include "support/sha256.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

using test::RunCli;
using test::RunCommand;

constexpr std::uint64_t kUnits = 8;  // 512-byte units in one sector of the disk

struct Volume4k {
  std::uint64_t lba, lbas;  // in 4096-byte sectors, as sfdisk takes them
  std::string image, manifest, fsName;
};
const std::vector<Volume4k> kVolumes = {{256, 16384, "ntfs4k.img", "ntfs4k.manifest.tsv", "NTFS"},
                                        {16640, 16384, "exfat4k.img", "exfat4k.manifest.tsv", "exFAT"}};

// A disk of 4096-byte sectors with a `label` (gpt or dos) table by sfdisk
// and the two fixture volumes copied into its partitions.
std::string MakeDisk(const test::TempDir& dir, const std::string& label) {
  const std::string image = dir.File(label + "4k.img");
  EXPECT_EQ(RunCommand({"truncate", "-s", std::to_string((16640 + 16384 + 256) * 4096), image}).exitCode, 0);
  std::string layout = "label: " + label + "\\n";
  for (const Volume4k& v : kVolumes) {
    layout += "start=" + std::to_string(v.lba) + ",size=" + std::to_string(v.lbas) +
              (label == "gpt" ? ",type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\\n" : ",type=7\\n");
  }
  {
    test::LoopDevice loop(image, {.readOnly = false, .sectorSize = 4096});
    EXPECT_FALSE(loop.device().empty()) << loop.error();
    auto r = RunCommand({"sh", "-c", "printf '" + layout + "' | sfdisk -q " + loop.device()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
  }
  for (const Volume4k& v : kVolumes) {
    auto r = RunCommand({"dd", "if=" + test::FixturePath(v.image), "of=" + image, "bs=4096",
                         "seek=" + std::to_string(v.lba), "conv=notrunc,sparse", "status=none"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
  }
  return image;
}

// `volumes --json`: both volumes where the table puts them, in 512-byte units.
void ExpectListed(const std::string& image) {
  auto r = RunCli({"volumes", "--json", image});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto lines = test::ParseJsonLines(r.out);
  ASSERT_EQ(lines.size(), kVolumes.size()) << r.out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(*lines[i]["startSector"], std::to_string(kVolumes[i].lba * kUnits));
    EXPECT_EQ(*lines[i]["sectorCount"], std::to_string(kVolumes[i].lbas * kUnits));
    EXPECT_EQ(*lines[i]["sectorSize"], "4096");
    EXPECT_EQ(*lines[i]["fsName"], kVolumes[i].fsName);
  }
}

// `ls` of each partition names exactly the manifest's live entries.
void ExpectTrees(const std::string& image) {
  for (std::size_t i = 0; i < kVolumes.size(); ++i) {
    auto r = RunCli({"ls", "--json", image, "--partition", std::to_string(i + 1)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::set<std::string> listed, expected = {"LostFile"};
    for (auto& line : test::ParseJsonLines(r.out)) listed.insert(*line["path"]);
    for (const test::ManifestEntry& e : test::LoadManifest(kVolumes[i].manifest)) {
      if (!e.deleted) expected.insert(e.path);
    }
    EXPECT_EQ(listed, expected) << kVolumes[i].image;
  }
}

// The sector size `disks --json` gives the image (listed after the system's disks).
std::string ListedSectorSize(const std::string& image) {
  auto r = RunCli({"disks", "--json", image});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const std::string name = std::filesystem::path(image).filename().string();
  for (auto& line : test::ParseJsonLines(r.out)) {
    if (std::filesystem::path(*line["path"]).filename() == name) return line["sectorSize"].value_or("none");
  }
  ADD_FAILURE() << "not listed: " << image << "\n" << r.out;
  return "";
}

class Disk4k : public ::testing::TestWithParam<std::string> {};

// The tables are read in the disk's sectors, from the image (by what it
// holds) and from the loop device (by what the kernel says); a lost table
// is found again, written in those sectors as sfdisk reads them, and undone.
TEST_P(Disk4k, TablesAreReadAndWrittenInTheDisksOwnSectors) {
  const std::string label = GetParam();
  test::TempDir dir;
  const std::string image = MakeDisk(dir, label);
  EXPECT_EQ(ListedSectorSize(image), "4096");
  ExpectListed(image);
  ExpectTrees(image);
  {
    test::LoopDevice loop(image, {.sectorSize = 4096});
    ASSERT_FALSE(loop.device().empty()) << loop.error();
    ExpectListed(loop.device());
  }

  // The table sectors gone: sector 0 (and 1, the GPT header, and the backup
  // header in the disk's last sector).
  const std::uint64_t units = std::filesystem::file_size(image) / 512;
  test::ZeroSectors(image, 0, 2 * kUnits);
  if (label == "gpt") test::ZeroSectors(image, units - kUnits, kUnits);
  const std::string lost = test::Sha256OfFile(image);
  const std::string state = dir.File("scan.kfp"), history = dir.File("history.dat");
  auto scan = RunCli({"scan", "--lost-partitions", "--json", "--state", state, image});
  ASSERT_EQ(scan.exitCode, 0) << scan.err;
  auto rows = test::ParseJsonLines(scan.out);
  ASSERT_EQ(rows.size(), kVolumes.size()) << scan.out;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(*rows[i]["startSector"], std::to_string(kVolumes[i].lba * kUnits));
  }
  const std::string table = label == "gpt" ? "gpt" : "mbr";
  auto repair = RunCli({"repair", image, "--sector-size", "4096", "--scan", state, "--select", "0,1", "--table",
                        table, "--yes", "--history", history});
  ASSERT_EQ(repair.exitCode, 0) << repair.err;
  {
    test::LoopDevice loop(image, {.sectorSize = 4096});
    ASSERT_FALSE(loop.device().empty()) << loop.error();
    bool clean = false;
    std::vector<test::SfdiskSeen> seen = test::SfdiskGpt(loop.device(), clean);
    EXPECT_TRUE(clean) << RunCommand({"sfdisk", "--verify", loop.device()}).out;
    ASSERT_EQ(seen.size(), kVolumes.size());
    for (std::size_t i = 0; i < seen.size(); ++i) {
      EXPECT_EQ(seen[i].start, kVolumes[i].lba);
      EXPECT_EQ(seen[i].size, kVolumes[i].lbas);
    }
  }
  ExpectListed(image);
  auto undo = RunCli({"undo", image, "--record", "0", "--yes", "--history", history});
  ASSERT_EQ(undo.exitCode, 0) << undo.err;
  EXPECT_EQ(test::Sha256OfFile(image), lost);
}

INSTANTIATE_TEST_SUITE_P(Tables, Disk4k, ::testing::Values("gpt", "dos"));

// The fixtures' own sector sizes, told by what each image holds; the 3 TiB
// disk's volumes where sfdisk put them; and --sector-size checked.
TEST(SectorSizes, ImagesTellTheirSectorSizeAndTheOptionIsChecked) {
  for (const auto& [image, size] : std::vector<std::pair<std::string, std::string>>{
           {"ntfs4k.img", "4096"}, {"fat4k.img", "4096"}, {"exfat4k.img", "4096"},
           {"ntfs2k.img", "2048"}, {"fat1k.img", "1024"}, {"disk.img", "512"}, {"big.img", "512"}}) {
    EXPECT_EQ(ListedSectorSize(test::FixturePath(image)), size) << image;
  }
  auto big = RunCli({"volumes", "--json", test::FixturePath("big.img")});
  ASSERT_EQ(big.exitCode, 0) << big.err;
  auto lines = test::ParseJsonLines(big.out);
  ASSERT_EQ(lines.size(), 2u) << big.out;
  EXPECT_EQ(*lines[0]["startSector"], "2048");
  EXPECT_EQ(*lines[1]["startSector"], "5000000000");

  for (const char* bad : {"1000", "8192", "256", "x"}) {
    auto r = RunCli({"volumes", "--sector-size", bad, test::FixturePath("disk.img")});
    EXPECT_EQ(r.exitCode, 2) << bad;
    EXPECT_NE(r.err.find("--sector-size 只能是 512、1024、2048 或 4096"), std::string::npos) << r.err;
  }
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A deep scan of each volume of 4096-byte sectors finds its pictures by
// content: each exported found file begins with the picture as the volume's
// own export gives it.
TEST(SectorSizes, TheScanFindsThePicturesOfVolumesOf4096ByteSectorsByContent) {
  for (const std::string image : {"ntfs4k.img", "fat4k.img", "exfat4k.img"}) {
    SCOPED_TRACE(image);
    test::TempDir dir;
    const std::string source = test::FixturePath(image), state = dir.File("scan.state");
    const std::string tree = dir.File("tree"), found = dir.File("found");
    std::filesystem::create_directories(tree);
    std::filesystem::create_directories(found);
    ASSERT_EQ(RunCli({"export", source, tree, "docs"}).exitCode, 0);
    auto scan = RunCli({"scan", "--state", state, source});
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    auto r = RunCli({"export", source, found, "--scan", state, "--found", "1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* picture : {"docs/photo.jpg", "docs/picture.png"}) {
      const std::string original = Bytes(tree + "/" + picture);
      ASSERT_FALSE(original.empty()) << picture;
      int matches = 0;
      for (const auto& e : std::filesystem::recursive_directory_iterator(found)) {
        if (e.is_regular_file()) matches += Bytes(e.path().string()).compare(0, original.size(), original) == 0;
      }
      EXPECT_EQ(matches, 1) << picture;
    }
  }
}

// Sector sizes the tools make on image files: FAT16 and FAT32 of 2048-byte
// sectors, NTFS of 1024-byte sectors, a file written by mtools or ntfscp,
// listed and exported byte for byte.
TEST(SectorSizes, VolumesOf1024And2048ByteSectorsAreReadAndExported) {
  struct Case {
    std::string fs;
    std::uint32_t sectorBytes, mib;
  };
  for (const Case& c : {Case{"fat16", 2048, 64}, Case{"fat32", 2048, 160}, Case{"ntfs", 1024, 32}}) {
    SCOPED_TRACE(c.fs);
    test::TempDir dir;
    const std::string image = dir.File(c.fs + ".img"), file = dir.File("data.bin");
    std::string content;
    for (int i = 0; i < 30000; ++i) content.push_back(static_cast<char>(i * 7919 % 251));
    test::WriteWholeFile(file, content);
    ASSERT_EQ(RunCommand({"truncate", "-s", std::to_string(c.mib) + "M", image}).exitCode, 0);
    const std::string bytes = std::to_string(c.sectorBytes);
    std::vector<std::vector<std::string>> steps;
    if (c.fs == "ntfs") {
      steps = {{"mkfs.ntfs", "-F", "-f", "-q", "-s", bytes, image}, {"ntfscp", "-f", image, file, "/data.bin"}};
    } else {
      steps = {{"mkfs.vfat", "-F", c.fs.substr(3), "-S", bytes, image},
               {"env", "MTOOLS_SKIP_CHECK=1", "mcopy", "-i", image, file, "::/data.bin"}};
    }
    for (const auto& step : steps) {
      auto made = RunCommand(step);
      ASSERT_EQ(made.exitCode, 0) << step[0] << ": " << made.err;
    }
    EXPECT_EQ(ListedSectorSize(image), bytes);
    auto ls = RunCli({"ls", "--json", image});
    ASSERT_EQ(ls.exitCode, 0) << ls.err;
    EXPECT_NE(ls.out.find("\"path\":\"data.bin\""), std::string::npos) << ls.out;
    const std::string target = dir.File("out");
    std::filesystem::create_directories(target);
    auto exported = RunCli({"export", image, target, "data.bin"});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(Bytes(target + "/data.bin"), content);
  }
}

}  // namespace
}  // namespace kestrum
