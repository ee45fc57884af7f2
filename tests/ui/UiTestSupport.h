// Shared helpers for the window tests: a fresh core, recorded message boxes,
// .cod files in a temporary folder and pixel probes.
#pragma once

#include <QApplication>
#include <QImage>
#include <QStringList>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/CoreFixture.h"
#include "tests/support/TempDir.h"
#include "ui/MainForm.h"

// Messages the windows would have shown, as "text" or "error:text".
inline QStringList& ShownMessages() {
  static QStringList messages;
  return messages;
}

inline void RecordMessageBoxes() {
  ShownMessages().clear();
  MessageBoxHook = [](QWidget*, const QString& text, bool error) {
    ShownMessages().append(error ? "error:" + text : text);
  };
}

// Builds .cod text for one .CODE section from 0x800000 with the header word.
inline std::string CodImage(const std::vector<uint32_t>& program) {
  std::string text = ".CODE\n$800000\n" + std::to_string(program.size() + 1) + "\n$52455341\n";
  for (uint32_t w : program) text += "$" + HexText(w, 8) + "\n";
  return text;
}

// Replaces `form` with a fresh main window on a fresh core, shown and
// active; its command line names prog.cod in `dir` holding `image`, or
// nothing when withFile is false.
inline TMainForm* OpenMainForm(std::unique_ptr<TMainForm>& form, const TTempDir& dir, const std::string& image,
                               bool withFile = true) {
  form.reset();
  ResetCore();
  Stopped = false;
  RecordMessageBoxes();
  QStringList args;
  if (withFile) args << QString::fromStdString(dir.File("prog.cod", image));
  form = std::make_unique<TMainForm>(args);
  form->resize(718, 447);
  form->show();
  form->activateWindow();
  (void)QTest::qWaitForWindowActive(form.get());
  return form.get();
}

// A double click as the window system delivers it: the first press and
// release arrive as such, only the second press as a double click.
inline void DoubleClick(QWidget* widget, QPoint at) {
  QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, at);
  QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, at);
  QTest::mouseDClick(widget, Qt::LeftButton, Qt::NoModifier, at);
  QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, at);
}

// The colour of one pixel of a widget's rendering.
inline QColor PixelAt(QWidget* widget, int x, int y) { return widget->grab().toImage().pixelColor(x, y); }
