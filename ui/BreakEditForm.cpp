#include "ui/BreakEditForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <limits>

#include "breakpoints/BreakPoint.h"
#include "core/Text.h"
#include "ui/MainForm.h"

namespace {

// A "$" and eight letters or digits; the text keeps the "$".
const QString HexMask = QStringLiteral("\\$NNNNNNNN");
// An "R" and up to two digits; the text keeps the "R".
const QString RegisterMask = QStringLiteral("\\R00");

template <class W>
W* Place(W* widget, int left, int top, int width, int height) {
  widget->setGeometry(left, top, width, height);
  return widget;
}

QLabel* PlaceLabel(const QString& text, QWidget* parent, int left, int top) {
  auto* label = new QLabel(text, parent);
  label->move(left, top);
  label->adjustSize();
  return label;
}

QGroupBox* PlaceGroup(QWidget* parent, int top, int height) {
  auto* group = new QGroupBox(parent);
  return Place(group, 8, top, 353, height);
}

// The check box or radio button that sits on a group's top edge: it hides
// the frame line behind it, as a caption would.
template <class B>
B* PlaceTitle(B* button, int width) {
  button->setAutoFillBackground(true);
  return Place(button, 8, 0, width, 17);
}

QLineEdit* PlaceMasked(QWidget* parent, const QString& mask, const QString& text, int left, int top) {
  auto* edit = Place(new QLineEdit(parent), left, top, 153, 22);
  edit->setFont(CodeFont(10));
  edit->setInputMask(mask);
  edit->setText(text);
  return edit;
}

TSpinEdit* PlaceSpin(QWidget* parent, int top, int minValue, int maxValue, int value) {
  auto* spin = Place(new TSpinEdit(parent), 184, top, 153, 22);
  spin->SetMinValue(minValue);
  spin->SetMaxValue(maxValue);
  spin->SetValue(value);
  return spin;
}

// Disabled fields look like the dialog face, enabled ones like an input.
void EnableField(QWidget* field, bool enabled) {
  field->setEnabled(enabled);
  QPalette palette = field->palette();
  const QPalette standard = QApplication::palette(field);
  palette.setColor(QPalette::Base, standard.color(QPalette::Active, enabled ? QPalette::Base : QPalette::Button));
  field->setPalette(palette);
}

QString Hex(uint32_t value) { return "$" + QString::fromStdString(HexText(value, 8)); }

QString RegisterName(int reg) { return "R" + QString::fromStdString(TwoDigits(reg)); }

// The digits after the "$" of a cleaned hexadecimal field: all eight form
// the full 32-bit pattern.
uint32_t ReadHex(const QLineEdit* edit) {
  bool ok = false;
  const uint32_t value = edit->displayText().mid(1).toUInt(&ok, 16);
  return ok ? value : 0;
}

// The register number after the "R"; 0 when no digits are there.
int ReadRegister(const QLineEdit* edit) {
  bool ok = false;
  const int value = edit->text().mid(1, 2).toInt(&ok);
  return ok ? value : 0;
}

// Rewrites a field only when its text differs, keeping the cursor where
// the user left it.
void WriteBack(QLineEdit* edit, const QString& text) {
  if (edit->displayText() == text) return;
  const int cursor = edit->cursorPosition();
  edit->setText(text);
  edit->setCursorPosition(cursor);
}

}  // namespace

// ------------------------------------------------------------------ TSpinEdit

TSpinEdit::TSpinEdit(QWidget* parent) : QSpinBox(parent) {
  // Qt's own range stays open so that a number outside the bounds can be
  // typed; the bounds are applied by this class.
  setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
  LastText = text();
  // The field rewrites its text with its own signals blocked; either signal
  // may be the only one, and NoteText reports each text once.
  connect(lineEdit(), &QLineEdit::textChanged, this, &TSpinEdit::NoteText);
  connect(this, &QSpinBox::textChanged, this, &TSpinEdit::NoteText);
}

void TSpinEdit::NoteText() {
  const QString now = text();
  if (now == LastText) return;
  LastText = now;
  if (OnChange) OnChange();
}

QString TSpinEdit::textFromValue(int value) const { return QString::number(value); }

int TSpinEdit::valueFromText(const QString& text) const { return text.trimmed().toInt(); }

QValidator::State TSpinEdit::validate(QString& input, int&) const {
  const QString number = input.trimmed();
  if (number.isEmpty() || number == u"-" || number == u"+") return QValidator::Intermediate;
  bool ok = false;
  number.toInt(&ok);
  return ok ? QValidator::Acceptable : QValidator::Invalid;
}

void TSpinEdit::fixup(QString& input) const {
  bool ok = false;
  input.trimmed().toInt(&ok);
  if (!ok) input = QString::number(Min);
}

int TSpinEdit::Bounded(int value) const {
  if (Min == Max) return value;
  if (value < Min) return Min;
  if (value > Max) return Max;
  return value;
}

int TSpinEdit::Value() const {
  bool ok = false;
  const int value = cleanText().toInt(&ok);
  return ok ? value : Min;
}

void TSpinEdit::SetValue(int value) {
  setValue(Bounded(value));
  NoteText();
}

void TSpinEdit::stepBy(int steps) { SetValue(int(uint32_t(Value()) + uint32_t(steps))); }

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const {
  return isReadOnly() ? StepNone : (StepUpEnabled | StepDownEnabled);
}

void TSpinEdit::focusOutEvent(QFocusEvent* event) {
  QSpinBox::focusOutEvent(event);
  NoteText();
  CheckBounds();
}

// ------------------------------------------------------------------ dialog

TBreakEditForm::TBreakEditForm(QWidget* owner) : QDialog(owner) {
  setWindowTitle("Haltepunkt bearbeiten");
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
  setFont(FormFont());
  setFixedSize(369, 344);
  move(320, 178);
  CreateComponents();
  SetTabOrder();

  connect(CInstruction, &QCheckBox::toggled, this, &TBreakEditForm::CInstructionClick);
  connect(CUseCount, &QCheckBox::toggled, this, &TBreakEditForm::CUseCountClick);
  for (QRadioButton* radio : {RLockNone, RLockPosition, RLockRegister, RLockChange, RLockValue})
    connect(radio, &QRadioButton::toggled, this, &TBreakEditForm::RadioClick);
  for (QLineEdit* edit : {EInstruction, ELockPosition, ELockValue})
    connect(edit, &QLineEdit::textChanged, this, [this, edit] { EValueChange(edit); });
  connect(ELockRegister, &QLineEdit::textChanged, this, &TBreakEditForm::ERegChange);
  EMaxCount->OnChange = [this] { EMaxCountChange(); };
  connect(BOK, &QPushButton::clicked, this, &TBreakEditForm::BOKClick);
  connect(BCancel, &QPushButton::clicked, this, &QDialog::reject);

  CInstructionClick();
  RadioClick();
  CUseCountClick();
}

void TBreakEditForm::CreateComponents() {
  GInstruction = PlaceGroup(this, 8, 57);
  CInstruction = PlaceTitle(new QCheckBox("an bestimmte Instruktion knüpfen", GInstruction), 185);
  LInstruction = PlaceLabel("Instruktion:", GInstruction, 16, 24);
  EInstruction = PlaceMasked(GInstruction, HexMask, "$00000000", 184, 24);

  GLock = PlaceGroup(this, 72, 145);
  RLockNone = PlaceTitle(new QRadioButton("keine Überwachung", GLock), 121);
  RLockPosition = Place(new QRadioButton("Speicherstelle überwachen:", GLock), 8, 24, 161, 17);
  ELockPosition = PlaceMasked(GLock, HexMask, "$00000000", 184, 22);
  RLockRegister = Place(new QRadioButton("Register überwachen:", GLock), 8, 48, 161, 17);
  ELockRegister = PlaceMasked(GLock, RegisterMask, "R01", 184, 46);
  BLockLine = Place(new QFrame(GLock), 8, 76, 337, 9);
  BLockLine->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  // The kind buttons have a parent of their own, which makes them a radio
  // group separate from the watch buttons.
  PValueLocker = Place(new QWidget(GLock), 8, 88, 337, 49);
  RLockChange = Place(new QRadioButton("bei jeder Veränderung anhalten", PValueLocker), 0, 0, 177, 17);
  RLockValue = Place(new QRadioButton("bei bestimmten Wert anhalten", PValueLocker), 0, 24, 169, 17);
  ELockValue = PlaceMasked(PValueLocker, HexMask, "$00000000", 176, 22);
  RLockNone->setChecked(true);
  RLockChange->setChecked(true);

  GCount = PlaceGroup(this, 224, 79);
  CUseCount = PlaceTitle(new QCheckBox("Zähler verwenden", GCount), 113);
  LActCount = PlaceLabel("Aktueller Stand:", GCount, 16, 24);
  EActCount = PlaceSpin(GCount, 21, 0, 1, 0);
  LMaxCount = PlaceLabel("Stoppen bei:", GCount, 16, 48);
  EMaxCount = PlaceSpin(GCount, 45, 2, 100000, 2);

  BOK = Place(new QPushButton("OK", this), 192, 312, 75, 25);
  BOK->setDefault(true);
  BCancel = Place(new QPushButton("Abbrechen", this), 280, 312, 75, 25);
}

void TBreakEditForm::SetTabOrder() {
  const QWidget* order[] = {CInstruction,  EInstruction,  CUseCount,   EActCount,     EMaxCount,
                            RLockPosition, RLockRegister, RLockNone,   ELockPosition, ELockRegister,
                            RLockValue,    ELockValue,    RLockChange, BOK,           BCancel};
  for (size_t i = 1; i < std::size(order); ++i)
    QWidget::setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
}

void TBreakEditForm::LoadBreakPoint(TBreakPoint* bp) {
  EditedBreakPoint = bp;
  CInstruction->setChecked(bp->UseInstruction);
  EInstruction->setText(Hex(uint32_t(bp->Instruction)));

  RLockNone->setChecked(true);
  if (bp->LockPosition) RLockPosition->setChecked(true);
  if (bp->LockRegister) RLockRegister->setChecked(true);
  ELockPosition->setText(Hex(uint32_t(bp->Position)));
  ELockRegister->setText(RegisterName(bp->Register));

  RLockChange->setChecked(true);
  if (bp->LockValue) RLockValue->setChecked(true);
  ELockValue->setText(Hex(bp->Value));

  CUseCount->setChecked(bp->UseCount);
  // The limit first: its change handler sets the range of the count.
  EMaxCount->SetValue(bp->MaxCount);
  EActCount->SetValue(bp->ActCount);

  CInstructionClick();
  RadioClick();
  CUseCountClick();
}

void TBreakEditForm::EValueChange(QLineEdit* sender) {
  QString text = sender->displayText();
  for (qsizetype i = 1; i < text.size(); ++i) {
    const QChar c = text[i];
    const bool hexDigit = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
    if (!hexDigit) text[i] = u'0';
  }
  WriteBack(sender, text);
}

void TBreakEditForm::ERegChange() { WriteBack(ELockRegister, RegisterName(std::min(ReadRegister(ELockRegister), 31))); }

void TBreakEditForm::CInstructionClick() {
  EnableField(EInstruction, CInstruction->isChecked());
  UpdateOKButton();
}

void TBreakEditForm::RadioClick() {
  const bool position = RLockPosition->isChecked();
  const bool reg = RLockRegister->isChecked();
  EnableField(ELockPosition, position);
  EnableField(ELockRegister, reg);
  RLockChange->setEnabled(position || reg);
  RLockValue->setEnabled(position || reg);
  EnableField(ELockValue, (position || reg) && RLockValue->isChecked());
  UpdateOKButton();
}

void TBreakEditForm::CUseCountClick() {
  EnableField(EActCount, CUseCount->isChecked());
  EnableField(EMaxCount, CUseCount->isChecked());
  UpdateOKButton();
}

void TBreakEditForm::UpdateOKButton() {
  BOK->setEnabled(CUseCount->isChecked() || RLockPosition->isChecked() || RLockRegister->isChecked() ||
                  CInstruction->isChecked());
}

void TBreakEditForm::EMaxCountChange() {
  const int bound = int(uint32_t(EMaxCount->Value()) - 1);
  EActCount->SetMaxValue(bound);
  if (EActCount->Value() > bound) EActCount->SetValue(bound);
}

void TBreakEditForm::BOKClick() {
  // Enter reaches OK without the focus leaving a counter field: apply the
  // bounds as a mouse click on OK would have done.
  for (TSpinEdit* spin : {EActCount, EMaxCount})
    if (spin->hasFocus()) spin->CheckBounds();

  if (TBreakPoint* bp = EditedBreakPoint) {
    bp->UseInstruction = CInstruction->isChecked();
    bp->Instruction = int32_t(ReadHex(EInstruction));
    bp->LockPosition = RLockPosition->isChecked();
    bp->Position = int32_t(ReadHex(ELockPosition));
    bp->LockRegister = RLockRegister->isChecked();
    bp->Register = ReadRegister(ELockRegister);
    bp->LockValue = RLockValue->isChecked();
    bp->Value = ReadHex(ELockValue);
    bp->UseCount = CUseCount->isChecked();
    bp->ActCount = EActCount->Value();
    bp->MaxCount = EMaxCount->Value();
  }
  accept();
}
