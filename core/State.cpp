#include "core/State.h"

void TState::Reset() {
  for (int i = -1; i <= 31; ++i) SetReg(i, 0);
}
