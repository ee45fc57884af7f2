// Label lines in the code view: with a source's symbols shown, a label
// takes a line of its own above the word it names, so line positions no
// longer count words one to one. Painting, gutter clicks and FollowPC all
// map lines to words here.
#include <string>

#include "ui/MainForm.h"

int32_t TMainForm::LineAddress(int line, bool* isLabel) const {
  if (isLabel) *isLabel = false;
  // Above the view (a box lower than three lines asks FollowPC for one)
  // lines count words as without labels.
  if (!LabelAbove || line < 0) return int32_t(uint32_t(TopAddress) + uint32_t(line));
  std::string label;
  uint32_t a = uint32_t(TopAddress);
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
