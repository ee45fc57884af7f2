// What makes the debugger a well-behaved desktop program: Qt's own German
// texts (file dialog, message box buttons, context menus, shortcut names),
// the faces that stand in for the design fonts, the application icon, and
// the one rule that widens a control whose text does not fit.
#pragma once

#include <QIcon>
#include <QString>

class QApplication;
class QFileDialog;
class QHeaderView;
class QWidget;

// Loads Qt's German translations from the Qt translations folder, so that
// the toolkit's own texts match ours. False when they are not installed.
bool LoadGermanTranslations(QApplication& app);

// The face to ask for in place of a design font: the font itself when it is
// installed, otherwise an installed metric-compatible face (Liberation Mono
// for Courier New), otherwise the name unchanged for the system to replace.
QString InstalledFace(const QString& family);

// The application icon, in every size the program carries.
QIcon AppIcon();

// Makes every caption, label, button and column heading of the window fully
// visible. Controls keep their geometry where their text fits; a control
// whose text is wider grows to the text's width, pushes the controls to its
// right along, and its containers and the window widen by as much.
// Controls placed by a layout are left to the layout.
void FitTexts(QWidget* window);

// Gives a list's column headings the padding of a desktop list, so that a
// right-aligned heading does not run into the next one.
void PadHeadings(QHeaderView* header);

// Shows the file list's sizes and dates in German, as everything else (the
// toolkit formats them by the environment's locale), and sizes its columns
// to their contents whenever a folder has been read. For Qt's own dialog.
void GermanFileList(QFileDialog& dialog);

// Everything above for the whole program: translations, the German locale,
// the window icon, and FitTexts on every window and dialog before it is
// first shown.
void InstallDesktopLook(QApplication& app);
