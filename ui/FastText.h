// Draws ASCII text in a fixed-pitch font without shaping it: the glyph of
// every character is looked up once, and a line becomes one glyph run. The
// code view and the memory inspector repaint many short lines per step.
#pragma once

#include <QByteArray>
#include <QCache>
#include <QColor>
#include <QFont>
#include <QGlyphRun>
#include <QHash>
#include <QImage>
#include <QRawFont>
#include <QVector>

#include <array>
#include <string_view>

class QPainter;

class TFastText {
 public:
  explicit TFastText(const QFont& font);
  // Draws text with its top-left corner at (x, y) in the painter's pen.
  void Draw(QPainter& painter, int x, int y, std::string_view text);
  // Draws text in `ink` on a strip of `height` pixels of `paper` whose
  // top-left corner is (x, y), the text one pixel below the strip's top.
  // Strips are kept as images, so a line seen before costs one copy; the
  // least recently drawn ones go once they hold StripBytes in all.
  void DrawStrip(QPainter& painter, int x, int y, int height, std::string_view text, QRgb ink, QRgb paper);
  int Ascent() const { return AscentPx; }
  // The device pixel ratio of the pixels the painter actually fills.
  static qreal TargetRatio(QPainter& painter);
  // Bytes held by the kept strips.
  qsizetype CachedBytes() const { return Strips.totalCost(); }
  // A few screens of lines at any scale: the views show at most a few
  // hundred distinct lines, the displayed run far fewer.
  static constexpr qsizetype StripBytes = qsizetype(4) << 20;

 private:
  QFont Font;
  QRawFont Raw;
  bool Usable = false;
  std::array<quint32, 128> Glyph{};
  qreal Advance = 0;
  int AscentPx = 0;
  QVector<quint32> Indexes;
  QVector<QPointF> Positions;
  QGlyphRun Run;
  QCache<QByteArray, QImage> Strips{StripBytes};
};
