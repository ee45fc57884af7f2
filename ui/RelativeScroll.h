// The relative scroll bar of the code view and the memory inspectors: the
// bar is not a map of the address space but an offset from where the view
// stands, and it returns to its middle (0) after every event.
#pragma once

#include <cstdint>
#include <functional>

class QScrollBar;

using TScrollBy = std::function<void(int32_t delta, bool commit)>;

// Sets a bar up as a relative one: -320 to 320, thumb in the middle, and
// without the bar's own menu, whose "Top" and "Bottom" have no meaning here.
void MakeRelativeScroll(QScrollBar* bar);
// Line and page steps move by the bar's single and page step and commit;
// a dragged thumb moves by its offset without committing (the thumb stays
// under the mouse); any other move of the thumb (the mouse wheel) commits
// like a step; other actions do nothing.
void RelativeScrollAction(QScrollBar* bar, int action, const TScrollBy& scrollBy);
// The released thumb commits its offset.
void RelativeScrollRelease(QScrollBar* bar, const TScrollBy& scrollBy);
