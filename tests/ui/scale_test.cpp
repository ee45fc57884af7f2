// The windows at the device pixel ratio the test runs with (ctest runs it
// at 1 and, through QT_SCALE_FACTOR, at 2): the program counter's line is
// painted where its line is, and clicks map to the right line, word and
// register, and what is drawn at ratio 2 is drawn there, not enlarged.
#include <QTimer>

#include "tests/ui/UiTestSupport.h"
#include "ui/Icons.h"
#include "ui/MemoryForm.h"

using namespace enc;

class ScaleTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TMainForm> Form;
  std::unique_ptr<TTempDir> Dir;

  // The colour at a logical position of a widget's rendering.
  static QColor At(QWidget* widget, QPoint p) {
    const QImage image = widget->grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    return image.pixelColor(int(p.x() * ratio), int(p.y() * ratio));
  }

  // True when an aligned 2 x 2 block of physical pixels within the logical
  // area is not of one colour: a ratio-1 picture enlarged has none.
  static bool FineDetail(const QImage& image, QRect area) {
    const QRect px = QRect(area.topLeft() * 2, area.size() * 2) & image.rect();
    for (int y = px.top() & ~1; y < px.bottom(); y += 2)
      for (int x = px.left() & ~1; x < px.right(); x += 2) {
        const QRgb c = image.pixel(x, y);
        if (image.pixel(x + 1, y) != c || image.pixel(x, y + 1) != c || image.pixel(x + 1, y + 1) != c) return true;
      }
    return false;
  }

  static QImage Rendered(QWidget* widget, qreal ratio) {
    QImage image(widget->size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    widget->render(&image);
    return image;
  }

 private slots:
  void init() { Dir = std::make_unique<TTempDir>(); }
  void cleanup() {
    Form.reset();
    Dir.reset();
    ResetCore();
  }

  void paintAndClicksFollowTheRatio() {
    const QByteArray factor = qgetenv("QT_SCALE_FACTOR");
    auto* f = OpenMainForm(Form, *Dir, CodImage({Addi(1, 0, 1), Beqz(0, -2)}));
    QCOMPARE(f->devicePixelRatioF(), factor.isEmpty() ? 1.0 : factor.toDouble());
    const int lh = f->LineHeight;
    // The PC (fourth line) is yellow across the line, the line above white.
    QCOMPARE(At(f->CodeBox, QPoint(f->CodeBox->width() - 3, 3 * lh + lh / 2)), QColor(0xFF, 0xFF, 0));
    QCOMPARE(At(f->CodeBox, QPoint(f->CodeBox->width() - 3, 2 * lh + lh / 2)), QColor(0xFF, 0xFF, 0xFF));
    // A gutter click on the sixth line's last pixel row sets that line.
    QTest::mouseClick(f->CodeBox, Qt::LeftButton, Qt::NoModifier, QPoint(10, 6 * lh - 1));
    QVERIFY(FindByInstruction(f->TopAddress + 5));
    QCOMPARE(At(f->CodeBox, QPoint(f->CodeBox->width() - 3, 5 * lh + lh / 2)), QColor(0xFF, 0, 0));
    // A register name and an inspector word.
    const QRect r07 = f->Registers->visualRect(f->Registers->model()->index(8, 0));
    QTest::mouseClick(f->Registers->viewport(), Qt::LeftButton, Qt::NoModifier, r07.bottomRight() - QPoint(1, 1));
    QVERIFY(FindByRegister(7));
    QTest::keyClick(f, Qt::Key_F4);
    TMemoryForm* inspector = Inspectors.back();
    const int cw = inspector->CharWidth;
    QTest::mouseClick(inspector->Box, Qt::LeftButton, Qt::NoModifier,
                      QPoint((12 + 9 * 2) * cw + 1, 2 * inspector->LineHeight - 1));
    QVERIFY(FindByMemory(inspector->TopAddress + 2 + inspector->WordsPerLine()));
    QCOMPARE(At(inspector->Box, QPoint((12 + 9 * 2) * cw + 1, inspector->LineHeight + 1)), QColor(0xFF, 0, 0));
  }

  void ratioTwoIsDrawnNotEnlarged() {
    auto* f = OpenMainForm(Form, *Dir, CodImage({Addi(1, 0, 1), Beqz(0, -2)}));
    const int lh = f->LineHeight;
    QTest::mouseClick(f->CodeBox, Qt::LeftButton, Qt::NoModifier, QPoint(10, 4 * lh + 2));
    QTest::keyClick(f, Qt::Key_F4);
    TMemoryForm* inspector = Inspectors.back();
    const int cw = inspector->CharWidth, ih = inspector->LineHeight;
    const struct {
      QWidget* widget;
      QRect area;
    } cases[] = {
        {f->CodeBox, QRect(2, 3 * lh + 1, 16, 16)},                     // program counter marker
        {f->CodeBox, QRect(2, 4 * lh + 1, 16, 16)},                     // breakpoint marker
        {f->CodeBox, QRect(20, 2 * lh, f->CodeBox->width() - 20, lh)},  // listing text right of the gutter
        {f->Registers->viewport(), f->Registers->visualRect(f->Registers->model()->index(8, 1))},
        {inspector->Box, QRect(12 * cw, ih, 9 * cw, ih)},
    };
    const bool atTwo = f->devicePixelRatioF() == 2.0;
    for (const auto& c : cases) {
      // A rendering at ratio 1 comes first: what it keeps must not stand
      // in for the ratio-2 pictures.
      (void)Rendered(c.widget, 1);
      QVERIFY2(FineDetail(Rendered(c.widget, 2), c.area), c.widget->metaObject()->className());
      if (atTwo) QVERIFY(FineDetail(c.widget->grab().toImage(), c.area));
    }
    // Icons have a picture of their own at ratio 2 (the plain square has
    // nothing finer to show).
    for (int i : {0, 1, 2, 4, 5, 6, 7, 8, 9})
      QVERIFY(FineDetail(ActionIcon(i).pixmap(QSize(16, 16), 2.0).toImage(), {0, 0, 16, 16}));
  }
};

QTEST_MAIN(ScaleTest)
#include "scale_test.moc"
