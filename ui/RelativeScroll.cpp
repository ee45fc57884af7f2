#include "RelativeScroll.h"

#include <QScrollBar>
#include <QSignalBlocker>

namespace {

void BackToMiddle(QScrollBar* bar) {
  // Without signals, so that going back is not reported as one more move.
  const QSignalBlocker quiet(bar);
  bar->setSliderPosition(0);
}

}  // namespace

void RelativeScrollAction(QScrollBar* bar, int action, const TScrollBy& scrollBy) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub: scrollBy(-bar->singleStep(), true); break;
    case QAbstractSlider::SliderSingleStepAdd: scrollBy(bar->singleStep(), true); break;
    case QAbstractSlider::SliderPageStepSub: scrollBy(-bar->pageStep(), true); break;
    case QAbstractSlider::SliderPageStepAdd: scrollBy(bar->pageStep(), true); break;
    case QAbstractSlider::SliderMove:
      scrollBy(bar->sliderPosition(), false);
      return;
    default: break;
  }
  BackToMiddle(bar);
}

void RelativeScrollRelease(QScrollBar* bar, const TScrollBy& scrollBy) {
  scrollBy(bar->sliderPosition(), true);
  BackToMiddle(bar);
}
