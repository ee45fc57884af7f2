#include "ui/LabelLines.h"

int32_t TLabelLines::LineAddress(int32_t top, int line, bool* isLabel) const {
  if (isLabel) *isLabel = false;
  // Above the view (a box lower than three lines asks FollowPC for one)
  // lines count words as without labels.
  if (!LabelAbove || line < 0) return int32_t(uint32_t(top) + uint32_t(line));
  std::string label;
  uint32_t a = uint32_t(top);
  for (int row = 0;; ++a) {
    if (LabelAbove(int32_t(a), label)) {
      if (row == line) {
        if (isLabel) *isLabel = true;
        return int32_t(a);
      }
      ++row;
    }
    if (row == line) return int32_t(a);
    ++row;
  }
}
