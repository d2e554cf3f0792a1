// Files made by the real tools (file_end_samples.sh), each followed by
// other data on an image: every one is found with its format's category,
// the scan's length is cut back to the byte where the format ends, and a
// file the scan finds inside one of them (a raw's preview, an archive's
// member) is part of it; a file whose rest lies elsewhere keeps the scan's
// length and is marked unverified; damaged bytes never carry a finder past
// its limit.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <tuple>

#include "base/byte_order.h"
#include "base/text.h"
#include "disk/device.h"
#include "scan/early_file_walks.h"
#include "scan/file_ends/file_end.h"
#include "scan/file_extents.h"
#include "scan/file_signatures.h"
#include "scan/refine_file_extents.h"
#include "scan_support.h"
#include "support/run_command.h"
#include "support/run_state.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;

struct Sample {
  std::string name;
  std::string bytes;
  std::uint64_t end;  // where the file's own structure ends
  ScanCategory category;
};

// Every file the script makes, in its order, with the category its
// signature gives.
const std::pair<const char*, ScanCategory> kSamples[] = {
    {"photo.jpg", kCategoryJpg},        {"progressive.jpg", kCategoryJpg}, {"thumbnailed.jpg", kCategoryJpg},
    {"picture.png", kCategoryPng},      {"animated.gif", kCategoryGif},    {"picture.bmp", kCategoryBmp},
    {"picture.tif", kCategoryTif},      {"picture.psd", kCategoryPsd},     {"picture.webp", kCategoryWebp},
    {"photo.heic", kCategoryHeic},      {"photo.avif", kCategoryAvif},     {"text.pdf", kCategoryPdf},
    {"updated.pdf", kCategoryPdf},      {"letter.docx", kCategoryDocx},    {"compound.doc", kCategoryDoc},
    {"page.html", kCategoryHtml},       {"text.odt", kCategoryOdt},        {"book.epub", kCategoryEpub},
    {"archive.zip", kCategoryZip},      {"two.zip", kCategoryZip},         {"streamed.zip", kCategoryZip},
    {"zip64.zip", kCategoryZip},        {"archive.7z", kCategory7z},       {"words.gz", kCategoryGz},
    {"bundle.tgz", kCategoryGz},        {"words.bz2", kCategoryBz2},       {"words.xz", kCategoryXz},
    {"words.zst", kCategoryZst},        {"bundle.tar", kCategoryTar},      {"disc.iso", kCategoryIso},
    {"notes.sqlite", kCategorySqlite},  {"tone.wav", kCategoryWav},        {"clip.mp4", kCategoryMp4},
    {"faststart.mp4", kCategoryMp4},    {"clip.3gp", kCategory3gp},        {"tone.m4a", kCategoryM4a},
    {"clip.avi", kCategoryAvi},         {"clip.mov", kCategoryMov},        {"tagged.mp3", kCategoryMp3},
    {"clip.flv", kCategoryFlv},         {"clip.rm", kCategoryRmvb},        {"clip.mkv", kCategoryMkv},
    {"clip.webm", kCategoryWebm},       {"clip.ts", kCategoryTs},          {"clip.m2ts", kCategoryM2ts},
    {"tone.flac", kCategoryFlac},       {"tone.ogg", kCategoryOgg},        {"tone.opus", kCategoryOpus},
    {"tone.wma", kCategoryWma},         {"clip.wmv", kCategoryWmv},        {"program", kCategoryElf},
    {"object.o", kCategoryMacho},       {"library.dylib", kCategoryMacho}, {"universal.dylib", kCategoryMacho},
    {"program.exe", kCategoryExe},      {"photo.nef", kCategoryNef},       {"photo.arw", kCategoryArw},
    {"photo.pef", kCategoryPef},        {"photo.dng", kCategoryDng},       {"photo.orf", kCategoryOrf},
    {"photo.rw2", kCategoryRw2},        {"photo.cr2", kCategoryCr2},       {"photo.cr3", kCategoryCr3},
    {"drawing.wmf", kCategoryWmf},      {"drawing.emf", kCategoryEmf},     {"app.apk", kCategoryApk},
    {"manual.chm", kCategoryChm},       {"help.hlp", kCategoryHlp},
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

std::uint64_t Sectors(std::uint64_t bytes) { return (bytes + kSectorSize - 1) / kSectorSize; }

class FileEnds : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir();
    test::CommandResult made = test::RunCommand(
        {"sh", std::string(KESTRUM_TEST_SOURCE_DIR) + "/scan/file_end_samples.sh", dir_->path()});
    if (made.exitCode != 0) std::cout << made.err;
    names_ = test::Lines(made.out);
    for (const auto& [name, category] : kSamples) {
      if (std::find(names_.begin(), names_.end(), name) == names_.end()) continue;
      std::string bytes = test::ReadWholeFile(dir_->File(name));
      samples_.push_back({name, bytes, bytes.size(), category});
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
    names_.clear();
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

  // The scan of the image, extents assigned and refined, keyed by where
  // each file begins; no read leaves the scanned area.
  static std::map<std::uint64_t, ScanFinding> Scan(const std::string& path, std::uint64_t end) {
    std::vector<ScanFinding> findings = test::ScanFile(path, 0, end);
    DeviceHandle device;
    EXPECT_TRUE(OpenDevice(FromUtf8(path), device));
    SectorReadFn read = [&](Sector64 sector, std::uint32_t count, std::span<std::uint8_t> out) {
      EXPECT_LE(sector + count, end) << "read of sectors " << sector << "+" << count;
      return ReadSectors(device, out, sector, count);
    };
    RefineFileExtents(findings, read, end);
    CloseDevice(device);
    std::map<std::uint64_t, ScanFinding> files;
    for (ScanFinding& f : findings) {
      if (IsFileCategory(f.category)) files[FileStartSector(f)] = f;
    }
    return files;
  }

  static test::TempDir* dir_;
  static std::vector<std::string> names_;
  static std::vector<Sample> samples_;
};

test::TempDir* FileEnds::dir_ = nullptr;
std::vector<std::string> FileEnds::names_;
std::vector<Sample> FileEnds::samples_;

TEST_F(FileEnds, TheToolsMakeEverySample) {
  std::vector<std::string> expected;
  for (const auto& sample : kSamples) expected.push_back(sample.first);
  EXPECT_EQ(names_, expected) << "scripts/deps.sh installs every tool file_end_samples.sh uses";
}

TEST_F(FileEnds, EachFileEndsAtTheByteItsFormatEnds) {
  std::vector<std::string> pieces;
  for (const Sample& s : samples_) pieces.push_back(s.bytes);
  std::uint64_t end = 0;
  const std::string image = dir_->File("ends.img");
  std::vector<std::uint64_t> starts = WriteImage(image, pieces, 9, end);
  std::map<std::uint64_t, ScanFinding> files = Scan(image, end);
  std::map<std::uint64_t, std::size_t> sampleAt;
  for (std::size_t i = 0; i < samples_.size(); ++i) sampleAt[starts[i]] = i;
  for (const auto& [sector, finding] : files) {
    auto at = sampleAt.find(sector);
    if (at == sampleAt.end()) {
      // Found inside a sample (a preview, a member): part of that sample.
      auto outer = sampleAt.upper_bound(sector);
      ASSERT_NE(outer, sampleAt.begin());
      const Sample& s = samples_[std::prev(outer)->second];
      EXPECT_TRUE(finding.insideEarlierFile)
          << ToUtf8(CategoryName(finding.category)) << " at sector " << sector << " inside " << s.name;
      EXPECT_LT((sector - std::prev(outer)->first) * kSectorSize, s.end) << s.name;
      continue;
    }
    const Sample& s = samples_[at->second];
    EXPECT_EQ(finding.category, s.category) << s.name;
    EXPECT_FALSE(finding.insideEarlierFile) << s.name;
    ASSERT_NE(EndFinderFor(finding.category), nullptr) << s.name;
    EXPECT_EQ(finding.FileLength(), s.end) << s.name;
    EXPECT_EQ(finding.recovery, kRecoveryGood) << s.name;
  }
  for (std::size_t i = 0; i < samples_.size(); ++i) {
    EXPECT_TRUE(files.count(starts[i])) << samples_[i].name << " is found at its first sector";
  }
}

TEST_F(FileEnds, AFileWhoseRestLiesElsewhereKeepsTheScansLengthUnverified) {
  // The first half of every file, the next file right after it.
  std::vector<std::string> pieces;
  std::vector<std::uint64_t> halves;
  std::vector<std::string> names;
  for (const Sample& s : samples_) {
    if (Sectors(s.bytes.size()) < 4) continue;
    names.push_back(s.name);
    halves.push_back(Sectors(s.bytes.size()) / 2);
    // A transport stream cut between two packets reads as whole: cut it
    // inside one.
    const std::uint64_t packet = s.category == kCategoryTs ? 188 : s.category == kCategoryM2ts ? 192 : 0;
    if (packet != 0 && halves.back() * kSectorSize % packet == 0) --halves.back();
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
    // Up to the next file found, the next half or one found inside this one.
    const std::uint64_t next = std::next(it) == files.end() ? end : std::next(it)->first;
    EXPECT_LE(next, starts[i] + halves[i]);
    EXPECT_EQ(it->second.FileLength(), (next - starts[i]) * kSectorSize) << "half of " << names[i];
    EXPECT_EQ(it->second.recovery, kRecoveryUnverified) << "half of " << names[i];
  }
}

TEST_F(FileEnds, DamagedBytesNeverCarryAFinderPastItsLimit) {
  std::mt19937 random(7);
  for (const Sample& s : samples_) {
    const FileEndFinder finder = EndFinderFor(s.category);
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
    for (std::uint64_t cut = 1; cut < s.end; cut += std::max<std::uint64_t>(1, s.end / 31)) {
      check(s.bytes, cut, "cut at " + std::to_string(cut));
    }
    // Flipped bytes, in the headers most of all.
    for (int n = 0; n < 60; ++n) {
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

// A JPEG of one pixel: 29 bytes.
std::string TinyJpeg() {
  return Bytes({0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, 0, 1, 0, 1, 1, 1, 0x11, 0, 0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 0x3F, 0,
                0x12, 0x34, 0xFF, 0xD9});
}

// Eight sectors: a TIFF whose strip (sectors 4–5) lies past a JPEG whole
// inside it at sector 2 (its preview, say); it ends at 3072 bytes.
std::string TiffHoldingAJpeg() {
  std::string bytes = Bytes({'I', 'I', 42, 0}) + Le32(8) + Le16(2) + Le16(273) + Le16(4) + Le32(1) + Le32(2048) +
                      Le16(279) + Le16(4) + Le32(1) + Le32(1024) + Le32(0);
  bytes.resize(1024, '\0');
  bytes += TinyJpeg();
  bytes.resize(4096, 'r');
  return bytes;
}

TEST(FileEndCases, AFileIsWalkedPastFilesFoundInsideItButNeverPastAStructure) {
  // The TIFF and, in the second case, an FAT directory sector before its
  // strip.
  const std::string bytes = TiffHoldingAJpeg();
  for (const Sector64 fence : {8u, 5u}) {
    std::vector<ScanFinding> findings(3);
    for (auto [i, category, sector] : {std::tuple{0, kCategoryTif, 0u}, {1, kCategoryJpg, 2u}, {2, kCategoryFatDir, fence}}) {
      findings[i].category = category;
      findings[i].sector = sector;
    }
    AssignFileExtents(findings, 16);
    SectorReadFn read = [&](Sector64 sector, std::uint32_t count, std::span<std::uint8_t> out) {
      EXPECT_LE(sector + count, fence) << "a read past the structure at sector " << fence;
      return MemoryReader(bytes)(sector, count, out);
    };
    RefineFileExtents(findings, read, 16);
    if (fence == 8) {
      EXPECT_EQ(findings[0].FileLength(), 3072u);
      EXPECT_EQ(findings[0].recovery, kRecoveryGood);
      EXPECT_TRUE(findings[1].insideEarlierFile);
    } else {
      EXPECT_EQ(findings[0].FileLength(), 1024u) << "up to the JPEG, as the scan gave it";
      EXPECT_EQ(findings[0].recovery, kRecoveryUnverified);
      EXPECT_FALSE(findings[1].insideEarlierFile);
    }
  }
}

// Files are walked many at a time, their results taken in order a stretch
// of the list at a time: over thousands of findings every file gets its
// own end, and the JPEG inside a TIFF is known as inside where the TIFF is
// the 1,024th finding and the JPEG the next.
TEST(FileEndCases, ManyFilesGetTheirOwnEndsAndWhatLiesInsideStaysInside) {
  constexpr std::size_t kJpegs = 2500;
  std::string bytes;
  std::size_t tiffAt = 0;
  std::vector<ScanFinding> findings;
  auto add = [&](ScanCategory category, std::size_t atByte) {
    ScanFinding& f = findings.emplace_back();
    f.category = category;
    f.sector = atByte / kSectorSize;
  };
  for (std::size_t i = 0; i < kJpegs; ++i) {
    if (i == 1023) {
      tiffAt = bytes.size();
      add(kCategoryTif, bytes.size());
      add(kCategoryJpg, bytes.size() + 1024);
      bytes += TiffHoldingAJpeg();
    }
    add(kCategoryJpg, bytes.size());
    bytes += TinyJpeg();
    bytes.resize(bytes.size() + kSectorSize - TinyJpeg().size(), 'r');
  }
  const auto end = static_cast<Sector64>(bytes.size() / kSectorSize);
  AssignFileExtents(findings, end);
  RefineFileExtents(findings, MemoryReader(bytes), end);
  std::size_t whole = 0;
  for (const ScanFinding& f : findings) {
    if (f.category == kCategoryTif) {
      EXPECT_EQ(f.FileLength(), 3072u);
      EXPECT_EQ(f.recovery, kRecoveryGood);
    } else if (f.insideEarlierFile) {
      EXPECT_EQ(f.sector * kSectorSize, tiffAt + 1024);
    } else {
      whole += f.FileLength() == TinyJpeg().size() && f.recovery == kRecoveryGood;
    }
  }
  EXPECT_EQ(whole, kJpegs);
  EXPECT_EQ(std::count_if(findings.begin(), findings.end(), [](const ScanFinding& f) { return f.insideEarlierFile; }), 1);
}

// The walks taken while a scan goes on, its findings handed over a few
// blocks at a time: each file of 64 KiB or more is walked with the length
// the finish gives it, so the finish takes every one of them, ignores one
// whose length differs, and ends with what it gives without them.
TEST(FileEndCases, WalksTakenDuringTheScanGiveWhatTheFinishWouldHave) {
  test::PrepareRun();
  std::string bytes;
  std::vector<ScanFinding> findings;
  auto add = [&](ScanCategory category, std::size_t atByte) {
    ScanFinding& f = findings.emplace_back();
    f.category = category;
    f.sector = atByte / kSectorSize;
  };
  for (std::size_t i = 0; i < 40; ++i) {
    if (i == 20) {
      add(kCategoryTif, bytes.size());
      add(kCategoryJpg, bytes.size() + 1024);
      bytes += TiffHoldingAJpeg();
    }
    add(kCategoryJpg, bytes.size());
    bytes += TinyJpeg();
    bytes.resize(bytes.size() + (i % 3 == 0 ? 512 : 80 * 1024) - TinyJpeg().size(), 'r');
  }
  test::TempDir dir;
  test::WriteWholeFile(dir.File("walks.img"), bytes);
  VolumeDescriptor area;
  area.diskPath = FromUtf8(dir.File("walks.img"));
  area.sectorCount = bytes.size() / kSectorSize;
  const Sector64 end = area.sectorCount;

  std::vector<FirstFileWalk> early;
  {
    EarlyFileWalks walks(area);
    for (std::size_t from = 0; from < findings.size(); from += 7) {
      walks.AddBlock({findings.begin() + static_cast<std::ptrdiff_t>(from),
                      findings.begin() + static_cast<std::ptrdiff_t>(std::min(from + 7, findings.size()))});
    }
    early = walks.Finish(true);
  }
  std::vector<ScanFinding> plain = findings;
  AssignFileExtents(plain, end);
  // Every long file but the last, whose length the area's end gives: the
  // walks never learn of a finding after it.
  std::size_t longFiles = 0;
  for (std::size_t i = 0; i + 1 < plain.size(); ++i) longFiles += plain[i].FileLength() >= 64 * 1024;
  ASSERT_GT(longFiles, 20u);
  EXPECT_EQ(early.size(), longFiles);
  for (const FirstFileWalk& walk : early) {
    auto it = std::find_if(plain.begin(), plain.end(), [&](const ScanFinding& f) { return f.sector == walk.sector; });
    ASSERT_NE(it, plain.end());
    EXPECT_EQ(walk.length, it->FileLength()) << "sector " << walk.sector;
  }
  // A walk taken with another length says nothing of this one.
  FirstFileWalk stale = early.front();
  stale.length += kSectorSize;
  stale.end = 1;
  early.insert(early.begin(), stale);

  std::vector<ScanFinding> taken = plain;
  RefineFileExtents(plain, MemoryReader(bytes), end);
  RefineFileExtents(taken, MemoryReader(bytes), end, early);
  for (std::size_t i = 0; i < plain.size(); ++i) {
    EXPECT_EQ(taken[i].FileLength(), plain[i].FileLength()) << i;
    EXPECT_EQ(taken[i].recovery, plain[i].recovery) << i;
    EXPECT_EQ(taken[i].insideEarlierFile, plain[i].insideEarlierFile) << i;
  }
}

TEST(FileEndCases, FindingsWithoutAFinderOrWithoutRoomAreLeftAlone) {
  const std::string bytes(4096, 'x');
  std::vector<ScanFinding> findings(3);
  findings[0].category = kCategoryJar;  // no end finder
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
