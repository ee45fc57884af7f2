#include "ui/MemoryForm.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <bit>
#include <string_view>

#include "breakpoints/BreakPoint.h"
#include "core/Text.h"
#include "ui/Desktop.h"
#include "ui/MainForm.h"
#include "ui/RelativeScroll.h"
#include "ui/Zoom.h"

std::vector<TMemoryForm*> Inspectors;

namespace {

constexpr QRgb White = 0xFFFFFFFF, Black = 0xFF000000, Red = 0xFFFF0000;
constexpr int ScrollWidth = TMemoryForm::ScrollWidth;
constexpr int LabelChars = TMemoryForm::LabelChars, CellChars = TMemoryForm::CellChars;
// Bounds the pending cells of an absurdly large box; a screen of 7680 x 4320
// pixels shows some 40,000 words.
constexpr int64_t MaxShownCells = int64_t(1) << 20;

// One posted flush per burst of stores made outside a run.
bool FlushQueued = false;

void QueueFlush() {
  QCoreApplication* app = QCoreApplication::instance();
  if (FlushQueued || !app) return;
  FlushQueued = true;
  QMetaObject::invokeMethod(
      app,
      [] {
        FlushQueued = false;
        FlushInspectors();
      },
      Qt::QueuedConnection);
}

}  // namespace

// ------------------------------------------------------------------ box

TMemoryBox::TMemoryBox(TMemoryForm* form) : QWidget(form), Form(form) {
  // Every pixel is painted, and a flush relies on the pixels it does not
  // paint being kept.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TMemoryBox::paintEvent(QPaintEvent* event) {
  QPainter canvas(this);
  Form->PaintBox(canvas, event->region());
}

void TMemoryBox::mousePressEvent(QMouseEvent* event) {
  Form->BoxMouseDown(event->button(), event->modifiers(), int(event->position().x()), int(event->position().y()));
}

// ------------------------------------------------------------------ creation

TMemoryForm::TMemoryForm(QWidget* owner) : QWidget(owner, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setWindowTitle("Memory Inspector");
  resize(521, 188);
  Listing = std::make_unique<TListingText>(DesignPoints, 0);
  Box = new TMemoryBox(this);
  Box->setFont(Listing->Font);
  Scroll = new QScrollBar(Qt::Vertical, this);
  MakeRelativeScroll(Scroll);
  connect(Scroll, &QScrollBar::actionTriggered, this, [this](int action) { ScrollScroll(action); });
  connect(Scroll, &QScrollBar::sliderReleased, this, [this] { ScrollReleased(); });
  PlaceChildren();
  FormCreate();
  show();
}

TMemoryForm::~TMemoryForm() { FormDestroy(); }

void TMemoryForm::FormCreate() {
  LineHeight = Listing->LineHeight;
  CharWidth = Listing->CharWidth;
  Inspectors.push_back(this);
  TopAddress = 0x800000;
  ScrollBase = 0x800000;
  FormResize();
}

void TMemoryForm::FormDestroy() { std::erase(Inspectors, this); }

void TMemoryForm::PlaceChildren() {
  const int boxWidth = std::max(0, width() - ScrollWidth);
  Box->setGeometry(0, 0, boxWidth, height());
  Scroll->setGeometry(boxWidth, 0, ScrollWidth, height());
}

void TMemoryForm::resizeEvent(QResizeEvent*) {
  PlaceChildren();
  FormResize();
}

void TMemoryForm::FormResize() {
  const int32_t words = WordsPerLine();
  Scroll->setSingleStep(words);
  Scroll->setPageStep(10 * words);

  const int32_t lastRow = Box->height() / LineHeight;
  if (words == Columns && lastRow == LastRow && !Pending.empty()) return;
  // The toolkit repaints a resized box in full, so nothing stays pending.
  Columns = words;
  LastRow = lastRow;
  Shown = uint32_t(std::min(int64_t(lastRow + 1) * words, MaxShownCells));
  Pending.assign((Shown + 63) / 64, 0);
  Captured.assign(Shown, 0);
  AnyPending = false;
}

int32_t TMemoryForm::WordsPerLine() const {
  return std::max((Box->width() / CharWidth - LabelChars - 1) / CellChars, 1);
}

void TMemoryForm::SetZoom(int steps) {
  Listing = std::make_unique<TListingText>(DesignPoints, steps);
  Box->setFont(Listing->Font);
  LineHeight = Listing->LineHeight;
  CharWidth = Listing->CharWidth;
  Columns = 0;  // the row geometry is measured afresh
  // The address and one whole word stay visible at every size.
  setMinimumSize((LabelChars + 1 + CellChars) * CharWidth + ScrollWidth, LineHeight);
  FormResize();
  FitTexts(this);
  Box->update();
}

// ------------------------------------------------------------------ painting

void TMemoryForm::BoxPaint() {
  // Pending cells count from the old TopAddress; the paint reads them all.
  ClearPending();
  Box->repaint();
}

void TMemoryForm::PaintBox(QPainter& canvas, const QRegion& region) {
  // Only what the region asks for: a flush asks for the pending cells and
  // the rest of the box keeps its pixels.
  for (const QRect& rect : region) PaintRect(canvas, rect);
}

void TMemoryForm::PaintRect(QPainter& canvas, const QRect& rect) {
  const int cw = CharWidth, cellWidth = CellChars * cw;
  const int first = std::max(0, rect.top() / LineHeight);
  const int last = std::min(LastRow, rect.bottom() / LineHeight);
  const int wordsLeft = LabelChars * cw, wordsRight = wordsLeft + Columns * cellWidth;
  const int firstColumn = std::max(0, (rect.left() - wordsLeft) / cellWidth);
  const int lastColumn = rect.right() < wordsLeft ? -1 : std::min(Columns - 1, (rect.right() - wordsLeft) / cellWidth);
  for (int row = first; row <= last; ++row) {
    const int y = row * LineHeight;
    if (rect.left() < wordsLeft) {
      char label[16] = {' ', '$'};
      char* end = HexTextTo(label + 2, RowAddress(row), 8);
      *end++ = ':';
      PaintText(canvas, QRect(0, y, wordsLeft, LineHeight), 2, std::string_view(label, size_t(end - label)), Black,
                White);
    }
    for (int column = firstColumn; column <= lastColumn; ++column) PaintCell(canvas, row, column);
    if (rect.right() >= wordsRight && wordsRight < Box->width())
      canvas.fillRect(wordsRight, y, Box->width() - wordsRight, LineHeight, QColor(White));
  }
}

uint32_t TMemoryForm::RowAddress(int row) const { return uint32_t(TopAddress) + uint32_t(row) * uint32_t(Columns); }

void TMemoryForm::PaintCell(QPainter& canvas, int row, int column) {
  const int32_t address = int32_t(RowAddress(row) + uint32_t(column));
  const QRect cell((LabelChars + CellChars * column) * CharWidth, row * LineHeight, CellChars * CharWidth, LineHeight);
  const bool watched = FindByMemory(address) != nullptr;
  const uint32_t index = uint32_t(row) * uint32_t(Columns) + uint32_t(column);
  char text[16];
  char* end = HexTextTo(text, CellPending(index) ? Captured[index] : TheMemory.ReadWord(address), 8);
  PaintText(canvas, cell, cell.x() + CharWidth / 2 + 1, std::string_view(text, size_t(end - text)),
            watched ? White : Black, watched ? Red : White);
}

void TMemoryForm::PaintText(QPainter& canvas, const QRect& area, int textX, std::string_view text, QRgb ink,
                            QRgb paper) {
  canvas.fillRect(area, QColor(paper));
  // The text strip may run past the area; it must not cover a neighbour,
  // whichever of the two is painted first.
  canvas.save();
  canvas.setClipRect(area, Qt::IntersectClip);
  Listing->Text.DrawStrip(canvas, textX, area.y(), LineHeight, text, ink, paper);
  canvas.restore();
}

// ------------------------------------------------------------------ stores

void TMemoryForm::FirstPending() {
  AnyPending = true;
  QueueFlush();
}

bool TMemoryForm::IsPending(int32_t address) const { return CellPending(uint32_t(address) - uint32_t(TopAddress)); }

bool TMemoryForm::CellPending(uint32_t cell) const {
  return cell < Shown && (Pending[cell >> 6] >> (cell & 63) & 1) != 0;
}

QRegion TMemoryForm::PendingRegion() const {
  // One rectangle per run of neighbouring cells in a row; runs come in
  // row-major order, which is the banded form QRegion::setRects expects.
  std::vector<QRect> runs;
  int runRow = -1, runFirst = 0, runLast = 0;
  auto closeRun = [&] {
    if (runRow < 0) return;
    runs.emplace_back((LabelChars + CellChars * runFirst) * CharWidth, runRow * LineHeight,
                      CellChars * (runLast - runFirst + 1) * CharWidth, LineHeight);
  };
  for (size_t i = 0; i < Pending.size(); ++i)
    for (uint64_t bits = Pending[i]; bits != 0; bits &= bits - 1) {
      const uint32_t cell = uint32_t(i * 64) + uint32_t(std::countr_zero(bits));
      const int row = int(cell / uint32_t(Columns)), column = int(cell % uint32_t(Columns));
      if (row == runRow && column == runLast + 1) {
        runLast = column;
        continue;
      }
      closeRun();
      runRow = row;
      runFirst = runLast = column;
    }
  closeRun();
  QRegion region;
  region.setRects(runs.data(), int(runs.size()));
  return region;
}

void TMemoryForm::Flush() {
  if (!AnyPending) return;
  // A hidden box has nothing on screen to bring up to date.
  if (Box->isVisible()) Box->repaint(PendingRegion());
  ClearPending();
}

void TMemoryForm::ClearPending() {
  std::fill(Pending.begin(), Pending.end(), 0);
  AnyPending = false;
}

void MemoryChanged(int32_t address) {
  // Right after a store the stored word's block is the cached one, so this
  // read leaves the cache as it is.
  bool read = false;
  uint32_t word = 0;
  for (TMemoryForm* form : Inspectors) {
    if (!form->Shows(address)) continue;
    if (!read) word = TheMemory.ReadWord(address);
    read = true;
    form->RedrawWord(address, word);
  }
}

void NarrowStoreReports() {
  uint64_t first = UINT64_MAX, end = 0;
  for (const TMemoryForm* form : Inspectors) {
    const uint64_t top = uint32_t(form->TopAddress);
    first = std::min(first, top);
    end = std::max(end, top + form->ShownWords());
  }
  // A view that wraps past the last address gets every store.
  if (end > uint64_t(1) << 32) return WidenStoreReports();
  DisplayHooks.StoreFirst = first > end ? 0 : uint32_t(first);
  DisplayHooks.StoreSpan = first > end ? 0 : end - first;
}

void WidenStoreReports() {
  DisplayHooks.StoreFirst = 0;
  DisplayHooks.StoreSpan = uint64_t(1) << 32;
}

void FlushInspectors() {
  for (size_t i = 0; i < Inspectors.size(); ++i) Inspectors[i]->Flush();
}

void OpenMemoryInspector(QWidget* owner) { new TMemoryForm(owner); }

// ------------------------------------------------------------------ mouse

bool TMemoryForm::WordAt(int x, int y, int32_t& address) const {
  const int cw = CharWidth;
  if (x < LabelChars * cw) return false;
  const int column = (x - LabelChars * cw) / (CellChars * cw);
  const int row = y / LineHeight;
  // Unlike WordsPerLine, no lower limit: a column that does not fit whole
  // is shown but not clickable.
  const int words = (Box->width() / cw - LabelChars - 1) / CellChars;
  if (column > words - 1) return false;
  address = int32_t(uint32_t(TopAddress) + uint32_t(column) + uint32_t(words) * uint32_t(row));
  return true;
}

void TMemoryForm::BoxMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
  int32_t address;
  if (!WordAt(x, y, address)) return;
  ToggleMemoryWatch(address);
  MemoryChanged(address);
  FlushInspectors();  // the click shows its colour at once
  if (MainForm) MainForm->CodeBoxPaint();
}

// ------------------------------------------------------------------ scrolling

void TMemoryForm::ScrollBy(int32_t delta, bool commit) {
  TopAddress = int32_t(uint32_t(ScrollBase) + uint32_t(delta));
  if (commit) ScrollBase = TopAddress;
  BoxPaint();
}

void TMemoryForm::ScrollScroll(int action) {
  // Thumb moves count single words, not rows.
  RelativeScrollAction(Scroll, action, [this](int32_t delta, bool commit) { ScrollBy(delta, commit); });
}

void TMemoryForm::ScrollReleased() {
  RelativeScrollRelease(Scroll, [this](int32_t delta, bool commit) { ScrollBy(delta, commit); });
}
