#include "ui/FastText.h"

#include <QFontMetrics>
#include <QPaintEngine>
#include <QPainter>

#include <cmath>
#include <memory>

qreal TFastText::TargetRatio(QPainter& painter) {
  // While a widget is rendered into an image (grab, render) the painter
  // names the widget, but the pixels are the image's.
  const QPaintEngine* engine = painter.paintEngine();
  const QPaintDevice* target = engine && engine->paintDevice() ? engine->paintDevice() : painter.device();
  return target ? target->devicePixelRatioF() : 1.0;
}

TFastText::TFastText(const QFont& font) : Font(font), Raw(QRawFont::fromFont(font)) {
  AscentPx = QFontMetrics(font).ascent();
  if (!Raw.isValid()) return;
  QString all;
  for (int c = 32; c < 127; ++c) all += QChar(c);
  const QVector<quint32> indexes = Raw.glyphIndexesForString(all);
  if (indexes.size() != all.size()) return;
  for (int c = 32; c < 127; ++c) Glyph[size_t(c)] = indexes[c - 32];
  Glyph[size_t('?')] = indexes['?' - 32];
  for (int c = 0; c < 32; ++c) Glyph[size_t(c)] = Glyph[size_t('?')];
  Glyph[127] = Glyph[size_t('?')];
  Advance = QFontMetricsF(font).horizontalAdvance(QLatin1Char('0'));
  Run.setRawFont(Raw);
  Usable = true;
}

void TFastText::Draw(QPainter& painter, int x, int y, std::string_view text) {
  bool ascii = true;
  for (char c : text) ascii &= static_cast<unsigned char>(c) < 128;
  if (!Usable || !ascii) {
    painter.setFont(Font);
    painter.drawText(x, y + AscentPx, QString::fromUtf8(text.data(), qsizetype(text.size())));
    return;
  }
  Indexes.resize(qsizetype(text.size()));
  Positions.resize(qsizetype(text.size()));
  for (size_t i = 0; i < text.size(); ++i) {
    Indexes[qsizetype(i)] = Glyph[static_cast<unsigned char>(text[i])];
    Positions[qsizetype(i)] = QPointF(Advance * qreal(i), 0);
  }
  Run.setGlyphIndexes(Indexes);
  Run.setPositions(Positions);
  painter.drawGlyphRun(QPointF(x, y + AscentPx), Run);
}

void TFastText::DrawStrip(QPainter& painter, int x, int y, int height, std::string_view text, QRgb ink, QRgb paper) {
  const qreal ratio = TargetRatio(painter);
  QByteArray key(text.data(), qsizetype(text.size()));
  key.append(reinterpret_cast<const char*>(&ink), sizeof ink);
  key.append(reinterpret_cast<const char*>(&paper), sizeof paper);
  key.append(reinterpret_cast<const char*>(&height), sizeof height);
  // A strip made for another ratio would be drawn enlarged or shrunk, so
  // a window moved to a sharper screen keeps strips of both.
  key.append(reinterpret_cast<const char*>(&ratio), sizeof ratio);
  if (const QImage* kept = Strips.object(key)) {
    painter.drawImage(QPoint(x, y), *kept);
    return;
  }
  const int width = int(Advance * qreal(text.size())) + AscentPx + 2;
  auto strip = std::make_unique<QImage>(int(std::ceil(width * ratio)), int(std::ceil(height * ratio)),
                                        QImage::Format_ARGB32_Premultiplied);
  strip->setDevicePixelRatio(ratio);
  strip->fill(paper);
  QPainter onStrip(strip.get());
  onStrip.setPen(QColor(ink));
  Draw(onStrip, 0, 1, text);
  onStrip.end();
  painter.drawImage(QPoint(x, y), *strip);
  // A strip larger than the whole budget is drawn but not kept.
  const qsizetype bytes = strip->sizeInBytes();
  Strips.insert(key, strip.release(), bytes);
}
