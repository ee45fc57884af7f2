#include "ui/BreakForm.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QVBoxLayout>

#include <memory>

#include "breakpoints/BreakPoint.h"
#include "ui/BreakEditForm.h"
#include "ui/Desktop.h"
#include "ui/MainForm.h"
#include "ui/MemoryForm.h"

TBreakForm* BreakForm = nullptr;

namespace {

// The list's frame; the condition column gets what the frame and the three
// fixed columns (70 + 50 + 50, wider where a heading needs it) leave.
constexpr int ListFrame = 4;

// A row knows its breakpoint, and whether its texts are behind.
class TBreakRow : public QTreeWidgetItem {
 public:
  explicit TBreakRow(TBreakPoint* bp) : QTreeWidgetItem(UserType), BreakPoint(bp) {
    for (int column : {1, 2}) setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
  }
  TBreakPoint* const BreakPoint;
  bool Dirty = true;
};

TBreakRow* RowOf(const TBreakPoint* bp) { return static_cast<TBreakRow*>(bp->Item); }

// Passes its resizes and double clicks to the window. The double click
// goes to the list first, so that a click on a row not yet selected
// selects it, as the first click of the pair would have.
class TListView : public QTreeWidget {
 public:
  explicit TListView(TBreakForm* form) : QTreeWidget(form), Form(form) {}

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QTreeWidget::resizeEvent(event);
    Form->LVResize();
  }
  // A press below the rows keeps the selection: the first press of a
  // double click there would otherwise leave nothing for the dialog.
  void mousePressEvent(QMouseEvent* event) override {
    if (!itemAt(event->position().toPoint())) {
      setFocus(Qt::MouseFocusReason);
      event->accept();
      return;
    }
    QTreeWidget::mousePressEvent(event);
  }
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    QTreeWidget::mouseDoubleClickEvent(event);
    Form->LVDblClick();
  }

 private:
  TBreakForm* Form;
};

void OnAdded(TBreakPoint* bp) {
  if (BreakForm) BreakForm->AddRow(bp);
}

// Runs inside the fast run for every counted occasion: only a flag and at
// most one posted refresh per burst.
void OnUpdated(TBreakPoint* bp) {
  if (BreakForm) BreakForm->MarkRow(bp);
}

void OnRemoved(TBreakPoint* bp) {
  if (BreakForm) BreakForm->RemoveRow(bp);
}

}  // namespace

TBreakForm::TBreakForm() : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setWindowTitle("Haltepunkte");
  setFont(FormFont());
  // Closing the main window ends the program even while this one is shown.
  setAttribute(Qt::WA_QuitOnClose, false);
  // 508 x 134 with its frame and small caption: a list 500 wide, where the
  // condition column has its initial 326 pixels.
  move(290, 511);
  resize(500, 107);

  LV = new TListView(this);
  LV->setObjectName("LV");
  LV->setColumnCount(4);
  LV->setHeaderLabels({"Instruktion", "Zähler", "Anzahl", "Bedingung"});
  LV->setRootIsDecorated(false);
  LV->setItemsExpandable(false);
  LV->setUniformRowHeights(true);
  LV->setAllColumnsShowFocus(true);
  LV->setSelectionMode(QAbstractItemView::SingleSelection);
  LV->setSelectionBehavior(QAbstractItemView::SelectRows);
  LV->setEditTriggers(QAbstractItemView::NoEditTriggers);
  LV->setSortingEnabled(false);
  LV->header()->setStretchLastSection(false);
  LV->header()->setSectionsMovable(false);
  for (int column : {1, 2}) LV->headerItem()->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
  const int widths[] = {70, 50, 50, 326};
  for (int column = 0; column < 4; ++column) LV->setColumnWidth(column, widths[column]);
  LV->setMinimumWidth(500);
  PadHeadings(LV->header());
  // A fixed column widened for its heading takes its room from the condition.
  connect(LV->header(), &QHeaderView::sectionResized, this, [this](int column) {
    if (column < 3) LVResize();
  });

  auto* fill = new QVBoxLayout(this);
  fill->setContentsMargins(0, 0, 0, 0);
  fill->addWidget(LV);
}

TBreakForm::~TBreakForm() {
  // Rows go with the list; their breakpoints must not keep pointing at them.
  for (int i = 0, n = LV->topLevelItemCount(); i < n; ++i)
    static_cast<TBreakRow*>(LV->topLevelItem(i))->BreakPoint->Item = nullptr;
}

void TBreakForm::LVResize() {
  LV->setColumnWidth(3, LV->width() - ListFrame - LV->columnWidth(0) - LV->columnWidth(1) - LV->columnWidth(2));
}

void TBreakForm::LVDblClick() {
  const QList<QTreeWidgetItem*> selected = LV->selectedItems();
  if (selected.isEmpty()) return;
  auto dialog = std::make_unique<TBreakEditForm>(this);
  TBreakPoint* bp = static_cast<TBreakRow*>(selected.first())->BreakPoint;
  const int32_t oldPosition = bp->Position;
  dialog->LoadBreakPoint(bp);
  Editing = dialog.get();
  const int result = dialog->exec();
  Editing = nullptr;
  // A breakpoint destroyed while the dialog was open has left it already.
  if (result == QDialog::Accepted && dialog->EditedBreakPoint == bp) {
    // The word that lost the watch mark and the word that gained it.
    MemoryChanged(oldPosition);
    MemoryChanged(bp->Position);
    bp->UpdateView();
    if (MainForm) {
      MainForm->RefreshRegisters();
      MainForm->CodeBoxPaint();
    }
  }
}

void TBreakForm::AddRow(TBreakPoint* bp) {
  auto* row = new TBreakRow(bp);
  LV->addTopLevelItem(row);
  bp->Item = row;
  MarkRow(bp);
}

void TBreakForm::MarkRow(TBreakPoint* bp) {
  TBreakRow* row = RowOf(bp);
  if (!row) return;
  row->Dirty = true;
  if (FlushPending) return;
  FlushPending = true;
  QMetaObject::invokeMethod(this, &TBreakForm::FlushRows, Qt::QueuedConnection);
}

void TBreakForm::RemoveRow(TBreakPoint* bp) {
  if (Editing && Editing->EditedBreakPoint == bp) {
    Editing->EditedBreakPoint = nullptr;
    Editing->reject();
  }
  delete RowOf(bp);
  bp->Item = nullptr;
}

void TBreakForm::FlushRows() {
  FlushPending = false;
  for (int i = 0, n = LV->topLevelItemCount(); i < n; ++i) {
    auto* row = static_cast<TBreakRow*>(LV->topLevelItem(i));
    if (!row->Dirty) continue;
    row->Dirty = false;
    const TBreakPoint* bp = row->BreakPoint;
    row->setText(0, QString::fromStdString(bp->Caption()));
    for (int sub = 0; sub < 3; ++sub) row->setText(sub + 1, QString::fromStdString(bp->SubItem(sub)));
  }
}

QStringList TBreakForm::RowTexts(TBreakPoint* bp) {
  FlushRows();
  QStringList texts;
  if (const TBreakRow* row = RowOf(bp))
    for (int column = 0; column < 4; ++column) texts << row->text(column);
  return texts;
}

void CreateBreakForm() {
  if (BreakForm) return;
  BreakForm = new TBreakForm;
  for (TBreakPoint* bp : BreakPoints) BreakForm->AddRow(bp);
  DisplayHooks.BreakPointAdded = OnAdded;
  DisplayHooks.BreakPointUpdated = OnUpdated;
  DisplayHooks.BreakPointRemoved = OnRemoved;
}

void ToggleBreakForm() {
  if (!BreakForm) return;
  BreakForm->setVisible(!BreakForm->isVisible());
}

void DestroyBreakForm() {
  DisplayHooks.BreakPointAdded = nullptr;
  DisplayHooks.BreakPointUpdated = nullptr;
  DisplayHooks.BreakPointRemoved = nullptr;
  delete BreakForm;
  BreakForm = nullptr;
}
