// Label lines in the code view: with a source's symbols shown, a label
// takes a line of its own above the word it names, so line positions no
// longer count words one to one. Painting, gutter clicks and FollowPC all
// map lines to words here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

class TLabelLines {
 public:
  // The label drawn as a line of its own above the word at the address;
  // false for none.
  using TLabelAbove = std::function<bool(int32_t address, std::string& label)>;

  // Null (as at the start): one line per word, as without a source.
  void SetLabelAbove(TLabelAbove labelAbove) { LabelAbove = std::move(labelAbove); }
  // The label line above the word at the address; false for none.
  bool Above(int32_t address, std::string& label) const { return LabelAbove && LabelAbove(address, label); }
  // The word of a line of a view whose first line shows the word at `top`
  // or the label above it; a label line gives the word it labels.
  int32_t LineAddress(int32_t top, int line, bool* isLabel = nullptr) const;

 private:
  TLabelAbove LabelAbove;
};
