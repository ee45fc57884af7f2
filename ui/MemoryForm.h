// Memory inspector windows.
#pragma once

#include <cstdint>

class QWidget;

// Redraws the word at the address in every memory inspector (the memory
// calls this after every store).
void MemoryChanged(int32_t address);
// Paints whatever stores have left pending in the inspectors; the runs call
// it at least once per display frame and once at their end.
void FlushInspectors();
// Opens one more memory inspector, owned by the main window.
void OpenMemoryInspector(QWidget* owner);
