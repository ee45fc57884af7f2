// Small event filters of the main window.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <vector>

// While alive, holds back every keyboard and mouse input of the application
// except the stop key F2, which sets Stopped. Release() posts the held
// events again, in their order, to their original receivers.
class TInputHold : public QObject {
 public:
  TInputHold();
  ~TInputHold() override;
  void Release();

 protected:
  bool eventFilter(QObject* receiver, QEvent* event) override;

 private:
  struct THeld {
    QPointer<QObject> Receiver;
    std::unique_ptr<QEvent> Event;
  };
  std::vector<THeld> Held;
  bool Active = true;
};

// Suppresses the tool-tip of the widget it is installed on.
class TNoToolTip : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// Keeps a child's right edge a fixed distance from its parent's right edge.
class TStretchRight : public QObject {
 public:
  TStretchRight(QWidget* child, int margin) : QObject(child), Child(child), Margin(margin) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* Child;
  int Margin;
};
