// Where a stream whose claim runs past the end of the input ends: at the
// first header of its format inside what it claims, if there is one, so
// that the walk goes on there and finds the stream that begins there.
#pragma once

#include <cstdint>
#include <functional>

class InputView;

// The first offset in [from, to) whose byte is `first` and at which
// `isHeader` holds; `to` when there is none. Goes through the range once,
// in the pieces the view holds, and asks `isHeader` only where `first` is.
int64_t NextHeader(InputView& input, int64_t from, int64_t to, uint8_t first,
                   const std::function<bool(int64_t)>& isHeader);
