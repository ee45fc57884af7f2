#include "BreakForm.h"

void CreateBreakForm() {}
void ToggleBreakForm() {}
void DestroyBreakForm() {}
