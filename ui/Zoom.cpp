#include "ui/Zoom.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>

#include "ui/Desktop.h"

QFont CodeFont(int pointSize) {
  QFont font(InstalledFace("Courier New"), pointSize);
  font.setStyleHint(QFont::TypeWriter);
  if (!QFontInfo(font).fixedPitch()) {
    font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(pointSize);
  }
  return font;
}

TListingText::TListingText(int designPoints, int steps)
    : Font(CodeFont(designPoints + steps)),
      LineHeight(QFontMetrics(Font).height() + 4),
      CharWidth(QFontMetrics(Font).horizontalAdvance(QLatin1Char('0')) + 1),
      Scale(double(QFontMetrics(Font).height()) / QFontMetrics(CodeFont(designPoints)).height()),
      Text(Font) {}
