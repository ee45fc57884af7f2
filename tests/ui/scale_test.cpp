// The windows at the device pixel ratio the test runs with (ctest runs it
// at 1 and, through QT_SCALE_FACTOR, at 2): the program counter's line is
// painted where its line is, and clicks map to the right line, word and
// register.
#include <QTimer>

#include "MemoryForm.h"
#include "UiTestSupport.h"

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
};

QTEST_MAIN(ScaleTest)
#include "scale_test.moc"
