#include "gui/banner.h"

#include <QCoreApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace kestrum {

namespace {

// A hard disk seen from above: case, platter, spindle and arm.
void DrawDisk(QPainter& painter, const QRectF& box) {
  qreal s = box.width();
  QRectF body = box.adjusted(s * 0.08, s * 0.02, -s * 0.08, -s * 0.02);
  QLinearGradient metal(body.topLeft(), body.bottomRight());
  metal.setColorAt(0, QColor(236, 240, 245));
  metal.setColorAt(1, QColor(160, 170, 185));
  painter.setPen(QPen(QColor(70, 80, 95), s * 0.03));
  painter.setBrush(metal);
  painter.drawRoundedRect(body, s * 0.08, s * 0.08);
  QPointF centre(body.center().x(), body.top() + body.width() * 0.5);
  qreal r = body.width() * 0.38;
  QRadialGradient platter(centre, r);
  platter.setColorAt(0, QColor(250, 250, 252));
  platter.setColorAt(0.7, QColor(190, 200, 215));
  platter.setColorAt(1, QColor(120, 135, 155));
  painter.setBrush(platter);
  painter.drawEllipse(centre, r, r);
  painter.setBrush(QColor(70, 80, 95));
  painter.drawEllipse(centre, r * 0.15, r * 0.15);
  painter.setPen(QPen(QColor(230, 90, 40), s * 0.06, Qt::SolidLine, Qt::RoundCap));
  QPointF pivot(body.right() - body.width() * 0.12, body.bottom() - body.width() * 0.14);
  painter.drawLine(pivot, centre + QPointF(r * 0.35, r * 0.45));
}

}  // namespace

QPixmap DrawBanner(int width, int height) {
  QPixmap pixmap(width, height);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, width, 0);
  sky.setColorAt(0, QColor(18, 62, 120));
  sky.setColorAt(0.6, QColor(30, 110, 180));
  sky.setColorAt(1, QColor(70, 160, 215));
  painter.fillRect(pixmap.rect(), sky);
  // Faint sector rings behind the text.
  painter.setPen(QPen(QColor(255, 255, 255, 28), 2));
  painter.setBrush(Qt::NoBrush);
  for (int i = 1; i <= 6; ++i) painter.drawEllipse(QPointF(width - 120, 40), 30.0 * i, 30.0 * i);
  DrawDisk(painter, QRectF(22, 8, 58, 64));
  QFont title = painter.font();
  title.setPixelSize(30);
  title.setBold(true);
  painter.setFont(title);
  painter.setPen(Qt::white);
  painter.drawText(QRectF(100, 6, width - 120, 42), Qt::AlignLeft | Qt::AlignVCenter,
                   QCoreApplication::translate("kestrum", "Varnel数据恢复"));
  QFont subtitle = painter.font();
  subtitle.setPixelSize(15);
  subtitle.setBold(false);
  painter.setFont(subtitle);
  painter.setPen(QColor(220, 235, 250));
  painter.drawText(QRectF(102, 46, width - 120, 26), Qt::AlignLeft | Qt::AlignVCenter,
                   QCoreApplication::translate("kestrum", "误删除文件 · 分区文件 · 丢失分区 —— 只读恢复，安全可靠"));
  return pixmap;
}

QPixmap DrawAppIcon(int side) {
  QPixmap pixmap(side, side);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  DrawDisk(painter, QRectF(0, 0, side, side));
  return pixmap;
}

}  // namespace kestrum
