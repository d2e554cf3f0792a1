// Files made by the real tools (ImageMagick, Ghostscript, zip, 7-Zip, libgsf,
// ffmpeg) written one after another into an image: each is found by its
// signature at its first sector, and the extents cover each file whole.
// The set-up scripts install every tool: a format that could not be made fails.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>

#include "scan/file_signatures.h"
#include "scan/scan_category.h"
#include "scan_support.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;

bool HaveTool(const std::string& tool) {
  return test::RunCommand({"sh", "-c", "command -v " + tool + " >/dev/null"}).exitCode == 0;
}

struct MadeFile {
  std::string path;
  ScanCategory category;
};

class RealFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir();
    Make();
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  static std::string In(const std::string& name) { return dir_->File(name); }
  static bool Run(const std::vector<std::string>& argv) {
    test::CommandResult r = test::RunCommand(argv);
    if (r.exitCode != 0) std::cerr << argv[0] << " failed: " << r.err << "\n";
    return r.exitCode == 0;
  }
  static void Add(const std::string& name, ScanCategory category, bool made) {
    if (made && fs::exists(In(name))) {
      files_.push_back({In(name), category});
    } else {
      skipped_ += " " + name;
    }
  }

  static void Make() {
    const std::string gradient = "gradient:red-blue";
    if (HaveTool("convert")) {
      for (const char* ext : {"png", "jpg", "gif", "tif", "psd"}) {
        std::string name = std::string("picture.") + ext;
        ScanCategory c = std::string(ext) == "png"   ? kCategoryPng
                         : std::string(ext) == "jpg" ? kCategoryJpg
                         : std::string(ext) == "gif" ? kCategoryGif
                         : std::string(ext) == "tif" ? kCategoryTif
                                                     : kCategoryPsd;
        Add(name, c, Run({"convert", "-size", "320x240", gradient, In(name)}));
      }
      // Above 64 KiB: a smaller bitmap's second word is zero and reads as blank.
      Add("picture.bmp", kCategoryBmp, Run({"convert", "-size", "200x200", gradient, In("picture.bmp")}));
      // Noise compresses badly: a cover of some 200 KiB for the tagged MP3 below.
      Run({"convert", "-size", "256x256", "xc:", "+noise", "Random", In("cover.png")});
    } else {
      skipped_ += " (ImageMagick: png jpg gif tif psd bmp)";
    }
    if (HaveTool("gs")) {
      Add("text.pdf", kCategoryPdf,
          Run({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=pdfwrite", "-o", In("text.pdf"), "-c",
               "/Helvetica findfont 20 scalefont setfont 72 720 moveto (Kestrum) show showpage"}));
    } else {
      skipped_ += " pdf";
    }
    test::WriteWholeFile(In("notes.txt"), std::string(3000, 'k') + "\n");
    fs::create_directories(In("office/word"));
    test::WriteWholeFile(In("office/[Content_Types].xml"), "<?xml version=\"1.0\"?><Types/>\n");
    test::WriteWholeFile(In("office/word/document.xml"), "<w:document/>\n");
    if (HaveTool("zip")) {
      Add("archive.zip", kCategoryZip, Run({"zip", "-q", "-j", In("archive.zip"), In("notes.txt")}));
      Add("letter.docx", kCategoryDocx,
          Run({"sh", "-c", "cd '" + In("office") + "' && zip -q -X -nw ../letter.docx '[Content_Types].xml' word/document.xml"}));
    } else {
      skipped_ += " zip docx";
    }
    std::string sevenZip = HaveTool("7zz") ? "7zz" : HaveTool("7z") ? "7z" : "";
    Add("archive.7z", kCategory7z, !sevenZip.empty() && Run({sevenZip, "a", "-bd", In("archive.7z"), In("notes.txt")}));
    Add("compound.doc", kCategoryDoc, HaveTool("gsf") && Run({"gsf", "createole", In("compound.doc"), In("notes.txt")}));
    if (HaveTool("ffmpeg")) {
      auto ff = [](std::vector<std::string> args) {
        args.insert(args.begin(), {"ffmpeg", "-v", "error", "-y"});
        return Run(args);
      };
      const std::vector<std::string> video = {"-f", "lavfi", "-i", "testsrc=duration=1:size=176x144:rate=10"};
      const std::vector<std::string> audio = {"-f", "lavfi", "-i", "sine=duration=1:sample_rate=22050"};
      auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
      };
      Add("tone.wav", kCategoryWav, ff(with(audio, {"-bitexact", In("tone.wav")})));
      ff(with(audio, {"-c:a", "libmp3lame", "-id3v2_version", "3", In("plain.mp3")}));
      // An ID3 tag under 16 KiB leaves bytes 4–7 zero, which reads as blank;
      // a tag with cover art is found.
      Add("tagged.mp3", kCategoryMp3,
          fs::exists(In("cover.png")) &&
              ff({"-i", In("plain.mp3"), "-i", In("cover.png"), "-map", "0", "-map", "1", "-c", "copy",
                  "-id3v2_version", "3", In("tagged.mp3")}));
      Add("clip.mp4", kCategoryMp4,
          ff(with(with(video, audio), {"-c:v", "mpeg4", "-c:a", "aac", "-brand", "mp42", In("clip.mp4")})));
      Add("clip.3gp", kCategory3gp,
          ff(with(with(video, audio), {"-c:v", "mpeg4", "-c:a", "aac", "-ac", "1", In("clip.3gp")})));
      Add("tone.m4a", kCategoryM4a, ff(with(audio, {"-c:a", "aac", In("tone.m4a")})));
      Add("clip.avi", kCategoryAvi, ff(with(video, {"-c:v", "mpeg4", In("clip.avi")})));
      Add("clip.flv", kCategoryFlv,
          ff(with(with(video, audio), {"-c:v", "flv", "-c:a", "libmp3lame", "-ar", "22050", In("clip.flv")})));
    } else {
      skipped_ += " (ffmpeg: wav mp3 mp4 3gp m4a avi flv)";
    }
    test::WriteWholeFile(In("page.html"), "\r\n<!DOCTYPE html>\n<html><body>" + std::string(700, 'x') + "</body></html>\n");
    Add("page.html", kCategoryHtml, true);
  }

  static test::TempDir* dir_;
  static std::vector<MadeFile> files_;
  static std::string skipped_;
};

test::TempDir* RealFiles::dir_ = nullptr;
std::vector<MadeFile> RealFiles::files_;
std::string RealFiles::skipped_;

TEST_F(RealFiles, FoundBySignatureWithLengthsThatCoverThem) {
  EXPECT_TRUE(skipped_.empty()) << "formats not made (scripts/deps.sh installs their tools):" << skipped_;
  ASSERT_EQ(files_.size(), 19u) << "every format the tools make";
  // Each file at a sector boundary, the gap after it zero, behind a blank start.
  const std::uint64_t firstSector = 2048;
  std::string image = dir_->File("files.img");
  std::map<std::uint64_t, MadeFile> starts;
  {
    std::ofstream out(image, std::ios::binary);
    std::uint64_t sector = firstSector;
    out.seekp(static_cast<std::streamoff>(sector * 512));
    for (const MadeFile& f : files_) {
      std::string bytes = test::ReadWholeFile(f.path);
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      starts[sector] = f;
      std::uint64_t sectors = (bytes.size() + 511) / 512;
      std::string pad(sectors * 512 - bytes.size(), '\0');
      out.write(pad.data(), static_cast<std::streamsize>(pad.size()));
      sector += sectors;
    }
  }
  std::uint64_t total = fs::file_size(image) / 512;
  auto findings = test::ScanFile(image, 0, total);

  std::map<std::uint64_t, const ScanFinding*> found;
  for (const ScanFinding& f : findings) {
    if (IsFileCategory(f.category)) found[f.sector] = &f;
  }
  for (const auto& [sector, file] : starts) {
    std::string name = fs::path(file.path).filename().string();
    auto it = found.find(sector);
    ASSERT_NE(it, found.end()) << name << " at sector " << sector;
    EXPECT_EQ(it->second->category, file.category) << name;
    EXPECT_GE(it->second->FileLength(), fs::file_size(file.path)) << name << ": the extent covers the file";
    EXPECT_LT(it->second->FileLength(), fs::file_size(file.path) + 512) << name << ": and ends at the next one";
  }
  EXPECT_EQ(found.size(), starts.size()) << "no file gave a second signature inside it";
}

TEST_F(RealFiles, AnMp3WithASmallTagReadsAsBlank) {
  ASSERT_TRUE(fs::exists(In("plain.mp3"))) << "ffmpeg made no MP3 (scripts/deps.sh installs it)";
  std::string bytes = test::ReadWholeFile(In("plain.mp3"));
  bytes.resize(512);
  std::vector<std::uint8_t> sector(bytes.begin(), bytes.end());
  ScanCategory category;
  EXPECT_FALSE(MatchFileSignature(ByteView(sector), category)) << "bytes 4–7 of the ID3 header are zero";
}

}  // namespace
}  // namespace kestrum
