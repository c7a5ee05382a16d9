// The rows of the log: all of one height, whatever the natural line height
// of its font, with every glyph drawn whole.
#pragma once

class QListView;

// Gives every row of `list` the height `rowHeight` in pixels. Each line keeps
// the baseline the style would give it in a row of that height, and its
// glyphs are not cut at the row's edges: descenders may reach a pixel or two
// into the row below, as in any text set solid.
void SetUniformRowHeight(QListView* list, int rowHeight);
