#include "carve/mpeg_measure.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "carve/host.h"
#include "carve/mpeg_header.h"
#include "platform/file.h"

namespace {

// How far before a run an ID3v2 tag is looked for.
constexpr int64_t kId3v2Window = 32768;

// True when `frame` differs from the run's first frame (kept in `info`) in a
// way the user lets end a stream. The options are read at each test.
bool EndsRun(Host& host, const TStreamInfo& info, const TFrameInfo& frame) {
  if (host.SensitizeOn(Sensitize::Freq) && frame.SampleRate != info.SampleRate) return true;
  if (host.SensitizeOn(Sensitize::Version) && frame.Layer != info.Layer) return true;
  if (host.SensitizeOn(Sensitize::Version) && frame.MpegVersion != info.MpegVersion) return true;
  if (host.SensitizeOn(Sensitize::Channel) && frame.ChannelMode != info.ChannelMode) return true;
  if (host.SensitizeOn(Sensitize::Crc) && frame.CrcProtected != info.CrcProtected) return true;
  return false;
}

// Looks for an ID3v2 tag that ends exactly at `start`. The bytes before the
// run are taken in file order the way a reader taking one byte at a time
// would: after an "I" the next byte is consumed as the would-be "D", after
// "ID" the next eight bytes are consumed whatever they hold, and no consumed
// byte is looked at again as a possible "I". Only the last two size bytes are
// compared, so a tag of 16384 bytes or more is never found; a later match
// replaces an earlier one.
void FindId3v2(File& input, int64_t start, TStreamInfo& info) {
  const int64_t first = std::max<int64_t>(0, start - kId3v2Window);
  input.seek(first);
  const int64_t limit = start - 10;  // an "I" here or later cannot start a tag
  if (first >= limit) return;
  // An "I" at limit - 1 has its last size byte at start - 2: the furthest
  // byte the search can look at.
  std::array<uint8_t, kId3v2Window> window;
  input.readExact(window.data(), start - 1 - first);
  auto byteAt = [&](int64_t offset) { return window[offset - first]; };

  int64_t p = first;
  while (p < limit) {
    const int64_t tag = p++;
    if (byteAt(tag) != 'I') continue;
    if (byteAt(p++) != 'D') continue;
    p += 8;
    if (byteAt(tag + 2) != '3') continue;
    const uint8_t s3 = byteAt(tag + 8), s4 = byteAt(tag + 9);
    if ((s3 | s4) & 0x80) continue;
    if (start - tag == s3 * 128 + s4 + 10) {
      info.HasID3v2 = 1;
      info.ID3v2Size = static_cast<int32_t>(start - tag);
    }
  }
}

}  // namespace

int64_t MeasureMp3Stream(Host& host, File& input, TStreamInfo& info, int64_t tagSearchMinCount) {
  info = {};
  const int64_t start = input.position();
  int64_t count = 0;
  int64_t totalDuration = 0;
  int64_t framePos = start;
  uint8_t header[4];
  int64_t got = 0;
  TFrameInfo frame{};

  for (;;) {
    framePos = input.position();
    got = input.read(header, sizeof header);
    if (got < static_cast<int64_t>(sizeof header)) break;
    if (!DecodeMpegHeader(header, frame)) break;
    if (count == 0) {
      TakeFirstFrameFormat(frame, info);
    } else if (EndsRun(host, info, frame)) {
      break;
    }
    totalDuration += frame.Duration;
    ++count;
    // A frame whose length runs past the end of the file is counted whole:
    // the seek goes beyond the end and the next read comes back short.
    input.seek(framePos + frame.FrameLength);
  }

  // Only a run of some 2 GiB could pass the 32-bit millisecond total; it
  // stops at the largest value rather than wrapping.
  info.TotalDuration =
      static_cast<int32_t>(std::min<int64_t>(totalDuration, std::numeric_limits<int32_t>::max()));
  if (count > 1) {
    const int64_t end = framePos;
    info.Bitrate = static_cast<int32_t>(
        std::nearbyint(static_cast<double>(end - start) / static_cast<double>(totalDuration) * 8));
    // The read that ended the run tells whether an ID3v1 tag follows.
    info.HasID3v1 = got >= 3 && header[0] == 'T' && header[1] == 'A' && header[2] == 'G';
    if (count >= std::max<int64_t>(2, tagSearchMinCount)) FindId3v2(input, start, info);
    info.StreamLength = end - start;
  }
  input.seek(start);
  return count;
}
