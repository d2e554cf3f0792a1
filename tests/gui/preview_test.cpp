// Thumbnails of pictures in the icon view and the preview pane, over a
// small disk of real files (ImageMagick pictures, GBK text, random bytes)
// and two hostile ones: a JPEG whose data is junk and a PNG that claims
// 60000×60000 pixels.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <chrono>
#include <filesystem>

#include "base/crc32.h"
#include "browser_support.h"
#include "gui/dev_sel_dlg.h"
#include "gui/picture_decode.h"
#include "gui/preview_pane.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace kestrum::test {
namespace {

namespace fs = std::filesystem;

constexpr char kGbkText[] = "\xBC\xBE\xB6\xC8\xD7\xDC\xBD\xE1\xA3\xAC\xCA\xFD\xBE\xDD\xBB\xD6\xB8\xB4";  // 季度总结，数据恢复

void Append32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

// A PNG chunk with its length and CRC.
void Chunk(std::string& png, const char* type, const std::string& data) {
  Append32(png, static_cast<std::uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  png += body;
  Append32(png, Crc32(ByteView(reinterpret_cast<const std::uint8_t*>(body.data()), body.size())));
}

// A well-formed PNG whose header claims 60000×60000 pixels; its pixel data
// is one small compressed block, nowhere near that many.
std::string HugeClaimPng() {
  std::string png = "\x89PNG\r\n\x1A\n";
  std::string header;
  Append32(header, 60000);
  Append32(header, 60000);
  header += std::string("\x08\x06\x00\x00\x00", 5);
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", std::string("\x78\x9C\x63\x00\x00\x00\x01\x00\x01", 9));
  Chunk(png, "IEND", "");
  return png;
}

struct PreviewDisk {
  std::string image;
  int jpegs = 0;
  int pngs = 0;
};

bool Run(const std::vector<std::string>& argv) {
  CommandResult r = RunCommand(argv);
  EXPECT_EQ(r.exitCode, 0) << argv[0] << ": " << r.err;
  return r.exitCode == 0;
}

// An MBR disk with one FAT32 partition holding the files.
bool MakePreviewDisk(const TempDir& dir, PreviewDisk& disk) {
  fs::create_directories(dir.File("files"));
  auto file = [&](const std::string& name) { return dir.File("files/" + name); };
  for (int i = 1; i <= 3; ++i) {
    const std::string size = std::to_string(320 * i) + "x" + std::to_string(240 * i);
    if (!Run({"convert", "-size", size, "plasma:fractal", "-quality", "85", file("photo" + std::to_string(i) + ".jpg")})) {
      return false;
    }
  }
  if (!Run({"convert", "-size", "300x200", "gradient:yellow-green", file("chart.png")})) return false;
  disk.jpegs = 4;  // with the broken one
  disk.pngs = 2;   // with the huge one
  std::string junk(20000, '\0');
  for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>((i * 7919) >> 3);
  WriteWholeFile(file("broken.jpg"), std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11) + junk);
  WriteWholeFile(file("huge.png"), HugeClaimPng());
  std::string text;
  for (int i = 0; i < 200; ++i) text += std::string(kGbkText) + "\r\n";
  WriteWholeFile(file("notes.txt"), text);
  std::string binary(8192, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 131 + (i >> 5));
  WriteWholeFile(file("data.bin"), binary);
  disk.image = dir.File("preview.img");
  if (!Run({"truncate", "-s", "64M", disk.image})) return false;
  if (!Run({"sh", "-c", "printf 'label: dos\\n2048,,c\\n' | sfdisk -q '" + disk.image + "'"})) return false;
  if (!Run({"mkfs.vfat", "-F", "32", "--offset", "2048", disk.image, "64512"})) return false;
  std::vector<std::string> copy = {"env", "MTOOLS_SKIP_CHECK=1", "mcopy", "-i", disk.image + "@@1048576"};
  for (const char* name : {"photo1.jpg", "photo2.jpg", "photo3.jpg", "chart.png", "broken.jpg", "huge.png",
                           "notes.txt", "data.bin"}) {
    copy.push_back(file(name));
  }
  copy.push_back("::/");
  return Run(copy);
}

QTreeWidgetItem* FolderStartingWith(QTreeWidgetItem* item, const QString& prefix) {
  for (int i = 0; i < item->childCount(); ++i) {
    if (item->child(i)->text(0).startsWith(prefix)) return item->child(i);
  }
  return nullptr;
}

// The thumbnail states of a folder of pictures, once each has one: the rows
// on screen ask for theirs when they are painted.
std::map<CExplorerListCtrl::Thumbnail, int> ThumbnailsOf(Browser& b) {
  using T = CExplorerListCtrl::Thumbnail;
  const bool settled = WaitFor([&] {
    for (int r = 0; r < b.list->RowCount(); ++r) {
      if (b.list->ThumbnailOf(r) == T::kNone || b.list->ThumbnailOf(r) == T::kPending) return false;
    }
    return true;
  });
  EXPECT_TRUE(settled);
  std::map<CExplorerListCtrl::Thumbnail, int> states;
  for (int r = 0; r < b.list->RowCount(); ++r) ++states[b.list->ThumbnailOf(r)];
  return states;
}

TEST(Thumbnails, FoundPicturesShowAsThumbnailsBrokenOnesAsBrokenAndAHugeClaimIsNeverDecoded) {
  TempDir dir;
  PreviewDisk disk;
  ASSERT_TRUE(MakePreviewDisk(dir, disk));
  Browser b(4, 0, disk.image);  // "搜索恢复磁盘的文件": the files found by content
  ASSERT_EQ(b.gui.window->CurrentPage(), PageId::kBrowser);
  b.list->SetViewMode(CExplorerListCtrl::kIconView);
  b.tree->topLevelItem(0)->setExpanded(true);
  using T = CExplorerListCtrl::Thumbnail;
  {
    QTreeWidgetItem* jpg = FolderStartingWith(b.tree->topLevelItem(0), QStringLiteral("jpg-"));
    ASSERT_NE(jpg, nullptr);
    b.ClickTreeItem(jpg);
    ASSERT_EQ(b.list->RowCount(), disk.jpegs);
    EXPECT_EQ(ThumbnailsOf(b), (std::map<T, int>{{T::kShown, disk.jpegs - 1}, {T::kBroken, 1}}));
    // A thumbnail is the picture itself, not the type's icon.
    for (int r = 0; r < b.list->RowCount(); ++r) {
      if (b.list->ThumbnailOf(r) != T::kShown) continue;
      const QIcon icon = b.list->Model()->index(r, 0).data(Qt::DecorationRole).value<QIcon>();
      const QSize size = icon.availableSizes().value(0);
      EXPECT_TRUE(size.width() == 2 * CExplorerListCtrl::kThumbnailSide ||
                  size.height() == 2 * CExplorerListCtrl::kThumbnailSide) << size.width() << "x" << size.height();
    }
    Shoot(b.gui.window.get(), "30-browser-thumbnails.png");
  }
  QTreeWidgetItem* png = FolderStartingWith(b.tree->topLevelItem(0), QStringLiteral("png-"));
  ASSERT_NE(png, nullptr);
  b.ClickTreeItem(png);
  ASSERT_EQ(b.list->RowCount(), disk.pngs);
  EXPECT_EQ(ThumbnailsOf(b), (std::map<T, int>{{T::kShown, 1}, {T::kTooLarge, 1}}));
  // The details view asks for no thumbnails.
  b.list->SetViewMode(CExplorerListCtrl::kDetailView);
  QTreeWidgetItem* pdf = FolderStartingWith(b.tree->topLevelItem(0), QStringLiteral("txt"));
  if (pdf != nullptr) b.ClickTreeItem(pdf);
  EXPECT_EQ(b.list->ThumbnailsOutstanding(), 0u);
}

TEST(Thumbnails, APictureIsDecodedAtTheSizeShownAndAClaimOfTooManyPixelsNotAtAll) {
  const std::string huge = HugeClaimPng();
  const auto start = std::chrono::steady_clock::now();
  DecodedPicture p = DecodePicture(QByteArray(huge.data(), static_cast<qsizetype>(huge.size())), QSize(128, 128));
  EXPECT_EQ(p.state, PictureState::kTooLarge);
  EXPECT_EQ(p.claimedSize, QSize(60000, 60000));
  EXPECT_TRUE(p.image.isNull());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "it must not have been decoded";

  QImage big(1200, 900, QImage::Format_RGB32);
  big.fill(Qt::blue);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(big.save(&buffer, "PNG"));
  p = DecodePicture(png, QSize(128, 128));
  EXPECT_EQ(p.state, PictureState::kShown);
  EXPECT_EQ(p.image.size(), QSize(128, 96));
  EXPECT_EQ(DecodePicture(png.left(60), QSize(128, 128)).state, PictureState::kBroken) << "cut inside its header";
  EXPECT_EQ(DecodePicture(QByteArray("plain text, no picture"), QSize(128, 128)).state, PictureState::kBroken);
  EXPECT_TRUE(IsShownPictureExtension(QStringLiteral("jpg")));
  EXPECT_FALSE(IsShownPictureExtension(QStringLiteral("pdf")));
}

// Selects the row, waits for the pane to show it.
void Preview(Browser& b, const QString& name) {
  const int row = b.Row(name);
  ASSERT_GE(row, 0) << name.toStdString();
  b.list->SelectRow(row);
  EXPECT_TRUE(WaitFor([&] { return !b.page->Preview()->Loading(); })) << name.toStdString();
  EXPECT_EQ(b.page->Preview()->Title(), name);
}

TEST(PreviewPane, AJpegAGbkTextAndABinaryFileEachShowAsWhatTheyAre) {
  TempDir dir;
  PreviewDisk disk;
  ASSERT_TRUE(MakePreviewDisk(dir, disk));
  Browser b(2, 0, disk.image);
  ASSERT_EQ(b.gui.window->CurrentPage(), PageId::kBrowser);
  b.gui.window->resize(1280, 800);
  CPreviewPane* pane = b.page->Preview();
  EXPECT_FALSE(pane->isVisible());
  b.page->PreviewButton()->click();
  ASSERT_TRUE(pane->isVisible());
  using Mode = CPreviewPane::Mode;

  Preview(b, QStringLiteral("photo3.jpg"));
  EXPECT_EQ(pane->CurrentMode(), Mode::kPicture);
  EXPECT_TRUE(pane->Detail().contains(QStringLiteral("图片 960×720"))) << pane->Detail().toStdString();
  EXPECT_LE(pane->PictureSize().width(), 1600);
  EXPECT_FALSE(pane->PictureSize().isEmpty());
  Shoot(b.gui.window.get(), "31-preview-jpeg.png");

  Preview(b, QStringLiteral("notes.txt"));
  EXPECT_EQ(pane->CurrentMode(), Mode::kText);
  EXPECT_TRUE(pane->Detail().contains(QStringLiteral("编码 GBK"))) << pane->Detail().toStdString();
  EXPECT_TRUE(pane->Body().startsWith(QStringLiteral("季度总结，数据恢复\n季度总结"))) << pane->Body().left(40).toStdString();
  Shoot(b.gui.window.get(), "32-preview-gbk-text.png");

  Preview(b, QStringLiteral("data.bin"));
  EXPECT_EQ(pane->CurrentMode(), Mode::kHex);
  EXPECT_TRUE(pane->Detail().contains(QStringLiteral("前 4096 字节（十六进制）"))) << pane->Detail().toStdString();
  EXPECT_TRUE(pane->Body().startsWith(QStringLiteral("00000000  00 83 06 89 0C 8F 12 95  18 9B 1E A1 24 A7 2A AD  |")))
      << pane->Body().left(80).toStdString();
  EXPECT_EQ(pane->Body().count(QLatin1Char('\n')), 256);
  Shoot(b.gui.window.get(), "33-preview-binary.png");

  // A picture that will not decode says so and shows its bytes.
  Preview(b, QStringLiteral("huge.png"));
  EXPECT_EQ(pane->CurrentMode(), Mode::kHex);
  EXPECT_TRUE(pane->Detail().contains(QStringLiteral("图片尺寸过大（60000×60000），不解码"))) << pane->Detail().toStdString();
  Preview(b, QStringLiteral("broken.jpg"));
  EXPECT_EQ(pane->CurrentMode(), Mode::kHex);
  EXPECT_TRUE(pane->Detail().contains(QStringLiteral("图片已损坏"))) << pane->Detail().toStdString();

  // A folder shows nothing; the menu's item hides the pane again.
  b.list->SelectRow(b.Row(QStringLiteral("LostFile")));
  EXPECT_EQ(pane->CurrentMode(), Mode::kEmpty);
  b.page->SetPreviewShown(false);
  EXPECT_FALSE(pane->isVisible());
  EXPECT_FALSE(b.page->PreviewButton()->isChecked());
}

TEST(PreviewPane, ADeletedFileSaysHowLikelyItComesBack) {
  Browser b(1, kNtfsRow);
  b.page->SetPreviewShown(true);
  Preview(b, QStringLiteral("gone.txt"));
  CPreviewPane* pane = b.page->Preview();
  EXPECT_TRUE(pane->Detail().startsWith(QStringLiteral("大小：200 字节    恢复可能性：良好"))) << pane->Detail().toStdString();
  EXPECT_EQ(pane->CurrentMode(), CPreviewPane::Mode::kText);
  EXPECT_EQ(pane->Body().size(), 200);
}

}  // namespace
}  // namespace kestrum::test
