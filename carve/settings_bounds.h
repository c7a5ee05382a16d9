// The bounds and defaults of the settings that the window's spins and the
// command line's options share.
#pragma once

// The minimum count of consecutive frames (Ogg: pages) of a stream.
inline constexpr int kMinFramesLowest = 2, kMinFramesHighest = 1000, kMinFramesDefault = 4;
// The scan window in percent of the input's size.
inline constexpr int kLowerPercentLowest = 0, kLowerPercentHighest = 99, kLowerPercentDefault = 50;
inline constexpr int kUpperPercentLowest = 1, kUpperPercentHighest = 100,
                     kUpperPercentDefault = 100;
