// The log list shows every line whole: nothing is elided, and a line wider
// than the list scrolls horizontally.
#pragma once

class QListWidget;

// Turns eliding off and keeps the list's scroll width at its widest line.
void ShowWholeLines(QListWidget* list);
