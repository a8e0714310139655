#include "app/glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace rtutest {
namespace {

QPixmap ReadImage(const QColor& paper, const QColor& ink) {
  QPixmap image(16, 16);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(ink);
  p.setBrush(paper);
  p.drawRect(QRectF(2.5, 1.5, 9, 12));
  QPainterPath arrow;
  arrow.moveTo(9, 6);
  arrow.lineTo(15, 6);
  arrow.lineTo(12, 10);
  arrow.closeSubpath();
  p.setBrush(ink);
  p.drawRect(QRectF(11, 2, 2, 4));
  p.drawPath(arrow);
  return image;
}

}  // namespace

QIcon ReadGlyph() {
  QIcon icon;
  icon.addPixmap(ReadImage(Qt::white, QColor(30, 90, 170)), QIcon::Normal);
  icon.addPixmap(ReadImage(QColor(235, 235, 235), QColor(150, 150, 150)), QIcon::Disabled);
  return icon;
}

QIcon ApplicationIcon() {
  QPixmap image(32, 32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath shell;
  shell.moveTo(2, 8);
  shell.lineTo(30, 8);
  shell.lineTo(26, 24);
  shell.lineTo(6, 24);
  shell.closeSubpath();
  p.setPen(QPen(QColor(40, 60, 90), 1.5));
  p.setBrush(QColor(166, 202, 240));
  p.drawPath(shell);
  p.setBrush(QColor(40, 60, 90));
  for (int i = 0; i < 5; ++i) p.drawEllipse(QPointF(8 + 4 * i, 13), 1.3, 1.3);
  for (int i = 0; i < 4; ++i) p.drawEllipse(QPointF(10 + 4 * i, 19), 1.3, 1.3);
  return QIcon(image);
}

}  // namespace rtutest
