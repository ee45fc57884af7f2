#include "ui/RelativeScroll.h"

#include <QGuiApplication>
#include <QScrollBar>
#include <QSignalBlocker>

namespace {

void BackToMiddle(QScrollBar* bar) {
  // Without signals, so that going back is not reported as one more move.
  const QSignalBlocker quiet(bar);
  bar->setSliderPosition(0);
}

}  // namespace

void MakeRelativeScroll(QScrollBar* bar) {
  bar->setRange(-320, 320);
  bar->setValue(0);
  bar->setContextMenuPolicy(Qt::PreventContextMenu);
}

void RelativeScrollAction(QScrollBar* bar, int action, const TScrollBy& scrollBy) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub: scrollBy(-bar->singleStep(), true); break;
    case QAbstractSlider::SliderSingleStepAdd: scrollBy(bar->singleStep(), true); break;
    case QAbstractSlider::SliderPageStepSub: scrollBy(-bar->pageStep(), true); break;
    case QAbstractSlider::SliderPageStepAdd: scrollBy(bar->pageStep(), true); break;
    case QAbstractSlider::SliderMove:
      // Only a thumb held by the mouse may stand off the middle; its
      // release commits. (A middle click on the groove moves the thumb
      // just before it counts as held.)
      if (bar->isSliderDown() || QGuiApplication::mouseButtons() != Qt::NoButton) {
        scrollBy(bar->sliderPosition(), false);
        return;
      }
      scrollBy(bar->sliderPosition(), true);
      break;
    default: break;
  }
  BackToMiddle(bar);
}

void RelativeScrollRelease(QScrollBar* bar, const TScrollBy& scrollBy) {
  scrollBy(bar->sliderPosition(), true);
  BackToMiddle(bar);
}
