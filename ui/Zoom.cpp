// Text size of the listing views: the code view, the register grid and the
// memory inspectors grow and shrink together, one point per step. Line
// heights, character widths and the grid's cells follow the font, so the
// views' click positions keep mapping to the right line and word, and the
// windows grow where the larger text would otherwise be cut off.
#include <QFontMetrics>

#include "Desktop.h"
#include "FastText.h"
#include "MainForm.h"
#include "MemoryForm.h"

namespace {

constexpr int CodePoints = 10, InspectorPoints = 8;
// An inspector row's address column and one whole word, in characters, as
// WordsPerLine counts them; and the scroll bar beside the box.
constexpr int InspectorRowChars = 13 + 9, InspectorScrollWidth = 16;

}  // namespace

void TMainForm::SetZoom(int steps) {
  const QFont code = CodeFont(CodePoints + steps);
  CodeBox->setFont(code);
  LineHeight = QFontMetrics(code).height() + 4;
  CodeText = std::make_unique<TFastText>(code);
  KeepListingWhole();  // a window too small for it grows
  CodeBox->update();

  // The grid's design sizes scale with the font's line height.
  RegisterScale = double(QFontMetrics(code).height()) / QFontMetrics(CodeFont(CodePoints)).height();
  auto scaled = [this](int size) { return int(size * RegisterScale + 0.5); };
  Registers->setFont(code);
  Registers->SetDefaultRowHeight(scaled(18));
  for (int r = 0; r < 17; ++r) Registers->SetRowHeights(r, scaled(18));
  const int widths[] = {40, 84, 40, 84};
  for (int c = 0; c < 4; ++c) Registers->SetColWidths(c, scaled(widths[c]));
  PRegistersResize();
  Registers->Refresh();
  FitTexts(this);
}

void TMemoryForm::SetZoom(int steps) {
  Box->setFont(CodeFont(InspectorPoints + steps));
  const QFontMetrics metrics(Box->font());
  LineHeight = metrics.height() + 4;
  CharWidth = metrics.horizontalAdvance(QLatin1Char('0')) + 1;
  Text = std::make_unique<TFastText>(Box->font());
  Columns = 0;  // the row geometry is measured afresh
  setMinimumSize(InspectorRowChars * CharWidth + InspectorScrollWidth, LineHeight);
  FormResize();
  FitTexts(this);
  Box->update();
}
