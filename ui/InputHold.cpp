#include "ui/InputHold.h"

#include <QCoreApplication>
#include <QKeyEvent>

#include "ui/MainForm.h"

TInputHold::TInputHold() { QCoreApplication::instance()->installEventFilter(this); }

TInputHold::~TInputHold() { Release(); }

void TInputHold::Release() {
  if (!Active) return;
  Active = false;
  QCoreApplication::instance()->removeEventFilter(this);
  for (THeld& held : Held)
    if (held.Receiver) QCoreApplication::postEvent(held.Receiver, held.Event.release());
  Held.clear();
}

bool TInputHold::eventFilter(QObject* receiver, QEvent* event) {
  switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_F2 && key->modifiers() == Qt::NoModifier) {
        Stopped = true;
      } else if (event->type() != QEvent::ShortcutOverride) {
        Held.push_back({receiver, std::unique_ptr<QEvent>(event->clone())});
      }
      // An accepted override keeps the shortcut map from acting now; the
      // key press that follows is held and acts when it is posted again.
      event->accept();
      return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu: Held.push_back({receiver, std::unique_ptr<QEvent>(event->clone())}); return true;
    case QEvent::MouseMove:
    case QEvent::Shortcut: return true;
    default: return false;
  }
}

bool TNoToolTip::eventFilter(QObject*, QEvent* event) { return event->type() == QEvent::ToolTip; }

bool TStretchRight::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize) {
    auto* parent = static_cast<QWidget*>(watched);
    Child->resize(std::max(0, parent->width() - Child->x() - Margin), Child->height());
  }
  return false;
}
