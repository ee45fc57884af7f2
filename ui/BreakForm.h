// The breakpoint list window and its edit dialog.
#pragma once

// Creates the list window, hidden; called once, right after the main window.
// From then on every breakpoint has its row in it.
void CreateBreakForm();
// Shows the list window when it is hidden, hides it when it is shown.
void ToggleBreakForm();
// Destroys the list window (at program end).
void DestroyBreakForm();
