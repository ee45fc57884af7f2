// Memory inspector windows: tool windows that show a stretch of memory as
// rows of words, follow every store and toggle memory change watches.
//
// Stores are frequent (the fast run makes tens of millions per second), so
// a store only notes which shown cell it touched and the word it stored;
// the cells are painted by FlushInspectors, which the runs call about once
// per display frame and at their end, and which a store outside a run posts
// to the event loop. Such a paint draws the noted word and does not look
// memory up again: a lookup moves the memory's cached block, which decides
// what later instructions read where blocks overlap.
#pragma once

#include <QRegion>
#include <QRgb>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class QPainter;
class QScrollBar;
class TListingText;
class TMemoryForm;

// The inspector's paint box; painting and mouse presses go to its form.
class TMemoryBox : public QWidget {
 public:
  explicit TMemoryBox(TMemoryForm* form);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  TMemoryForm* Form;
};

class TMemoryForm : public QWidget {
 public:
  // Creates the window (owned by `owner`) and shows it.
  explicit TMemoryForm(QWidget* owner);
  ~TMemoryForm() override;

  TMemoryBox* Box;
  QScrollBar* Scroll;

  // Design text size in points, and the row layout in character widths:
  // the address label, then columns of words; the scroll bar in pixels.
  static constexpr int DesignPoints = 8;
  static constexpr int LabelChars = 12, CellChars = 9;
  static constexpr int ScrollWidth = 16;

  int32_t TopAddress = 0x800000;  // first word of the first row
  int32_t ScrollBase = 0x800000;  // committed scroll position
  int32_t LineHeight = 0;
  int32_t CharWidth = 0;

  // Words per row for the box's width, at least 1.
  int32_t WordsPerLine() const;
  // Repaints the whole box now, reading memory afresh.
  void BoxPaint();
  // How many words from TopAddress on are shown.
  uint32_t ShownWords() const { return Shown; }
  bool Shows(int32_t address) const {
    // A negative difference wraps to a huge one, so one compare tells.
    return uint32_t(address) - uint32_t(TopAddress) < Shown;
  }
  // Notes that the cell showing the address (if any) must be painted with
  // `word`; the next FlushInspectors paints it.
  void RedrawWord(int32_t address, uint32_t word) {
    const uint32_t cell = uint32_t(address) - uint32_t(TopAddress);
    if (cell >= Shown) return;
    Captured[cell] = word;
    MarkPending(cell);
  }
  // The word under a box position; false left of or right of the words.
  bool WordAt(int x, int y, int32_t& address) const;
  // Toggles a change watch on the word under the position.
  void BoxMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
  void ScrollBy(int32_t delta, bool commit);
  // True while the cell showing the address waits to be painted.
  bool IsPending(int32_t address) const;
  // Paints the cells that are waiting.
  void Flush();

  void FormCreate();
  void FormDestroy();
  void FormResize();
  // Text size in point steps from the design size, rows and words following.
  void SetZoom(int steps);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  friend class TMemoryBox;

  void PlaceChildren();
  void PaintBox(QPainter& canvas, const QRegion& region);
  void PaintRect(QPainter& canvas, const QRect& rect);
  void PaintCell(QPainter& canvas, int row, int column);
  void PaintText(QPainter& canvas, const QRect& area, int textX, std::string_view text, QRgb ink, QRgb paper);
  uint32_t RowAddress(int row) const;
  QRegion PendingRegion() const;
  void ClearPending();
  void MarkPending(uint32_t cell) {
    Pending[cell >> 6] |= uint64_t(1) << (cell & 63);
    if (!AnyPending) FirstPending();
  }
  void FirstPending();
  bool CellPending(uint32_t cell) const;
  void ScrollScroll(int action);
  void ScrollReleased();

  std::unique_ptr<TListingText> Listing;
  // Row geometry of the current box size: words per row, index of the last
  // painted row (rows start at 0; the last one may be cut off) and the
  // number of cells on screen.
  int32_t Columns = 1;
  int32_t LastRow = 0;
  uint32_t Shown = 0;
  // One bit per shown cell, in address order from TopAddress, and the word
  // that a pending cell shows.
  std::vector<uint64_t> Pending;
  std::vector<uint32_t> Captured;
  bool AnyPending = false;
};

// Every inspector that exists, in creation order (closed ones included).
extern std::vector<TMemoryForm*> Inspectors;

// Redraws the word at the address in every memory inspector (the memory
// calls this after every store).
void MemoryChanged(int32_t address);
// During a fast run, stores are reported only where some inspector shows
// them; the run narrows again after every poll, in which an inspector may
// have changed what it shows (and repainted it whole). Widen reports every
// store again.
void NarrowStoreReports();
void WidenStoreReports();
// Paints whatever stores have left pending in the inspectors; the runs call
// it at least once per display frame and once at their end.
void FlushInspectors();
// Opens one more memory inspector, owned by the main window.
void OpenMemoryInspector(QWidget* owner);
