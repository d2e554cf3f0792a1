// Files made by the real tools (ImageMagick, exiftool, Ghostscript, PyMuPDF,
// zip, python-docx, 7-Zip, libgsf, ffmpeg), each followed by other data on
// an image: the scan's length is cut back to the byte where the format
// ends; a file whose rest lies elsewhere keeps the scan's length and is
// marked unverified; damaged bytes never carry a finder past its limit.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>

#include "base/byte_order.h"
#include "base/text.h"
#include "disk/device.h"
#include "scan/file_ends/file_end.h"
#include "scan/file_signatures.h"
#include "scan/refine_file_extents.h"
#include "scan_support.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;

struct Sample {
  std::string name;
  std::string bytes;
  std::uint64_t end;  // where the file's own structure ends
};

// Reads sectors from a byte string, zeros past its end.
SectorReadFn MemoryReader(const std::string& bytes) {
  return [&bytes](Sector64 sector, std::uint32_t count, std::span<std::uint8_t> out) {
    std::fill(out.begin(), out.end(), 0);
    const std::uint64_t at = sector * kSectorSize;
    if (at < bytes.size()) {
      const std::size_t n = std::min<std::size_t>(out.size(), bytes.size() - at);
      std::copy_n(bytes.data() + at, n, out.begin());
    }
    return count * kSectorSize == out.size();
  };
}

ScanCategory SignatureOf(const std::string& bytes) {
  std::vector<std::uint8_t> sector(kSectorSize, 0);
  std::copy_n(bytes.data(), std::min(bytes.size(), sector.size()), sector.begin());
  ScanCategory category = kNoCategory;
  MatchFileSignature(ByteView(sector), category);
  return category;
}

std::uint64_t Sectors(std::uint64_t bytes) { return (bytes + kSectorSize - 1) / kSectorSize; }

class FileEnds : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir();
    test::CommandResult made = test::RunCommand(
        {"sh", std::string(KESTRUM_TEST_SOURCE_DIR) + "/scan/file_end_samples.sh", dir_->path()});
    if (!made.err.empty()) std::cout << made.err;
    for (const std::string& name : test::Lines(made.out)) {
      std::string bytes = test::ReadWholeFile(dir_->File(name));
      samples_.push_back({name, bytes, bytes.size()});
    }
    // Two archives back to back: the first ends where the second begins.
    for (Sample& s : samples_) {
      if (s.name == "two.zip") s.end = fs::file_size(dir_->File("archive.zip"));
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
    samples_.clear();
  }

  // Writes the pieces one after another at sector boundaries from sector
  // 2048 on, each followed by `gapSectors` of random data; returns each
  // piece's first sector and the sector just past the image.
  static std::vector<std::uint64_t> WriteImage(const std::string& path, const std::vector<std::string>& pieces,
                                               std::uint64_t gapSectors, std::uint64_t& end) {
    std::mt19937 random(13);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::uint64_t sector = 2048;
    out.seekp(static_cast<std::streamoff>(sector * kSectorSize));
    std::vector<std::uint64_t> starts;
    for (const std::string& piece : pieces) {
      starts.push_back(sector);
      std::string gap((Sectors(piece.size()) + gapSectors) * kSectorSize - piece.size(), '\0');
      for (char& c : gap) c = static_cast<char>(random());
      out << piece << gap;
      sector += Sectors(piece.size()) + gapSectors;
    }
    end = sector;
    return starts;
  }

  // The scan of the image, extents assigned and refined; every read is
  // checked to stay inside the scan's length of its file.
  static std::map<std::uint64_t, ScanFinding> Scan(const std::string& path, std::uint64_t end) {
    std::vector<ScanFinding> findings = test::ScanFile(path, 0, end);
    std::map<std::uint64_t, std::uint64_t> limits;  // first sector -> sector past the scan's length
    for (const ScanFinding& f : findings) {
      if (IsFileCategory(f.category)) limits[f.sector] = f.sector + Sectors(f.FileLength());
    }
    DeviceHandle device;
    EXPECT_TRUE(OpenDevice(FromUtf8(path), device));
    SectorReadFn read = [&](Sector64 sector, std::uint32_t count, std::span<std::uint8_t> out) {
      auto file = limits.upper_bound(sector);
      EXPECT_TRUE(file != limits.begin() && sector + count <= std::prev(file)->second)
          << "read of sectors " << sector << "+" << count << " leaves its file";
      return ReadSectors(device, out, sector, count);
    };
    RefineFileExtents(findings, read, end);
    CloseDevice(device);
    std::map<std::uint64_t, ScanFinding> files;
    for (ScanFinding& f : findings) {
      if (IsFileCategory(f.category)) files[f.sector] = f;
    }
    return files;
  }

  static test::TempDir* dir_;
  static std::vector<Sample> samples_;
};

test::TempDir* FileEnds::dir_ = nullptr;
std::vector<Sample> FileEnds::samples_;

TEST_F(FileEnds, EachFileEndsAtTheByteItsFormatEnds) {
  ASSERT_GE(samples_.size(), 8u) << "ImageMagick, zip and ffmpeg are part of the test packages";
  std::vector<std::string> pieces;
  for (const Sample& s : samples_) pieces.push_back(s.bytes);
  std::uint64_t end = 0;
  const std::string image = dir_->File("ends.img");
  std::vector<std::uint64_t> starts = WriteImage(image, pieces, 9, end);
  std::map<std::uint64_t, ScanFinding> files = Scan(image, end);
  for (std::size_t i = 0; i < samples_.size(); ++i) {
    const Sample& s = samples_[i];
    auto it = files.find(starts[i]);
    ASSERT_NE(it, files.end()) << s.name << " is found at its first sector";
    ASSERT_NE(EndFinderFor(it->second.category), nullptr) << s.name;
    EXPECT_EQ(it->second.FileLength(), s.end) << s.name;
    EXPECT_EQ(it->second.recovery, kRecoveryGood) << s.name;
  }
}

TEST_F(FileEnds, AFileWhoseRestLiesElsewhereKeepsTheScansLengthUnverified) {
  // The first half of every file, the next file right after it.
  std::vector<std::string> pieces;
  std::vector<std::uint64_t> halves;
  for (const Sample& s : samples_) {
    if (Sectors(s.bytes.size()) < 4) continue;
    halves.push_back(Sectors(s.bytes.size()) / 2);
    pieces.push_back(s.bytes.substr(0, halves.back() * kSectorSize));
  }
  pieces.push_back(samples_.front().bytes);  // so that the last half is cut by a finding too
  std::uint64_t end = 0;
  const std::string image = dir_->File("halves.img");
  std::vector<std::uint64_t> starts = WriteImage(image, pieces, 0, end);
  std::map<std::uint64_t, ScanFinding> files = Scan(image, end);
  for (std::size_t i = 0; i < halves.size(); ++i) {
    auto it = files.find(starts[i]);
    ASSERT_NE(it, files.end());
    EXPECT_EQ(it->second.FileLength(), halves[i] * kSectorSize) << "file at sector " << starts[i];
    EXPECT_EQ(it->second.recovery, kRecoveryUnverified) << "file at sector " << starts[i];
  }
}

TEST_F(FileEnds, DamagedBytesNeverCarryAFinderPastItsLimit) {
  std::mt19937 random(7);
  for (const Sample& s : samples_) {
    const FileEndFinder finder = EndFinderFor(SignatureOf(s.bytes));
    ASSERT_NE(finder, nullptr) << s.name;
    auto check = [&](const std::string& bytes, std::uint64_t limit, const std::string& what) {
      ByteSource source(MemoryReader(bytes), 0, limit);
      FileEnd end = finder(source);
      EXPECT_LE(source.ReadEnd(), limit) << s.name << " " << what;
      if (end) {
        EXPECT_LE(*end, limit) << s.name << " " << what;
      }
      return end;
    };
    // Cut short anywhere: the structure breaks, or (PDF: an earlier
    // revision) ends inside the cut.
    for (std::uint64_t cut = 1; cut < s.end; cut += std::max<std::uint64_t>(1, s.end / 97)) {
      check(s.bytes, cut, "cut at " + std::to_string(cut));
    }
    // Flipped bytes, in the headers most of all.
    for (int n = 0; n < 200; ++n) {
      std::string bytes = s.bytes;
      const std::size_t at = n % 2 ? random() % std::min<std::size_t>(bytes.size(), 1024) : random() % bytes.size();
      bytes[at] = static_cast<char>(bytes[at] ^ (1 << (random() % 8)));
      check(bytes, bytes.size() + 4096, "byte " + std::to_string(at) + " flipped");
    }
  }
}

// Formats and variants the tools here do not write, built byte by byte.
std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}
std::string Le16(std::uint32_t v) { return Bytes({static_cast<int>(v & 0xFF), static_cast<int>(v >> 8 & 0xFF)}); }
std::string Le32(std::uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }
std::string Be32(std::uint32_t v) {
  return Bytes({static_cast<int>(v >> 24), static_cast<int>(v >> 16 & 0xFF), static_cast<int>(v >> 8 & 0xFF),
                static_cast<int>(v & 0xFF)});
}
std::string Box(const std::string& type, const std::string& body) { return Be32(8 + body.size()) + type + body; }
std::string RarBlock(int type, int flags, const std::string& rest, std::uint32_t packed = 0) {
  std::string header = Bytes({0x00, 0x00, type}) + Le16(flags) + Le16(7 + rest.size()) + rest;
  return header + std::string(packed, 'p');
}
std::string RarFileBlock(const std::string& name, std::uint32_t packed) {
  std::string rest = Le32(packed) + Le32(packed) + Bytes({2}) + Le32(0) + Le32(0) + Bytes({20, 0x30}) +
                     Le16(name.size()) + Le32(0x20) + name;
  return RarBlock(0x74, 0x8000, rest, packed);
}

TEST(FileEndCases, StructuresBuiltByHand) {
  const std::string rar = Bytes({'R', 'a', 'r', '!', 0x1A, 0x07, 0x00}) + RarBlock(0x73, 0, std::string(6, '\0')) +
                          RarFileBlock("a.txt", 300) + RarFileBlock("b.txt", 5000) + RarBlock(0x7B, 0x4000, "");
  const std::string movie = Box("moov", Box("mvhd", std::string(100, '\0'))) + Box("mdat", std::string(3000, 'm'));
  struct Case {
    const char* what;
    std::string bytes;
    FileEndFinder finder;
    FileEnd end;
  } cases[] = {
      {"RAR 4 to its end block", rar + std::string(700, 'x'), FindRarEnd, rar.size()},
      {"RAR 4 without an end block", rar.substr(0, rar.size() - 7) + std::string(700, '\0'), FindRarEnd,
       std::nullopt},
      {"QuickTime movie that begins with its moov box", movie + std::string(900, '\0'), FindIsoMediaEnd,
       movie.size()},
      {"media without a moov box", Box("ftyp", "isom") + Box("mdat", "data") + "junk", FindIsoMediaEnd,
       std::nullopt},
      {"box that runs to the end of the file", Box("ftyp", "isom") + Be32(0) + "mdat" + "data", FindIsoMediaEnd,
       std::nullopt},
      {"JPEG whose EOI comes before any scan", Bytes({0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 0, 0, 0xFF, 0xD9}),
       FindJpegEnd, std::nullopt},
      {"PDF whose %%EOF lies in a stream", "%PDF-1.4\n1 0 obj<<>>stream\n%%EOF\nendstream", FindPdfEnd,
       std::nullopt},
  };
  for (const Case& c : cases) {
    ByteSource source(MemoryReader(c.bytes), 0, c.bytes.size());
    EXPECT_EQ(c.finder(source), c.end) << c.what;
  }
}

TEST(FileEndCases, FindingsWithoutAFinderOrWithoutRoomAreLeftAlone) {
  const std::string bytes(4096, 'x');
  std::vector<ScanFinding> findings(3);
  findings[0].category = kCategoryExe;  // no end finder
  findings[0].sector = 0;
  findings[0].wordA = 4096;
  findings[1].category = kCategoryJpg;  // a length of 0: nothing to read
  findings[1].sector = 8;
  findings[2].category = kCategoryPng;  // beyond the scanned area
  findings[2].sector = 20;
  findings[2].wordA = 4096;
  RefineFileExtents(findings, MemoryReader(bytes), 16);
  EXPECT_EQ(findings[0].FileLength(), 4096u);
  EXPECT_EQ(findings[0].recovery, kRecoveryUnknown);
  EXPECT_EQ(findings[1].recovery, kRecoveryUnverified);
  EXPECT_EQ(findings[2].FileLength(), 4096u);
  EXPECT_EQ(findings[2].recovery, kRecoveryUnverified);
}

}  // namespace
}  // namespace kestrum
