#include "ui/GotoDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "asm/Assembler.h"
#include "core/Loader.h"

bool ParseGotoAddress(const QString& text, const TAsmSymbols* symbols, int32_t& address, QString& message) {
  const QString entry = text.trimmed();
  if (entry.isEmpty()) {
    message = "Bitte eine Adresse eingeben.";
    return false;
  }
  const std::string utf8 = entry.toStdString();
  if (ParseNumber(utf8, address)) return true;
  if (symbols) {
    int64_t value = 0;
    std::string error;
    if (EvaluateExpression(utf8, *symbols, value, error)) {
      if (value < INT32_MIN || value > int64_t(UINT32_MAX)) {
        message = QString("%1 liegt außerhalb des Adressraums.").arg(entry);
        return false;
      }
      address = int32_t(uint32_t(uint64_t(value)));
      return true;
    }
    message = QString("„%1“ ist weder eine Adresse noch ein bekanntes Label.").arg(entry);
    return false;
  }
  message = QString("„%1“ ist keine gültige Adresse.").arg(entry);
  return false;
}

TGotoDialog::TGotoDialog(QWidget* parent, const TAsmSymbols* symbols) : QDialog(parent), Symbols(symbols) {
  setWindowTitle("Gehe zu Adresse");
  auto* column = new QVBoxLayout(this);
  column->addWidget(
      new QLabel(symbols ? "Adresse oder Label (z. B. $800000 oder loop+2):" : "Adresse (z. B. $800000):", this));
  Edit = new QLineEdit(this);
  column->addWidget(Edit);
  Message = new QLabel(this);
  Message->setStyleSheet("color: #c00000;");
  Message->setTextFormat(Qt::PlainText);
  Message->hide();
  column->addWidget(Message);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText("OK");
  buttons->button(QDialogButtonBox::Cancel)->setText("Abbrechen");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  column->addWidget(buttons);
}

void TGotoDialog::accept() {
  QString message;
  if (!ParseGotoAddress(Edit->text(), Symbols, Address, message)) {
    Message->setText(message);
    Message->show();
    Edit->selectAll();
    Edit->setFocus();
    return;
  }
  QDialog::accept();
}

bool AskGotoAddress(QWidget* parent, const TAsmSymbols* symbols, int32_t& address) {
  TGotoDialog dialog(parent, symbols);
  if (dialog.exec() != QDialog::Accepted) return false;
  address = dialog.Address;
  return true;
}
