#pragma once
// The preview beside the browser's file list: the selected file's picture
// scaled to fit, or its text (the first 64 KiB, in whichever of UTF-8,
// UTF-16 and GBK it is written), or else its first sectors in hex; with the
// recovery chance of a deleted file. The bytes are read in the background,
// only as far as the preview needs them.

#include <QImage>
#include <QWidget>

#include <cstdint>

#include "fs/tree/volume_set.h"
#include "gui/content_loader.h"

class QLabel;
class QPlainTextEdit;
class QStackedWidget;

namespace kestrum {

class CPreviewPane : public QWidget {
  Q_OBJECT

 public:
  enum class Mode { kEmpty, kLoading, kPicture, kText, kHex, kMessage };

  // The most of a picture read, and of anything else.
  static constexpr std::uint64_t kPictureReadLimit = 32ull << 20;
  static constexpr std::uint64_t kTextReadLimit = 64 * 1024;
  static constexpr std::size_t kHexBytes = 8 * 512;

  explicit CPreviewPane(QWidget* parent);

  // Shows node `node` of volume `volume` (folders and nothing show nothing).
  // The set is read now; the content arrives later.
  void ShowNode(const VolumeSet* set, int volume, std::uint32_t node);
  void Clear();

  Mode CurrentMode() const { return mode_; }
  bool Loading() const { return mode_ == Mode::kLoading; }
  QString Title() const;
  // The line under the title: size, recovery chance, encoding or picture size.
  QString Detail() const;
  // The text or hex shown, or the message.
  QString Body() const;
  // The picture as decoded (at most the pane's largest size).
  QSize PictureSize() const { return image_.size(); }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void OnLoaded(const ContentResult& result);
  void ShowHex(const std::vector<std::uint8_t>& bytes, const QString& note);
  void ShowMessage(const QString& message);
  void FitPicture();

  ContentLoader loader_;
  std::uint64_t serial_ = 0;  // the request whose result is awaited
  Mode mode_ = Mode::kEmpty;
  bool picture_ = false;      // a picture was asked for
  QString facts_;             // size and chance of the shown file
  QImage image_;
  QLabel* title_ = nullptr;
  QLabel* detail_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  QLabel* pictureView_ = nullptr;
  QPlainTextEdit* textView_ = nullptr;
  QLabel* message_ = nullptr;
};

// "00000000  4D 5A 90 00 …  |MZ..|", 16 bytes a line, for the first `count` bytes.
QString HexDump(const std::uint8_t* bytes, std::size_t size, std::size_t count);

}  // namespace kestrum
