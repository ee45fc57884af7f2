// Text size of the main window's listing views: the code view and the
// register grid grow and shrink with the inspectors (TMemoryForm::SetZoom),
// one point per step. Line
// heights, character widths and the grid's cells follow the font, so the
// views' click positions keep mapping to the right line and word, and the
// windows grow where the larger text would otherwise be cut off.
#include <QFontMetrics>

#include "ui/Desktop.h"
#include "ui/FastText.h"
#include "ui/MainForm.h"

namespace {

constexpr int CodePoints = 10;

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
