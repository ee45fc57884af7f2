// Text size of the listing views: the code view and the register grid grow
// and shrink with the inspectors, one point per step from each view's
// design size. Line heights and character widths follow the font, so the
// views' click positions keep mapping to the right line and word.
#pragma once

#include <QFont>

#include "ui/FastText.h"

// The design size of the main window's listing font (the code view, the
// register grid, the next instruction), in points.
constexpr int CodePoints = 10;

// The fixed-pitch font of the listings at a size in points.
QFont CodeFont(int pointSize = CodePoints);

// A listing view's text at a zoom step: the font, the line and character
// metrics the view places its lines, columns and clicks by, and the painter
// of its lines.
class TListingText {
 public:
  TListingText(int designPoints, int steps);

  const QFont Font;
  const int LineHeight;  // the font's height and 4 pixels between lines
  const int CharWidth;   // a digit's width and 1 pixel between characters
  // The font's height against the design size's: what the view's other
  // design sizes grow by.
  const double Scale;
  TFastText Text;
};
