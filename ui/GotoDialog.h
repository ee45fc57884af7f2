// "Gehe zu Adresse": asks for the address a view should show first. It
// takes a number in the .cod syntax ($hex, 0xhex, xhex, decimal) and, while
// a source's symbols are known, an expression of labels ("loop+2"). An
// entry that is neither keeps the dialog open with a message.
#pragma once

#include <QDialog>

#include <cstdint>

class QLabel;
class QLineEdit;
class TAsmSymbols;

// The address an entry stands for; false with a German message when it
// stands for none.
bool ParseGotoAddress(const QString& text, const TAsmSymbols* symbols, int32_t& address, QString& message);

class TGotoDialog : public QDialog {
 public:
  TGotoDialog(QWidget* parent, const TAsmSymbols* symbols);

  QLineEdit* Edit;
  QLabel* Message;
  int32_t Address = 0;  // valid after the dialog was accepted

  void accept() override;

 private:
  const TAsmSymbols* Symbols;
};

// Shows the dialog; false when the user cancelled it.
bool AskGotoAddress(QWidget* parent, const TAsmSymbols* symbols, int32_t& address);
