#include "ui/Desktop.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTranslator>
#include <QTreeView>

#include <algorithm>
#include <map>
#include <vector>

bool LoadGermanTranslations(QApplication& app) {
  auto* translator = new QTranslator(&app);
  if (!translator->load(QLocale(QLocale::German, QLocale::Germany), "qtbase", "_",
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  app.installTranslator(translator);
  return true;
}

QString InstalledFace(const QString& family) {
  // Faces drawn to the same advance widths as the design fonts, so that the
  // windows' pixel geometry holds. Wine's Tahoma (fonts-wine) carries the
  // name Tahoma itself and is found as such.
  static const std::map<QString, QStringList> compatible = {
      {"Courier New", {"Liberation Mono", "Cousine"}},
      {"Tahoma", {"Wine Tahoma"}},
  };
  const QStringList installed = QFontDatabase::families();
  if (installed.contains(family, Qt::CaseInsensitive)) return family;
  if (auto it = compatible.find(family); it != compatible.end())
    for (const QString& face : it->second)
      if (installed.contains(face, Qt::CaseInsensitive)) return face;
  return family;
}

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
    icon.addFile(QString(":/icons/%1x%1/tavora.png").arg(size), QSize(size, size));
  return icon;
}

namespace {

class THeadingStyle : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    if (metric == PM_HeaderMargin) return 6;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

}  // namespace

void PadHeadings(QHeaderView* header) {
  auto* style = new THeadingStyle;
  style->setParent(header);
  header->setStyle(style);
}

// ------------------------------------------------------------------ fitting

namespace {

// The width the widget needs so that its text fits the part of it where the
// style draws text; 0 for widgets without a one-line text of their own.
int TextNeed(QWidget* widget) {
  const QFontMetrics metrics(widget->font());
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    if (label->wordWrap() || label->text().isEmpty()) return 0;
    const int text = metrics.size(0, label->text()).width() + (label->indent() > 0 ? label->indent() : 0);
    return label->width() - label->contentsRect().width() + text;
  }
  auto* button = qobject_cast<QAbstractButton*>(widget);
  if (!button || button->text().isEmpty()) return 0;
  QStyle::SubElement contents;
  if (qobject_cast<QCheckBox*>(button)) {
    contents = QStyle::SE_CheckBoxContents;
  } else if (qobject_cast<QRadioButton*>(button)) {
    contents = QStyle::SE_RadioButtonContents;
  } else if (qobject_cast<QPushButton*>(button)) {
    contents = QStyle::SE_PushButtonContents;
  } else {
    return 0;
  }
  QStyleOptionButton option;
  option.initFrom(button);
  option.text = button->text();
  const int room = button->style()->subElementRect(contents, &option, button).width();
  const int text = metrics.size(Qt::TextShowMnemonic, button->text()).width();
  // The check box and radio button styles leave a little room before the
  // text inside their contents rectangle.
  return button->width() - room + text;
}

// Widens the column headings of a list that are narrower than their text.
// A vertical header's sections are row heights, which text widths do not
// decide (and a grid's rows 10 and on would grow by a digit).
void FitHeader(QHeaderView* header) {
  if (header->orientation() != Qt::Horizontal) return;
  const QFontMetrics metrics(header->font());
  const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
  const QAbstractItemModel* model = header->model();
  if (!model) return;
  for (int section = 0; section < header->count(); ++section) {
    const QString text = model->headerData(section, header->orientation()).toString();
    const int need = metrics.horizontalAdvance(text) + 2 * margin + 2;
    if (header->sectionSize(section) < need) header->resizeSection(section, need);
  }
}

std::vector<QWidget*> ChildControls(QWidget* box) {
  std::vector<QWidget*> children;
  for (QObject* object : box->children()) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget && !widget->isWindow()) children.push_back(widget);
  }
  return children;
}

// Plain containers whose children were placed by hand; everything else
// (layouts, scroll areas, Qt's composite controls) places its own children.
bool PlacedByHand(QWidget* box) {
  if (box->layout()) return false;
  if (qobject_cast<QDialog*>(box) || qobject_cast<QGroupBox*>(box)) return true;
  const char* kind = box->metaObject()->className();
  return box->isWindow() || qstrcmp(kind, "QWidget") == 0 || qstrcmp(kind, "QFrame") == 0;
}

class TFitter {
 public:
  explicit TFitter(QWidget* window) {
    Old[window] = window->geometry();
    for (QWidget* widget : window->findChildren<QWidget*>()) Old[widget] = widget->geometry();
  }

  // Fits the texts below `box` and returns the width `box` needs.
  int Fit(QWidget* box) {
    if (auto* header = qobject_cast<QHeaderView*>(box)) FitHeader(header);
    const std::vector<QWidget*> children = ChildControls(box);
    if (!PlacedByHand(box)) {
      for (QWidget* child : children) Fit(child);
      return box->width();
    }
    struct TPlaced {
      QWidget* Widget;
      QRect Old;
      int Need;
    };
    std::vector<TPlaced> placed;
    for (QWidget* child : children)
      placed.push_back({child, child->geometry(), std::max({Fit(child), TextNeed(child), child->width()})});
    // A widened control pushes the controls to its right on the same line
    // by as much as its right edge moved.
    std::sort(placed.begin(), placed.end(),
              [](const TPlaced& a, const TPlaced& b) { return a.Old.left() < b.Old.left(); });
    std::vector<int> shift(placed.size(), 0);
    for (size_t j = 0; j < placed.size(); ++j) {
      const QRect& b = placed[j].Old;
      for (size_t i = 0; i < j; ++i) {
        const QRect& a = placed[i].Old;
        const bool sameLine = a.top() <= b.bottom() && b.top() <= a.bottom();
        if (sameLine && a.right() < b.left()) shift[j] = std::max(shift[j], shift[i] + placed[i].Need - a.width());
      }
    }
    // The box keeps the right margin its nearest child had.
    int margin = box->width();
    for (const TPlaced& p : placed) margin = std::min(margin, box->width() - p.Old.right() - 1);
    margin = std::max(margin, 0);
    int need = box->width();
    for (size_t j = 0; j < placed.size(); ++j) {
      TPlaced& p = placed[j];
      if (p.Need == p.Old.width() && shift[j] == 0) continue;
      if (p.Need > p.Old.width()) Widen(p.Widget, p.Need);
      p.Widget->move(p.Old.left() + shift[j], p.Old.top());
      const int slack = std::min(box->width() - p.Old.right() - 1, margin);
      need = std::max(need, p.Widget->geometry().right() + 1 + std::max(slack, 0));
    }
    return need;
  }

  // Makes `box` `width` wide and carries along the children that hold to
  // its right edge: those starting in its right half move by as much, those
  // spanning it up to the edge stretch. Nothing moves back.
  void Widen(QWidget* box, int width) {
    if (width <= box->width()) return;
    if (box->minimumWidth() == box->maximumWidth()) {
      box->setFixedWidth(width);
    } else {
      box->setMinimumWidth(std::min(width, box->maximumWidth()));
      box->resize(width, box->height());
    }
    if (!PlacedByHand(box)) return;
    const QRect old = Old.count(box) ? Old[box] : box->geometry();
    const int grow = width - old.width();
    int margin = old.width();
    for (QWidget* child : ChildControls(box))
      if (Old.count(child)) margin = std::min(margin, old.width() - Old[child].right() - 1);
    margin = std::max(margin, 0);
    for (QWidget* child : ChildControls(box)) {
      if (!Old.count(child)) continue;
      const QRect o = Old[child];
      if (o.left() >= old.width() / 2) {
        child->move(std::max(child->x(), o.left() + grow), child->y());
      } else if (o.right() + 1 >= old.width() - margin - 8) {
        Widen(child, o.width() + grow);
      }
    }
  }

 private:
  std::map<QWidget*, QRect> Old;
};

}  // namespace

void FitTexts(QWidget* window) {
  TFitter fitter(window);
  fitter.Widen(window, fitter.Fit(window));
}

// ------------------------------------------------------------------ program

namespace {

// Fits each window once, before it first appears.
class TFitOnShow : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
      auto* widget = static_cast<QWidget*>(watched);
      if (widget->isWindow() && !widget->property("tavoraFitted").toBool()) {
        widget->setProperty("tavoraFitted", true);
        FitTexts(widget);
      }
    }
    return false;
  }
};

}  // namespace

namespace {

// The file system model's size and date columns, formatted by the program's
// locale instead of the environment's.
class TGermanFileColumns : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;

  QVariant data(const QModelIndex& index, int role) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (role != Qt::DisplayRole || !files || (index.column() != SizeColumn && index.column() != DateColumn))
      return QIdentityProxyModel::data(index, role);
    const QModelIndex source = mapToSource(index);
    const QLocale locale;
    if (index.column() == DateColumn) return locale.toString(files->lastModified(source), QLocale::ShortFormat);
    if (files->isDir(source)) return QIdentityProxyModel::data(index, role);
    return locale.formattedDataSize(files->size(source));
  }

 private:
  static constexpr int SizeColumn = 1, DateColumn = 3;
};

}  // namespace

void GermanFileList(QFileDialog& dialog) {
  dialog.setProxyModel(new TGermanFileColumns(&dialog));
  auto* list = dialog.findChild<QTreeView*>("treeView");
  auto* files = dialog.findChild<QFileSystemModel*>();
  if (!list || !files) return;
  // The name takes what the other columns leave.
  QHeaderView* header = list->header();
  header->setStretchLastSection(false);
  header->setSectionResizeMode(0, QHeaderView::Stretch);
  QObject::connect(files, &QFileSystemModel::directoryLoaded, list, [list] {
    for (int column = 1; column < list->model()->columnCount(list->rootIndex()); ++column)
      list->resizeColumnToContents(column);
  });
}

void InstallDesktopLook(QApplication& app) {
  LoadGermanTranslations(app);
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  QApplication::setWindowIcon(AppIcon());
  QGuiApplication::setDesktopFileName("tavora");
  app.installEventFilter(new TFitOnShow(&app));
}
