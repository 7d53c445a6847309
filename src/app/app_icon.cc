#include "app/app_icon.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace velkan::app {

namespace {

QPixmap DrawIcon(int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal r = size / 6.0;
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1f, 0x4e, 0x8c));
  p.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), r, r);
  // A sheet of paper with a line of type on it.
  p.setBrush(Qt::white);
  QRectF sheet(size * 0.22, size * 0.14, size * 0.56, size * 0.72);
  p.drawRect(sheet);
  QFont f;
  f.setBold(true);
  f.setPixelSize(qMax(6, size * 9 / 16));
  p.setFont(f);
  p.setPen(QColor(0x1f, 0x4e, 0x8c));
  p.drawText(sheet, Qt::AlignCenter, QStringLiteral("V"));
  return pm;
}

}  // namespace

QIcon ApplicationIcon() {
  static const QIcon icon = [] {
    QIcon i;
    for (int size : {16, 24, 32, 48, 64}) i.addPixmap(DrawIcon(size));
    return i;
  }();
  return icon;
}

}  // namespace velkan::app
