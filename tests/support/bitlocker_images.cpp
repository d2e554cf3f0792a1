#include "support/bitlocker_images.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace kestrum::test {

namespace {

void Run(const std::vector<std::string>& command) {
  CommandResult r = RunCommand(command, {"MTOOLS_SKIP_CHECK=1"});
  EXPECT_EQ(r.exitCode, 0) << command[0] << ": " << r.err;
}

void Patch(const std::string& image, std::streamoff at, const std::string& bytes) {
  std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(at);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

BitLockerImages MakeBitLockerImages(const std::string& dir) {
  BitLockerImages out{dir + "/togo.img", dir + "/fve.img", dir + "/bitlocker-disk.img"};
  Run({"truncate", "-s", "40M", out.toGo});
  Run({"mkfs.vfat", "-F", "32", "-n", "TOGO", out.toGo});
  WriteWholeFile(dir + "/cover.txt", "This drive is protected by BitLocker To Go.\r\n");
  Run({"mcopy", "-i", out.toGo, dir + "/cover.txt", "::README.TXT"});
  Run({"mcopy", "-i", out.toGo, dir + "/cover.txt", "::COV0000.ER"});
  Patch(out.toGo, 0x1A8, std::string("\x3B\xD6\x67\x49\x29\x2E\xD8\x4A\x83\x99\xF6\xA3\x39\xE3\xD0\x01", 16));

  Run({"truncate", "-s", "16M", out.fve});
  Run({"mkfs.ntfs", "-F", "-f", "-q", "-s", "512", "-L", "FVE", out.fve});
  Patch(out.fve, 3, "-FVE-FS-");

  Run({"truncate", "-s", std::to_string(1 + 40 + 16) + "M", out.disk});
  const std::string layout = "label: dos\nstart=2048, size=40M, type=c\nsize=16M, type=7\n";
  Run({"sh", "-c", "printf '" + layout + "' | sfdisk -q '" + out.disk + "'"});
  Run({"dd", "if=" + out.toGo, "of=" + out.disk, "bs=512", "seek=2048", "conv=notrunc", "status=none"});
  Run({"dd", "if=" + out.fve, "of=" + out.disk, "bs=512", "seek=" + std::to_string(2048 + 40 * 2048), "conv=notrunc",
       "status=none"});
  return out;
}

}  // namespace kestrum::test
