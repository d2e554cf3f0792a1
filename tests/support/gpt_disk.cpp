#include "support/gpt_disk.h"

#include <gtest/gtest.h>

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

}  // namespace kestrum::test
