// The modal dialog that edits every condition of one breakpoint.
#pragma once

#include <QDialog>
#include <QSpinBox>

#include <functional>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TBreakPoint;

// A numeric field with a lower and an upper bound. Values the program sets,
// and values the user leaves behind when the field loses the focus, are
// pulled to the nearer bound; equal bounds mean no bound at all. Arrow keys
// and buttons step by one through the same rule.
class TSpinEdit : public QSpinBox {
 public:
  explicit TSpinEdit(QWidget* parent);

  int MinValue() const { return Min; }
  int MaxValue() const { return Max; }
  void SetMinValue(int value) { Min = value; }
  void SetMaxValue(int value) { Max = value; }
  // The text read as a whole number, the lower bound if it is none.
  int Value() const;
  // Shows the value pulled into the bounds.
  void SetValue(int value);
  // Applies the bounds to whatever the field shows now.
  void CheckBounds() { SetValue(Value()); }
  QLineEdit* Editor() const { return lineEdit(); }
  // Called once for every change of the text, typed or set.
  std::function<void()> OnChange;

 protected:
  void stepBy(int steps) override;
  StepEnabled stepEnabled() const override;
  void focusOutEvent(QFocusEvent* event) override;
  // Plain decimal without group separators, for any int.
  QString textFromValue(int value) const override;
  int valueFromText(const QString& text) const override;
  QValidator::State validate(QString& input, int& pos) const override;
  // What Qt does with a text that is no number when the focus leaves or
  // Enter is pressed: it becomes the lower bound, not the last number.
  void fixup(QString& input) const override;

 private:
  int Bounded(int value) const;
  void NoteText();
  QString LastText;
  int Min = 0;
  int Max = 0;
};

class TBreakEditForm : public QDialog {
  Q_OBJECT

 public:
  explicit TBreakEditForm(QWidget* owner = nullptr);

  QGroupBox* GInstruction;
  QCheckBox* CInstruction;
  QLabel* LInstruction;
  QLineEdit* EInstruction;

  QGroupBox* GLock;
  QRadioButton* RLockNone;
  QRadioButton* RLockPosition;
  QLineEdit* ELockPosition;
  QRadioButton* RLockRegister;
  QLineEdit* ELockRegister;
  QFrame* BLockLine;
  QWidget* PValueLocker;
  QRadioButton* RLockChange;
  QRadioButton* RLockValue;
  QLineEdit* ELockValue;

  QGroupBox* GCount;
  QCheckBox* CUseCount;
  QLabel* LActCount;
  TSpinEdit* EActCount;
  QLabel* LMaxCount;
  TSpinEdit* EMaxCount;

  QPushButton* BOK;
  QPushButton* BCancel;

  // The breakpoint being edited; not owned. Cleared when the breakpoint is
  // destroyed while the dialog is open.
  TBreakPoint* EditedBreakPoint = nullptr;

  void LoadBreakPoint(TBreakPoint* bp);

  // Change and click handlers.
  void EValueChange(QLineEdit* sender);
  void ERegChange();
  void CInstructionClick();
  void RadioClick();
  void CUseCountClick();
  void UpdateOKButton();
  void EMaxCountChange();
  void BOKClick();

 private:
  void CreateComponents();
  void SetTabOrder();
};
