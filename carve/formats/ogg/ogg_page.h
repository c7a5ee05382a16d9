#pragma once

#include <cstdint>

#include "carve/formats/mpeg/mpeg_header.h"
#include "carve/formats/mpeg/stream_info.h"

class InputView;

// Decodes an Ogg page header from `bytes`, which must hold at least 100
// bytes and, for a page of more than 73 segments, its whole segment table
// (27 + n bytes). False, and `info` untouched, when the bytes are no page.
bool DecodeOggPageHeader(const uint8_t* bytes, TFrameInfo& info);

// How a measured run of Ogg pages begins and ends.
struct OggRunEnds {
  bool firstPageBegins = false;  // the first page has the first-page bit
  bool lastPageEnds = false;     // the last page has the last-page bit
  int64_t lastGranule = -1;      // the last page's granule position
};

// Measures the run of Ogg pages at `start` up to and including the first
// page with the last-page bit. Returns the page count and fills `info` (and
// `ends` when given).
int64_t MeasureOggStream(InputView& input, int64_t start, TStreamInfo& info,
                         OggRunEnds* ends = nullptr);
