#include "scan_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "base/text.h"
#include "disk/device.h"
#include "scan/block_findings.h"
#include "scan/file_extents.h"
#include "support/run_command.h"

namespace kestrum::test {

std::vector<ScanFinding> ScanFile(const std::string& path, std::uint64_t first, std::uint64_t count) {
  std::vector<ScanFinding> findings;
  DeviceHandle device;
  if (!OpenDevice(FromUtf8(path), device)) {
    ADD_FAILURE() << "cannot open " << path;
    return findings;
  }
  std::vector<std::uint8_t> block(std::size_t{kScanBlockSectors} * kSectorSize);
  const std::uint64_t end = first + count;
  for (std::uint64_t sector = first; sector < end;) {
    auto n = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(kScanBlockSectors - sector % kScanBlockSectors, end - sector));
    ReadSectorsMapped(device, block, sector, n, nullptr);
    CollectBlockFindings(ByteView(block.data(), std::size_t{n} * kSectorSize), sector, device, findings);
    sector += n;
  }
  CloseDevice(device);
  AssignFileExtents(findings, end);
  return findings;
}

std::vector<const ScanFinding*> StructureFindings(const std::vector<ScanFinding>& findings) {
  std::vector<const ScanFinding*> out;
  for (const ScanFinding& f : findings) {
    if (!IsFileCategory(f.category)) out.push_back(&f);
  }
  return out;
}

std::vector<std::uint8_t> ReadFileSectors(const std::string& path, std::uint64_t sector, std::uint32_t count) {
  std::vector<std::uint8_t> bytes(std::size_t{count} * kSectorSize);
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(sector * kSectorSize));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

std::vector<std::uint64_t> IstatNumbers(const std::string& image, std::uint64_t offset, std::uint64_t inode,
                                        const std::string& heading) {
  CommandResult r = RunCommand({"istat", "-o", std::to_string(offset), image, std::to_string(inode)});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::uint64_t> numbers;
  bool inside = false;
  for (const std::string& line : Lines(r.out)) {
    if (!inside) {
      inside = line.rfind(heading, 0) == 0;
      continue;
    }
    bool digits = !line.empty() && std::all_of(line.begin(), line.end(), [](char c) {
      return std::isdigit(static_cast<unsigned char>(c)) || c == ' ';
    });
    if (!digits) break;
    std::istringstream in(line);
    std::uint64_t n;
    while (in >> n) numbers.push_back(n);
  }
  return numbers;
}

}  // namespace kestrum::test
