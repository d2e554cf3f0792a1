#include "gui/preview_pane.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "base/text_sniff.h"
#include "fs/tree/node_text.h"

namespace kestrum {

namespace {

constexpr QSize kLargestPicture(1600, 1600);

QString Extension(std::u16string_view name) {
  const std::size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos || dot == 0) return {};
  return QString::fromUtf16(name.data() + dot + 1, static_cast<qsizetype>(name.size() - dot - 1)).toLower();
}

}  // namespace

QString HexDump(const std::uint8_t* bytes, std::size_t size, std::size_t count) {
  QString out;
  const std::size_t n = std::min(size, count);
  for (std::size_t line = 0; line < n; line += 16) {
    out += QStringLiteral("%1  ").arg(line, 8, 16, QLatin1Char('0')).toUpper();
    QString ascii;
    for (std::size_t i = line; i < line + 16; ++i) {
      if (i < n) {
        out += QStringLiteral("%1 ").arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper();
        ascii += bytes[i] >= 0x20 && bytes[i] < 0x7F ? QChar(bytes[i]) : QChar('.');
      } else {
        out += QStringLiteral("   ");
      }
      if (i == line + 7) out += QLatin1Char(' ');
    }
    out += QStringLiteral(" |") + ascii + QStringLiteral("|\n");
  }
  return out;
}

CPreviewPane::CPreviewPane(QWidget* parent)
    : QWidget(parent), loader_([this](const ContentResult& result) { OnLoaded(result); }, 1) {
  title_ = new QLabel(this);
  title_->setTextFormat(Qt::PlainText);
  title_->setObjectName(QStringLiteral("previewTitle"));
  QFont bold = title_->font();
  bold.setBold(true);
  title_->setFont(bold);
  title_->setWordWrap(true);
  detail_ = new QLabel(this);
  detail_->setTextFormat(Qt::PlainText);
  detail_->setObjectName(QStringLiteral("previewDetail"));
  detail_->setWordWrap(true);
  pictureView_ = new QLabel(this);
  pictureView_->setAlignment(Qt::AlignCenter);
  pictureView_->setMinimumSize(1, 1);
  pictureView_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  textView_ = new QPlainTextEdit(this);
  textView_->setReadOnly(true);
  textView_->setLineWrapMode(QPlainTextEdit::NoWrap);
  message_ = new QLabel(this);
  message_->setTextFormat(Qt::PlainText);
  message_->setAlignment(Qt::AlignCenter);
  message_->setWordWrap(true);
  stack_ = new QStackedWidget(this);
  stack_->addWidget(message_);
  stack_->addWidget(pictureView_);
  stack_->addWidget(textView_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 0, 0, 0);
  layout->addWidget(title_);
  layout->addWidget(detail_);
  layout->addWidget(stack_, 1);
  setMinimumWidth(220);
  Clear();
}

QString CPreviewPane::Title() const { return title_->text(); }
QString CPreviewPane::Detail() const { return detail_->text(); }

QString CPreviewPane::Body() const {
  if (mode_ == Mode::kText || mode_ == Mode::kHex) return textView_->toPlainText();
  return message_->text();
}

void CPreviewPane::Clear() {
  ++serial_;
  loader_.DropPending(true);
  mode_ = Mode::kEmpty;
  image_ = QImage();
  facts_.clear();
  title_->clear();
  detail_->clear();
  message_->setText(tr("选择一个文件即可预览"));
  stack_->setCurrentWidget(message_);
}

void CPreviewPane::ShowNode(const VolumeSet* set, int volume, std::uint32_t index) {
  const FileNode* node = set != nullptr ? set->IsNodeVisible(volume, index, false) : nullptr;
  const NodeArray* nodes = set != nullptr ? set->NodesOfVolume(volume) : nullptr;
  const int resolved = volume == kCurrentVolume && set != nullptr ? set->currentVolume : volume;
  if (node == nullptr || !node->IsFile() || nodes == nullptr || resolved < 0 ||
      resolved >= static_cast<int>(set->volumes.size())) {
    Clear();
    return;
  }
  ++serial_;
  loader_.DropPending(true);  // a new selection: the old read is not wanted
  image_ = QImage();
  title_->setText(QString::fromUtf16(node->name.data(), static_cast<qsizetype>(node->name.size())));
  facts_ = tr("大小：%1 字节").arg(node->size);
  const std::u16string chance = RecoveryText(*node);
  if (!chance.empty()) facts_ += tr("    恢复可能性：") + QString::fromStdU16String(chance);
  detail_->setText(facts_);
  if (node->size == 0) {
    ShowMessage(tr("空文件"));
    return;
  }
  ContentRequest request;
  request.key = serial_;
  request.volume = set->volumes[static_cast<std::size_t>(resolved)];
  request.node = *node;
  picture_ = IsShownPictureExtension(Extension(node->name)) && node->size <= kPictureReadLimit;
  request.picture = picture_;
  request.limit = picture_ ? kPictureReadLimit : kTextReadLimit;
  request.fit = kLargestPicture;
  mode_ = Mode::kLoading;
  message_->setText(tr("正在读取…"));
  stack_->setCurrentWidget(message_);
  loader_.Request(std::move(request));
}

void CPreviewPane::ShowMessage(const QString& message) {
  mode_ = Mode::kMessage;
  message_->setText(message);
  stack_->setCurrentWidget(message_);
}

void CPreviewPane::ShowHex(const std::vector<std::uint8_t>& bytes, const QString& note) {
  mode_ = Mode::kHex;
  const std::size_t shown = std::min(bytes.size(), kHexBytes);
  detail_->setText(facts_ + QStringLiteral("\n") + note +
                   tr("前 %1 字节（十六进制）").arg(shown));
  textView_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  textView_->setPlainText(HexDump(bytes.data(), bytes.size(), kHexBytes));
  stack_->setCurrentWidget(textView_);
}

void CPreviewPane::OnLoaded(const ContentResult& result) {
  if (result.key != serial_) return;  // the user has moved on
  const FileStart& start = result.start;
  if (start.bytes.empty()) {
    ShowMessage(tr("无法读取文件内容：") +
                QString::fromStdU16String(ExportFailureText(start.result, result.start.bytes.size())));
    return;
  }
  const ByteView bytes(start.bytes.data(), start.bytes.size());
  if (picture_) {
    const DecodedPicture& p = result.picture;
    const QString claimed = p.claimedSize.isValid()
                                ? QStringLiteral("%1×%2").arg(p.claimedSize.width()).arg(p.claimedSize.height())
                                : QString();
    if (p.state == PictureState::kShown) {
      mode_ = Mode::kPicture;
      image_ = p.image;
      detail_->setText(facts_ + tr("\n图片 ") + claimed);
      stack_->setCurrentWidget(pictureView_);
      FitPicture();
      return;
    }
    ShowHex(start.bytes, p.state == PictureState::kTooLarge
                             ? tr("图片尺寸过大（%1），不解码；").arg(claimed)
                             : tr("图片已损坏，无法显示；"));
    return;
  }
  const TextEncoding encoding = SniffTextEncoding(bytes);
  if (encoding == TextEncoding::kBinary) {
    ShowHex(start.bytes, QString());
    return;
  }
  mode_ = Mode::kText;
  QString note = tr("\n文本，编码 ") + QString::fromLatin1(TextEncodingName(encoding));
  if (!start.whole) note += tr("，只显示开头的 %1 KiB").arg(start.bytes.size() / 1024);
  detail_->setText(facts_ + note);
  textView_->setFont(font());
  textView_->setPlainText(QString::fromStdU16String(DecodeText(bytes, encoding)));
  stack_->setCurrentWidget(textView_);
}

void CPreviewPane::FitPicture() {
  if (image_.isNull()) return;
  const QSize room = pictureView_->size();
  QImage shown = image_.width() > room.width() || image_.height() > room.height()
                     ? image_.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                     : image_;
  pictureView_->setPixmap(QPixmap::fromImage(shown));
}

void CPreviewPane::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (mode_ == Mode::kPicture) FitPicture();
}

}  // namespace kestrum
