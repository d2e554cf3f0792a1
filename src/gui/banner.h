#pragma once
// The pictures of the desktop program, drawn in code: the banner above the
// pages and the application icon.

#include <QPixmap>

namespace kestrum {

QPixmap DrawBanner(int width, int height);
QPixmap DrawAppIcon(int side);

}  // namespace kestrum
