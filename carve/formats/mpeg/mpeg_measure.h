#pragma once

#include <cstdint>
#include <vector>

#include "carve/formats/mpeg/stream_info.h"

class InputView;
class Host;

// Measures the run of consistent Layer III frames that starts at `start`.
// Returns the frame count and fills `info`. The four change options are read from `host` at each
// comparison. The ID3v2 search before the run is made only when the count
// reaches `tagSearchMinCount` (at least 2): callers that will drop shorter runs
// pass their threshold and skip the search for runs they never keep.
//
// With the host's split rule on, the run also ends after the number of frames
// an encoder header (Xing, Info or VBRI) in its first frame states, and just
// before any later frame that carries such a header.
int64_t MeasureMp3Stream(Host& host, InputView& input, int64_t start, TStreamInfo& info,
                         int64_t tagSearchMinCount = 2);

// True when a run's first `avail` bytes at `bytes` show that
// MeasureMp3Stream() there would count fewer than `below` frames (1 or 2):
// the first header is none, or, for 2, the next one is none or ends the run.
// False when they do not tell.
bool Mp3RunShorterThan(Host& host, const uint8_t* bytes, int64_t avail, int64_t below);

// True when `frame` differs from a run's first frame (kept in `info`) in a
// way the user lets end a stream: sampling frequency, layer or version,
// channel mode, CRC protection. The options are read at each test.
bool EndsMpegRun(Host& host, const TStreamInfo& info, const TFrameInfo& frame);

// The bytes of a frame that EncoderHeaderFrames() looks at.
constexpr int kEncoderHeaderReach = 54;

// Whether the frame whose first `avail` bytes are `bytes` (decoded as
// `frame`) carries an encoder header: -1 when not; otherwise the number of
// audio frames it states after itself, 0 when it states none.
int64_t EncoderHeaderFrames(const uint8_t* bytes, int64_t avail, const TFrameInfo& frame);

// Looks in [from, start) for an ID3v2 tag (version 2.2 to 2.4) whose full
// synchsafe size, plus 10 bytes for a footer when a version 2.4 tag has its
// footer flag, ends exactly at `start`; on a find sets info.HasID3v2 and
// info.ID3v2Size to the earliest such tag, otherwise clears them. Reads the
// range once, in blocks of 128 KiB where the view holds them.
void FindFullId3v2(InputView& input, int64_t from, int64_t start, TStreamInfo& info);
