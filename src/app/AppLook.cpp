#include "app/AppLook.h"

#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace plexor {
namespace {

bool LooksGothic(const QString& family) {
  return family.contains(QStringLiteral("Gothic"), Qt::CaseInsensitive) ||
         family.contains(QStringLiteral("ゴシック")) ||
         family.contains(QStringLiteral("Sans"), Qt::CaseInsensitive);
}

QPixmap BlankPixmap(int width, int height) {
  QPixmap pixmap(width, height);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

QPixmap DrawCheck(int size) {
  QPixmap pixmap = BlankPixmap(size, size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size / 16.0;
  QPen pen(QColor(0x1E, 0x9E, 0x3A), 2.6 * s, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  QPainterPath path;
  path.moveTo(3 * s, 8.5 * s);
  path.lineTo(6.5 * s, 12 * s);
  path.lineTo(13 * s, 4 * s);
  p.drawPath(path);
  return pixmap;
}

QPixmap DrawCross(int size) {
  QPixmap pixmap = BlankPixmap(size, size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size / 16.0;
  p.setPen(QPen(QColor(0xD0, 0x20, 0x20), 2.6 * s, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(4 * s, 4 * s), QPointF(12 * s, 12 * s));
  p.drawLine(QPointF(12 * s, 4 * s), QPointF(4 * s, 12 * s));
  return pixmap;
}

// A folded sheet (the shapefile) with a blue map line running into a green one (the MIF).
QPixmap DrawProgramIcon(int size) {
  QPixmap pixmap = BlankPixmap(size, size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size / 32.0;
  QPainterPath sheet;
  sheet.moveTo(5 * s, 2 * s);
  sheet.lineTo(21 * s, 2 * s);
  sheet.lineTo(27 * s, 8 * s);
  sheet.lineTo(27 * s, 30 * s);
  sheet.lineTo(5 * s, 30 * s);
  sheet.closeSubpath();
  p.setPen(QPen(QColor(0x44, 0x55, 0x66), 1.2 * s));
  p.setBrush(QColor(0xF4, 0xF7, 0xFA));
  p.drawPath(sheet);
  p.setPen(QPen(QColor(0x2A, 0x6F, 0xC9), 2.4 * s, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPolyline(
      QPolygonF({QPointF(8 * s, 24 * s), QPointF(12 * s, 17 * s), QPointF(16 * s, 20 * s)}));
  p.setPen(QPen(QColor(0x1E, 0x9E, 0x3A), 2.4 * s, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPolyline(
      QPolygonF({QPointF(16 * s, 20 * s), QPointF(20 * s, 11 * s), QPointF(24 * s, 14 * s)}));
  return pixmap;
}

}  // namespace

QFont ApplicationFont() {
  QStringList families{QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                       QStringLiteral("IPAPGothic")};
  // Whatever else can write Japanese, the gothic faces first so the window keeps its tone.
  QStringList others = QFontDatabase::families(QFontDatabase::Japanese);
  std::stable_partition(others.begin(), others.end(), LooksGothic);
  for (const QString& family : others) {
    if (!families.contains(family)) families << family;
  }
  QFont font(families.first());
  font.setFamilies(families);
  font.setPixelSize(12);
  return font;
}

QIcon ConvertedMarkIcon() {
  return QIcon(DrawCheck(16));
}

QIcon FailedMarkIcon() {
  return QIcon(DrawCross(16));
}

QIcon BlankMarkIcon() {
  return QIcon(BlankPixmap(16, 16));
}

QIcon ProgramIcon() {
  QIcon icon;
  for (const int size : {16, 32, 48}) icon.addPixmap(DrawProgramIcon(size));
  return icon;
}

QPixmap MakerLogo() {
  QPixmap pixmap = BlankPixmap(88, 31);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient shade(0, 0, 0, 31);
  shade.setColorAt(0, QColor(0x3B, 0x7D, 0xD8));
  shade.setColorAt(1, QColor(0x1C, 0x4E, 0x9A));
  p.setPen(QPen(QColor(0x12, 0x36, 0x6E), 1));
  p.setBrush(shade);
  p.drawRoundedRect(QRectF(0.5, 0.5, 87, 30), 4, 4);
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(14);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRect(0, 0, 88, 31), Qt::AlignCenter, QStringLiteral("PLEXOR"));
  return pixmap;
}

}  // namespace plexor
