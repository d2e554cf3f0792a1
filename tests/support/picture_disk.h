#pragma once
// A small MBR disk with one FAT32 partition holding real JPEG, PNG and PDF
// files (ImageMagick, Ghostscript), for the deep scan's tests: each file
// starts on a cluster, so the scan must find every one by its signature.

#include <string>
#include <vector>

namespace kestrum::test {

struct PictureDisk {
  std::string image;                 // the disk image
  std::vector<std::string> files;    // the files written, in the folder they were made in
  std::size_t jpg = 0, png = 0, pdf = 0;
  std::uint64_t partitionStart = 2048;
};

// Builds it in `dir`; false (with the test failed) when a tool is missing.
bool MakePictureDisk(const std::string& dir, PictureDisk& out);

}  // namespace kestrum::test
