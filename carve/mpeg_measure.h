#pragma once

#include <cstdint>

#include "carve/stream_info.h"

class File;
class Host;

// Measures the run of consistent Layer III frames that starts at the file's
// current position. Returns the frame count and fills `info`; leaves the file
// at the run's start. The four change options are read from `host` at each
// comparison. The ID3v2 search before the run is made only when the count
// reaches `tagSearchMinCount` (at least 2): callers that will drop shorter runs
// pass their threshold and skip the search for runs they never keep.
int64_t MeasureMp3Stream(Host& host, File& input, TStreamInfo& info, int64_t tagSearchMinCount = 2);
