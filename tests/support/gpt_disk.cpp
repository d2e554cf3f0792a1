#include "support/gpt_disk.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace kestrum::test {

namespace {

bool Run(const std::vector<std::string>& argv) {
  CommandResult r = RunCommand(argv);
  if (r.exitCode != 0) ADD_FAILURE() << argv[0] << " failed: " << r.err;
  return r.exitCode == 0;
}

}  // namespace

bool MakeGptDisk(const std::string& dir, GptDisk& out) {
  out = GptDisk{};
  out.image = dir + "/gpt.img";
  out.sectors = 204800;  // 100 MiB
  out.partitions = {{2048, 40960, "FAT", "one.txt", "on the FAT16 partition\n"},
                    {45056, 143360, "FAT32", "two.txt", "on the FAT32 partition\n"}};
  if (!Run({"truncate", "-s", std::to_string(out.sectors * 512), out.image})) return false;
  std::string layout = "label: gpt\\n";
  for (const auto& p : out.partitions) {
    layout += "start=" + std::to_string(p.start) + ",size=" + std::to_string(p.size) +
              ",type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\\n";
  }
  if (!Run({"sh", "-c", "printf '" + layout + "' | sfdisk -q '" + out.image + "'"})) return false;
  for (const auto& p : out.partitions) {
    const std::string bits = p.fsName == "FAT32" ? "32" : "16";
    if (!Run({"mkfs.vfat", "-F", bits, "-s", "1", "--offset", std::to_string(p.start), out.image,
              std::to_string(p.size / 2)})) {
      return false;
    }
    const std::string file = dir + "/" + p.file;
    WriteWholeFile(file, p.content);
    if (!Run({"env", "MTOOLS_SKIP_CHECK=1", "mcopy", "-i", out.image + "@@" + std::to_string(p.start * 512), file,
              "::/"})) {
      return false;
    }
  }
  return true;
}

std::vector<SfdiskSeen> SfdiskGpt(const std::string& image, bool& clean) {
  auto verify = RunCommand({"sfdisk", "--verify", image});
  clean = verify.exitCode == 0 && verify.out.find("No errors detected") != std::string::npos;
  auto json = RunCommand({"sfdisk", "--json", image});
  std::vector<SfdiskSeen> out;
  static const std::regex entry(R"re("start":\s*(\d+),\s*"size":\s*(\d+),\s*"type":\s*"([0-9A-F-]+)")re");
  for (auto it = std::sregex_iterator(json.out.begin(), json.out.end(), entry); it != std::sregex_iterator(); ++it) {
    out.push_back({std::stoull((*it)[1]), std::stoull((*it)[2]), (*it)[3]});
  }
  return out;
}

std::vector<SfdiskSeen> Made(const GptDisk& disk) {
  std::vector<SfdiskSeen> seen;
  for (const auto& p : disk.partitions) seen.push_back({p.start, p.size, "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7"});
  return seen;
}

void ZeroSectors(const std::string& image, std::uint64_t sector, std::uint64_t count) {
  std::fstream file(image, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(static_cast<std::streamoff>(sector * 512));
  const std::string zeros(count * 512, '\0');
  file.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
  EXPECT_TRUE(file.good()) << image;
}

}  // namespace kestrum::test
