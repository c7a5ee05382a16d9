// The log list shows every line whole: nothing is elided, and a line wider
// than the list scrolls horizontally.
#pragma once

class QListView;

// Turns eliding off and keeps the list's scroll width at its widest line;
// the delegate the list has keeps drawing its rows.
void ShowWholeLines(QListView* list);
