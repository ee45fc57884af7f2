// The pictures of the debugger: ten 16 x 16 action icons and the two code
// view markers, drawn here rather than loaded from files.
#pragma once

#include <QIcon>
#include <QPixmap>

// Icon index as the action table numbers them (0..9).
QIcon ActionIcon(int index);
// The code view's markers, 16 x 16 logical pixels drawn at a device pixel
// ratio, so that they stay sharp on the screen they are painted for.
// The program-counter marker: a yellow arrow pointing right.
const QPixmap& PosMarker(qreal ratio);
// The breakpoint marker: a dark red disc with a lighter rim.
const QPixmap& StopMarker(qreal ratio);
