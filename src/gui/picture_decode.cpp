#include "gui/picture_decode.h"

#include <QBuffer>
#include <QImageReader>

namespace kestrum {

DecodedPicture DecodePicture(const QByteArray& bytes, QSize fit) {
  DecodedPicture out;
  QByteArray data = bytes;  // QBuffer wants a non-const array; the copy shares the bytes
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setDecideFormatFromContent(true);
  reader.setAllocationLimit(kDecodeAllocationLimitMiB);
  const QSize claimed = reader.size();
  out.claimedSize = claimed;
  if (!reader.canRead() || !claimed.isValid() || claimed.isEmpty()) return out;
  if (qint64{claimed.width()} * claimed.height() > kMaxDecodedPixels) {
    out.state = PictureState::kTooLarge;
    return out;
  }
  const QSize target = claimed.width() <= fit.width() && claimed.height() <= fit.height()
                           ? claimed
                           : claimed.scaled(fit, Qt::KeepAspectRatio);
  reader.setScaledSize(target.expandedTo(QSize(1, 1)));
  QImage image;
  if (!reader.read(&image) || image.isNull()) return out;
  out.state = PictureState::kShown;
  out.image = std::move(image);
  return out;
}

bool IsShownPictureExtension(const QString& extension) {
  static const QList<QByteArray> formats = QImageReader::supportedImageFormats();
  static const char* const kWanted[] = {"jpg", "jpeg", "jpe", "png", "gif", "bmp", "webp", "tif", "tiff"};
  const QByteArray ext = extension.toLatin1();
  for (const char* wanted : kWanted) {
    if (ext != wanted) continue;
    // JPEG files are .jpg, but the format is named "jpeg" (and "jpg" as well).
    const QByteArray format = ext == "jpe" ? QByteArray("jpeg") : ext;
    return formats.contains(format);
  }
  return false;
}

}  // namespace kestrum
