#include "fs/exfat/exfat_export.h"

#include <gtest/gtest.h>

#include "base/byte_order.h"
#include "base/text.h"
#include "platform/fault_injection.h"
#include "exfat_image.h"
#include "support/run_state.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

using test::Pattern;

class ExportFromImage : public ::testing::Test {
 protected:
  void SetUp() override {
    test::PrepareRun();
    testing::ClearReadFaults();
  }
  void TearDown() override {
    testing::ClearReadFaults();
    test::PrepareRun();
  }

  std::string ImagePath() { return dir_.File("exfat.img"); }
  VolumeDescriptor Write() {
    image_.WriteTo(ImagePath());
    return image_.Descriptor(ImagePath());
  }
  // The volume's tables as the reader caches them.
  static void CacheFat(VolumeDescriptor& v, test::ExfatImage& image) {
    auto fat = std::make_shared<std::vector<std::uint8_t>>();
    for (std::uint32_t s = 0; s < image.layout().fatLength; ++s) {
      const auto& bytes = image.image().Sector(image.layout().startSector + image.layout().fatOffset + s);
      fat->insert(fat->end(), bytes.begin(), bytes.end());
    }
    v.readerState.fat = fat;
  }

  FileNode Node(std::uint32_t cluster, std::uint64_t size, bool noFatChain) {
    FileNode n;
    n.name = u"f";
    n.type = kFile;
    n.location = cluster;
    n.size = size;
    n.noFatChain = noFatChain ? 1 : 0;
    return n;
  }

  std::string Run(const VolumeDescriptor& v, const FileNode& node, bool& ok, bool rebuilt = false) {
    OutputFile out;
    EXPECT_TRUE(out.Create(dir_.File("out.bin")));
    status_ = StatusMessage{};
    status_.kind = StatusKind::kExport;
    ok = rebuilt ? ExportRebuiltExfatFile(v, node, out, status_) : ExportExfatFile(v, node, out, status_);
    out.Close();
    return test::ReadWholeFile(dir_.File("out.bin"));
  }

  static std::string Bytes(const std::vector<std::uint8_t>& v, std::size_t n) {
    return std::string(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(n));
  }

  test::TempDir dir_;
  test::ExfatImage image_;
  StatusMessage status_;
};

TEST_F(ExportFromImage, FragmentedAndContiguousFilesCopyExactly) {
  // frag: clusters 10, 20, 21, 11 is another file's; contiguous: 30–33, no FAT chain.
  auto frag = Pattern(3 * 512 - 100, 1);
  auto other = Pattern(512, 99);
  auto contiguous = Pattern(3 * 512 + 7, 50);
  image_.Chain({10, 20, 21});
  image_.Chain({11});
  image_.PutInClusters({10, 20, 21}, frag);
  image_.PutInClusters({11}, other);
  image_.PutInClusters({30, 31, 32, 33}, contiguous);
  VolumeDescriptor v = Write();
  CacheFat(v, image_);
  bool ok = false;
  EXPECT_EQ(Run(v, Node(10, frag.size(), false), ok), Bytes(frag, frag.size()));
  EXPECT_TRUE(ok);
  EXPECT_EQ(status_.exportStatus.bytesExported, frag.size());
  EXPECT_EQ(status_.exportStatus.currentFileCopied, frag.size());
  StatusMessage posted;
  ASSERT_TRUE(TakeStatus(posted));
  EXPECT_EQ(posted.kind, StatusKind::kExport);
  EXPECT_EQ(posted.exportStatus.bytesExported, frag.size()) << "the last piece was posted";
  EXPECT_EQ(Run(v, Node(11, 512, false), ok), Bytes(other, 512));
  EXPECT_EQ(Run(v, Node(30, contiguous.size(), true), ok), Bytes(contiguous, contiguous.size()));
  EXPECT_TRUE(ok);
  // A deleted file whose chain was cleared: the clusters follow each other.
  EXPECT_EQ(Run(v, Node(30, contiguous.size(), false), ok), Bytes(contiguous, contiguous.size()));
  EXPECT_TRUE(ok);
}

TEST_F(ExportFromImage, ABadSectorIsZerosAndAStopLeavesNothing) {
  auto content = Pattern(6 * 512, 3);
  image_.PutInClusters({40, 41, 42, 43, 44, 45}, content);
  VolumeDescriptor v = Write();
  testing::InjectReadFault(ImagePath(), image_.ClusterSector(43), 1);
  bool ok = false;
  std::string withZeros = Bytes(content, content.size());
  std::fill_n(withZeros.begin() + 3 * 512, 512, '\0');
  EXPECT_EQ(Run(v, Node(40, content.size(), true), ok), withZeros);
  EXPECT_TRUE(ok);
  testing::ClearReadFaults();
  RequestAbort();
  EXPECT_EQ(Run(v, Node(40, content.size(), true), ok), "");
  EXPECT_FALSE(ok);
}

TEST_F(ExportFromImage, AChainShorterThanTheFileKeepsWhatItGives) {
  auto content = Pattern(2 * 512, 8);
  image_.Chain({60, 61});
  image_.PutInClusters({60, 61}, content);
  VolumeDescriptor v = Write();
  CacheFat(v, image_);
  bool ok = true;
  EXPECT_EQ(Run(v, Node(60, 5 * 512, false), ok), Bytes(content, content.size()));
  EXPECT_FALSE(ok) << "the copy is not whole";
  EXPECT_EQ(Run(v, Node(0, 512, false), ok), "");
  EXPECT_FALSE(ok) << "no first cluster";
  VolumeDescriptor missing = v;
  missing.diskPath = u"/nonexistent/disk.img";
  EXPECT_FALSE(ExportExfatFile(missing, Node(60, 512, false), *std::make_unique<OutputFile>(), status_));
}

// A volume rebuilt from findings: start 0, the heap offset absolute, no FAT.
class ExportRebuilt : public ExportFromImage {
 protected:
  VolumeDescriptor Rebuilt(std::uint32_t heap, std::uint32_t shift) {
    VolumeDescriptor v;
    v.fsKind = kFsRebuiltExfat;
    v.diskPath = FromUtf8(ImagePath());
    WriteLe32(v.bootSector, 88, heap);
    v.bootSector[109] = static_cast<std::uint8_t>(shift);
    return v;
  }
};

TEST_F(ExportRebuilt, CopiesContiguousClustersInMegabytePieces) {
  // A disk of 12000 sectors; heap at 1000, 4 KiB clusters; a file of
  // 2.5 MiB at cluster 5 and one that ends on the disk's last sector.
  test::SectorImage disk(12000);
  auto big = Pattern((5u << 19) + 3, 21);
  disk.PutAt((1000 + 8 * 3) * 512ull, big.data(), big.size());
  const std::uint64_t tailSize = 3 * 512 + 10;
  auto tail = Pattern(tailSize, 77);
  disk.PutAt(12000 * 512ull - 4 * 512, tail.data(), tail.size());
  disk.WriteTo(ImagePath());
  VolumeDescriptor v = Rebuilt(1000, 3);
  bool ok = false;
  EXPECT_EQ(Run(v, Node(5, big.size(), false), ok, true), Bytes(big, big.size()));
  EXPECT_TRUE(ok);
  EXPECT_EQ(status_.exportStatus.bytesExported, big.size());
  // Cluster of sector 11996: (11996 − 1000) / 8 + 2 = 1376.5 — use 512-byte clusters.
  VolumeDescriptor bySector = Rebuilt(1000, 0);
  EXPECT_EQ(Run(bySector, Node(2 + 11996 - 1000, tailSize, false), ok, true), Bytes(tail, tailSize));
  EXPECT_TRUE(ok) << "the last piece reads only its own sectors";

  testing::InjectReadFault(ImagePath(), 1000 + 24 + 2048 + 5, 1);
  std::string withZeros = Bytes(big, big.size());
  std::fill_n(withZeros.begin() + (2048 + 5) * 512, 512, '\0');
  EXPECT_EQ(Run(v, Node(5, big.size(), false), ok, true), withZeros);
  EXPECT_TRUE(ok) << "a piece that does not read in one piece is read sector by sector";
  testing::ClearReadFaults();
  EXPECT_EQ(Run(v, Node(1, 512, false), ok, true), "");
  EXPECT_FALSE(ok);
  RequestAbort();
  EXPECT_EQ(Run(v, Node(5, big.size(), false), ok, true), "");
  EXPECT_FALSE(ok);
}

TEST_F(ExportRebuilt, SizesAbove4GiBAreNotCutToTheirLow32Bits) {
  // 4 GiB + 1 MiB on a disk that holds only the first MiB of it: counted in
  // 32 bits the size would be 1 MiB and the copy would end "complete"; the
  // copy must instead go on to the second piece, fail there, and be cut.
  test::SectorImage disk(100 + 2048 + 16);
  auto first = Pattern(1 << 20, 5);
  disk.PutAt(100 * 512, first.data(), first.size());
  disk.WriteTo(ImagePath());
  VolumeDescriptor v = Rebuilt(100, 0);
  bool ok = true;
  EXPECT_EQ(Run(v, Node(2, (std::uint64_t{4} << 30) + (1 << 20), false), ok, true), "");
  EXPECT_FALSE(ok);
  EXPECT_EQ(status_.exportStatus.bytesExported, std::uint64_t{1} << 20) << "the first piece was copied";
  EXPECT_EQ(Run(v, Node(2, 1 << 20, false), ok, true), Bytes(first, first.size()));
  EXPECT_TRUE(ok);
}

}  // namespace
}  // namespace kestrum
