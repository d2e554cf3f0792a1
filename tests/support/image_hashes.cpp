// kestrum_image_hashes IMAGE...: one line per image, "HASH  NAME", the
// SHA-256 of what the file holds: its size, then each run of data (offset,
// length, bytes) as the file system reports it. A sparse image of terabytes
// hashes in the time its data takes, and any write — into data or into a
// hole — changes the hash. The fixture tests take it before and after the
// suites, so that no reader writes to its source.

#include <openssl/evp.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/text.h"
#include "disk/data_extents.h"
#include "disk/device.h"

namespace {

void AddNumber(EVP_MD_CTX* ctx, std::uint64_t value) {
  std::uint8_t bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
  EVP_DigestUpdate(ctx, bytes, sizeof bytes);
}

bool HashImage(const std::string& path, std::string& hex) {
  using namespace kestrum;
  DeviceHandle device;
  if (!OpenDevice(FromUtf8(path), device)) return false;
  const std::uint64_t bytes = QueryDeviceBytes(device.fd);
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr);
  AddNumber(ctx, bytes);
  bool ok = true;
  std::vector<std::uint8_t> buffer(std::size_t{2048} * kSectorSize);
  // Whole sectors; a file's last partial sector is read as bytes after them.
  for (const SectorRun& run : DataRuns(device, 0, bytes / kSectorSize)) {
    AddNumber(ctx, run.first);
    AddNumber(ctx, run.count);
    for (Sector64 at = run.first; ok && at < run.first + run.count;) {
      const auto count = static_cast<std::uint32_t>(std::min<Sector64>(2048, run.first + run.count - at));
      ok = ReadSectors(device, buffer, at, count);
      EVP_DigestUpdate(ctx, buffer.data(), std::size_t{count} * kSectorSize);
      at += count;
    }
  }
  const std::uint64_t tail = bytes % kSectorSize;
  if (ok && tail != 0 && ::pread(device.fd, buffer.data(), tail, static_cast<off_t>(bytes - tail)) == static_cast<ssize_t>(tail)) {
    EVP_DigestUpdate(ctx, buffer.data(), tail);
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(ctx, digest, &length);
  EVP_MD_CTX_free(ctx);
  CloseDevice(device);
  static const char kHex[] = "0123456789abcdef";
  hex.clear();
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 15]);
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    std::string hex;
    if (!HashImage(argv[i], hex)) {
      std::fprintf(stderr, "kestrum_image_hashes: cannot read %s\n", argv[i]);
      status = 1;
      continue;
    }
    std::printf("%s  %s\n", hex.c_str(), argv[i]);
  }
  return status;
}
