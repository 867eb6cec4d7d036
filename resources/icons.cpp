// The connector's icons, drawn at whatever size is asked for (they are used at 16 and 32 pixels).
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "resources/qorvena_resources.h"

namespace {

// A transparent square image and a painter working in a 32-unit grid scaled to the image.
struct Canvas {
  explicit Canvas(int size) : image(size, size, QImage::Format_ARGB32_Premultiplied) {
    image.fill(Qt::transparent);
    painter.begin(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
  }
  QImage Finish() {
    painter.end();
    return image;
  }
  QImage image;
  QPainter painter;
};

// One device pixel in grid units, so outlines stay one pixel wide at every size.
double Pixel(int size) { return 32.0 / size; }

QImage WarningIcon(int size) {
  Canvas c(size);
  QPainter& p = c.painter;
  const double px = Pixel(size);
  QPainterPath triangle;
  triangle.moveTo(16, 2.5);
  triangle.lineTo(30.5, 28.5);
  triangle.lineTo(1.5, 28.5);
  triangle.closeSubpath();
  QLinearGradient fill(0, 3, 0, 29);
  fill.setColorAt(0.0, QColor(0xFF, 0xEE, 0x80));
  fill.setColorAt(0.55, QColor(0xFF, 0xD3, 0x2A));
  fill.setColorAt(1.0, QColor(0xF5, 0xB0, 0x10));
  QPen outline(QColor(0xB8, 0x7A, 0x00), 1.6 * px, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  if (size <= 16) outline.setWidthF(1.0 * px);
  p.setPen(outline);
  p.setBrush(fill);
  p.drawPath(triangle);
  // Exclamation mark.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x20, 0x20, 0x20));
  const double bar = size <= 16 ? 4.0 : 3.6;
  p.drawRoundedRect(QRectF(16 - bar / 2, 10, bar, 10.5), bar / 2.5, bar / 2.5);
  p.drawEllipse(QPointF(16, 24.3), bar / 2 + 0.2, bar / 2 + 0.2);
  return c.Finish();
}

QImage ArrowIcon(int size, bool hot) {
  Canvas c(size);
  QPainter& p = c.painter;
  const double px = Pixel(size);
  QPainterPath arrow;
  arrow.moveTo(3, 12.5);
  arrow.lineTo(16, 12.5);
  arrow.lineTo(16, 5);
  arrow.lineTo(29, 16);
  arrow.lineTo(16, 27);
  arrow.lineTo(16, 19.5);
  arrow.lineTo(3, 19.5);
  arrow.closeSubpath();
  QLinearGradient fill(0, 5, 0, 27);
  if (hot) {
    fill.setColorAt(0.0, QColor(0xA8, 0xEE, 0x8C));
    fill.setColorAt(1.0, QColor(0x4C, 0xC8, 0x3A));
  } else {
    fill.setColorAt(0.0, QColor(0x6F, 0xC8, 0x4B));
    fill.setColorAt(1.0, QColor(0x23, 0x8A, 0x1C));
  }
  p.setPen(QPen(hot ? QColor(0x3C, 0xA0, 0x2C) : QColor(0x1A, 0x6B, 0x14), 1.0 * px, Qt::SolidLine, Qt::SquareCap,
                Qt::MiterJoin));
  p.setBrush(fill);
  p.drawPath(arrow);
  return c.Finish();
}

QImage NormalArrowIcon(int size) { return ArrowIcon(size, false); }
QImage HotArrowIcon(int size) { return ArrowIcon(size, true); }

// A round badge with a gradient and an outline, for the error and information icons.
void Badge(QPainter& p, int size, const QColor& light, const QColor& dark, const QColor& edge) {
  QRadialGradient fill(QPointF(12, 9), 22);
  fill.setColorAt(0.0, light);
  fill.setColorAt(1.0, dark);
  p.setPen(QPen(edge, 1.0 * Pixel(size)));
  p.setBrush(fill);
  p.drawEllipse(QPointF(16, 16), 14.5, 14.5);
}

QImage ErrorIcon(int size) {
  Canvas c(size);
  QPainter& p = c.painter;
  Badge(p, size, QColor(0xFF, 0x7A, 0x6E), QColor(0xC8, 0x1E, 0x14), QColor(0x8E, 0x12, 0x0C));
  QPen cross(Qt::white, size <= 16 ? 4.2 : 3.6, Qt::SolidLine, Qt::RoundCap);
  p.setPen(cross);
  p.drawLine(QPointF(10.5, 10.5), QPointF(21.5, 21.5));
  p.drawLine(QPointF(21.5, 10.5), QPointF(10.5, 21.5));
  return c.Finish();
}

QImage InformationIcon(int size) {
  Canvas c(size);
  QPainter& p = c.painter;
  Badge(p, size, QColor(0x7F, 0xB8, 0xF5), QColor(0x1F, 0x5F, 0xC8), QColor(0x14, 0x3E, 0x8C));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  const double w = size <= 16 ? 4.4 : 4.0;
  p.drawEllipse(QPointF(16, 9.2), w / 2 + 0.3, w / 2 + 0.3);
  p.drawRoundedRect(QRectF(16 - w / 2, 13.2, w, 11.5), 1.0, 1.0);
  return c.Finish();
}

QImage ShieldIcon(int size) {
  Canvas c(size);
  QPainter& p = c.painter;
  const double px = Pixel(size);
  QPainterPath shield;
  shield.moveTo(16, 1.5);
  shield.cubicTo(20, 3.8, 24.5, 4.6, 28.5, 4.6);
  shield.lineTo(28.5, 15);
  shield.cubicTo(28.5, 22.5, 23, 27.5, 16, 30.5);
  shield.cubicTo(9, 27.5, 3.5, 22.5, 3.5, 15);
  shield.lineTo(3.5, 4.6);
  shield.cubicTo(7.5, 4.6, 12, 3.8, 16, 1.5);
  shield.closeSubpath();
  p.save();
  p.setClipPath(shield);
  const QColor quarters[4] = {QColor(0xE8, 0x3B, 0x2E), QColor(0x3D, 0xAA, 0x3A), QColor(0x2A, 0x6E, 0xD8),
                              QColor(0xF5, 0xC2, 0x1B)};
  p.fillRect(QRectF(0, 0, 16, 16), quarters[0]);
  p.fillRect(QRectF(16, 0, 16, 16), quarters[1]);
  p.fillRect(QRectF(0, 16, 16, 16), quarters[2]);
  p.fillRect(QRectF(16, 16, 16, 16), quarters[3]);
  // A soft highlight over the upper half.
  QLinearGradient shine(0, 0, 0, 32);
  shine.setColorAt(0.0, QColor(255, 255, 255, 90));
  shine.setColorAt(0.5, QColor(255, 255, 255, 0));
  p.fillRect(QRectF(0, 0, 32, 32), shine);
  // The dividing cross.
  p.setPen(QPen(QColor(255, 255, 255, 210), 1.0 * px));
  p.drawLine(QPointF(16, 0), QPointF(16, 32));
  p.drawLine(QPointF(0, 16), QPointF(32, 16));
  p.restore();
  p.setPen(QPen(QColor(0x40, 0x40, 0x48), 1.0 * px, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(shield);
  return c.Finish();
}

}  // namespace

void AddQorvenaIcons(ResourceModule& module) {
  module.icons[IDI_WARNING] = &WarningIcon;
  module.icons[IDI_ARROW] = &NormalArrowIcon;
  module.icons[IDI_ARROW_HOT] = &HotArrowIcon;
  module.icons[IDI_ERROR] = &ErrorIcon;
  module.icons[IDI_INFORMATION] = &InformationIcon;
  module.icons[IDI_SHIELD] = &ShieldIcon;
}
