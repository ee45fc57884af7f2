#include "MemoryForm.h"

void MemoryChanged(int32_t) {}
void FlushInspectors() {}
void OpenMemoryInspector(QWidget*) {}
