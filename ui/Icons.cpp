#include "ui/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <map>

namespace {

const QColor Navy(0, 0, 128);
const QColor Red(200, 0, 0);

// 16 x 16 logical pixels, drawn with `ratio` physical pixels to each.
QPixmap Canvas(qreal ratio) {
  QPixmap p(QSize(16, 16) * ratio);
  p.setDevicePixelRatio(ratio);
  p.fill(Qt::transparent);
  return p;
}

void Folder(QPainter& g) {
  g.setPen(QColor(128, 96, 0));
  g.setBrush(QColor(240, 200, 60));
  g.drawPolygon(QPolygonF({{1, 4}, {6, 4}, {7, 6}, {13, 6}, {13, 14}, {1, 14}}));
  g.setBrush(QColor(255, 230, 110));
  g.drawPolygon(QPolygonF({{3, 8}, {15, 8}, {13, 14}, {1, 14}}));
}

void Triangle(QPainter& g, double x, double size) {
  g.setPen(Qt::NoPen);
  g.setBrush(Navy);
  g.drawPolygon(QPolygonF({{x, 8 - size}, {x + size, 8}, {x, 8 + size}}));
}

void Hand(QPainter& g, const QColor& fill, const QColor& outline) {
  g.setPen(outline);
  g.setBrush(fill);
  QPainterPath path;
  path.addRoundedRect(QRectF(4, 5, 8, 7), 2, 2);
  for (int f = 0; f < 4; ++f) path.addRoundedRect(QRectF(4 + 2 * f, 1 + (f == 0 || f == 3 ? 1 : 0), 2, 6), 1, 1);
  g.drawPath(path.simplified());
}

void Sheet(QPainter& g) {
  g.setPen(QColor(64, 64, 64));
  g.setBrush(Qt::white);
  g.drawRect(QRectF(2.5, 0.5, 10, 15));
}

QPixmap Draw(int index, qreal ratio) {
  QPixmap p = Canvas(ratio);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  switch (index) {
    case 0: Folder(g); break;
    case 1: Triangle(g, 4, 6); break;
    case 2:  // a small arrow
      g.setPen(QPen(Navy, 2));
      g.drawLine(QPointF(3, 8), QPointF(10, 8));
      g.setPen(Qt::NoPen);
      g.setBrush(Navy);
      g.drawPolygon(QPolygonF({{9, 4}, {14, 8}, {9, 12}}));
      break;
    case 3: g.fillRect(QRectF(3, 3, 10, 10), Navy); break;
    case 4:
      g.fillRect(QRectF(1, 12, 14, 3), Navy);
      Hand(g, Qt::white, QColor(64, 64, 64));
      break;
    case 5:
      Hand(g, QColor(170, 170, 170), QColor(90, 90, 90));
      g.setPen(QPen(Red, 2));
      g.drawLine(QPointF(2, 14), QPointF(14, 2));
      g.drawLine(QPointF(2, 2), QPointF(6, 6));
      break;
    case 6:
      Sheet(g);
      g.setPen(QColor(0, 0, 160));
      for (int y = 4; y <= 12; y += 3) g.drawLine(QPointF(4.5, y + 0.5), QPointF(10.5, y + 0.5));
      break;
    case 7:
      Sheet(g);
      g.setPen(QPen(Red, 2));
      g.drawLine(QPointF(11, 4), QPointF(5, 10));
      g.setPen(Qt::NoPen);
      g.setBrush(Red);
      g.drawPolygon(QPolygonF({{3, 12}, {4, 7}, {8, 11}}));
      break;
    case 8:
      g.setPen(QColor(64, 64, 64));
      g.setBrush(Qt::white);
      g.drawRect(QRectF(1.5, 2.5, 13, 11));
      g.fillRect(QRectF(2, 3, 12, 3), Navy);
      break;
    case 9:
      Triangle(g, 1, 5);
      g.setPen(QPen(Red, 1.6));
      for (double x : {7.5, 11.0}) g.drawPolyline(QPolygonF({{x, 4}, {x + 3.5, 8}, {x, 12}}));
      break;
    default: break;
  }
  return p;
}

}  // namespace

QIcon ActionIcon(int index) {
  // Both sizes drawn, so a toolbar at ratio 2 gets its own 32 x 32 picture.
  QIcon icon;
  for (qreal ratio : {1.0, 2.0}) icon.addPixmap(Draw(index, ratio));
  return icon;
}

namespace {

enum class TMarker { Pos, Stop };

QPixmap DrawMarker(TMarker marker, qreal ratio) {
  QPixmap p = Canvas(ratio);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  if (marker == TMarker::Pos) {
    g.setPen(QPen(QColor(64, 48, 0), 1));
    g.setBrush(QColor(255, 255, 0));
    g.drawPolygon(QPolygonF({{1.5, 5.5}, {8.5, 5.5}, {8.5, 1.5}, {14.5, 8}, {8.5, 14.5}, {8.5, 10.5}, {1.5, 10.5}}));
  } else {
    g.setPen(QPen(QColor(255, 96, 96), 2));
    g.setBrush(QColor(140, 0, 0));
    g.drawEllipse(QRectF(2, 2, 12, 12));
  }
  return p;
}

// One picture per marker and ratio met; a session sees one or two ratios.
const QPixmap& Kept(TMarker marker, qreal ratio) {
  static std::map<std::pair<TMarker, qreal>, QPixmap> kept;
  auto it = kept.find({marker, ratio});
  if (it == kept.end()) it = kept.emplace(std::make_pair(marker, ratio), DrawMarker(marker, ratio)).first;
  return it->second;
}

}  // namespace

const QPixmap& PosMarker(qreal ratio) { return Kept(TMarker::Pos, ratio); }

const QPixmap& StopMarker(qreal ratio) { return Kept(TMarker::Stop, ratio); }
