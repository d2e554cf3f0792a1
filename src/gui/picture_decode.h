#pragma once
// Pictures made from a file's bytes for thumbnails and the preview: decoded
// at the size they are shown, never at a size they merely claim.

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace kestrum {

enum class PictureState {
  kShown,     // decoded
  kBroken,    // not a picture Qt can read, or its data breaks off
  kTooLarge,  // claims more pixels than are ever decoded
};

struct DecodedPicture {
  PictureState state = PictureState::kBroken;
  QImage image;       // kShown only: at most `fit`, aspect kept
  QSize claimedSize;  // what the header says, where it says anything
};

// Pictures claiming more pixels than this are not decoded at all; the
// allocation limit stops a decoder that would need more memory anyway.
constexpr qint64 kMaxDecodedPixels = 40'000'000;
constexpr int kDecodeAllocationLimitMiB = 160;

// The picture in `bytes` (its format told by its content), scaled down to
// fit `fit` while it is decoded where the format allows it (JPEG).
DecodedPicture DecodePicture(const QByteArray& bytes, QSize fit);

// Whether a file of this extension (lower case, no dot) is a picture the
// thumbnails and the preview try to show.
bool IsShownPictureExtension(const QString& extension);

}  // namespace kestrum
