#include "carve/formats/mpeg/mpeg_measure.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <span>

#include "carve/engine/host.h"
#include "carve/engine/input_view.h"
#include "carve/formats/mpeg/mpeg_header.h"
#include "carve/formats/mpeg/mpeg_side_info.h"

namespace {

// How far before a run an ID3v2 tag is looked for.
constexpr int64_t kId3v2Window = 32768;

// Looks for an ID3v2 tag that ends exactly at `start`. The bytes before the
// run are taken in file order the way a reader taking one byte at a time
// would: after an "I" the next byte is consumed as the would-be "D", after
// "ID" the next eight bytes are consumed whatever they hold, and no consumed
// byte is looked at again as a possible "I". Only the last two size bytes are
// compared, so a tag of 16384 bytes or more is never found; a later match
// replaces an earlier one.
void FindId3v2(InputView& input, int64_t start, TStreamInfo& info) {
  const int64_t first = std::max<int64_t>(0, start - kId3v2Window);
  const int64_t limit = start - 10;  // an "I" here or later cannot start a tag
  if (first >= limit) return;
  // An "I" at limit - 1 has its last size byte at start - 2: the furthest
  // byte the search can look at.
  std::array<uint8_t, kId3v2Window> window;
  input.readExact(first, window.data(), start - 1 - first);
  auto byteAt = [&](int64_t offset) { return window[offset - first]; };

  int64_t p = first;
  while (p < limit) {
    // Bytes other than "I" are consumed one by one and looked at no more:
    // the next "I" is found at once.
    const void* hit = std::memchr(&window[p - first], 'I', static_cast<size_t>(limit - p));
    if (hit == nullptr) break;
    const int64_t tag = first + (static_cast<const uint8_t*>(hit) - window.data());
    p = tag + 1;
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

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

// The whole length of an ID3v2 tag whose ten header bytes are `h`, or 0 when
// they are no such header.
int64_t Id3v2Length(const uint8_t* h) {
  if (std::memcmp(h, "ID3", 3) != 0 || h[3] < 2 || h[3] > 4 || h[4] == 0xFF) return 0;
  if ((h[6] | h[7] | h[8] | h[9]) & 0x80) return 0;
  const int64_t body = static_cast<int64_t>(h[6]) << 21 | h[7] << 14 | h[8] << 7 | h[9];
  const bool footer = h[3] == 4 && (h[5] & 0x10) != 0;
  return 10 + body + (footer ? 10 : 0);
}

// The `got` bytes at `bytes` begin with an ID3v1 tag's "TAG".
bool StartsId3v1(const uint8_t* bytes, int64_t got) {
  return got >= 3 && bytes[0] == 'T' && bytes[1] == 'A' && bytes[2] == 'G';
}

// Under the split rule: an encoder header in the frame `frame` (`got` bytes
// of it at `header`) after the first of a run ends the run before it. One in
// the first frame sets `stated` to the frames the encoder counts and itself.
bool EncoderHeaderEndsRun(const uint8_t* header, int64_t got, const TFrameInfo& frame,
                          int64_t count, int64_t& stated) {
  // The encoder counts the audio frames after its header frame.
  const int64_t after = EncoderHeaderFrames(header, got, frame);
  if (count == 0 && after > 0) stated = after + 1;
  // A later header frame is the first frame of the next file.
  return count > 0 && after >= 0;
}

// The rules of the extended tab that read into each frame: the split rule
// (an encoder header) and the reservoir rule (the side information).
struct FrameRules {
  explicit FrameRules(Host& host) : split(host.SplitXing()) {
    if (host.Mp3Reservoir()) reservoir.emplace();
  }
  // How much of each frame they read.
  int64_t readSize() const { return split || reservoir ? kEncoderHeaderReach : 4; }
  // Whether the frame `count` (from 0) of the run ends it before it.
  bool endRun(const uint8_t* header, int64_t got, const TFrameInfo& frame, int64_t count,
              int64_t& stated) {
    if (split && EncoderHeaderEndsRun(header, got, frame, count, stated)) return true;
    return reservoir && !reservoir->take(header, got, frame);
  }

  const bool split;
  std::optional<ReservoirCheck> reservoir;
};
static_assert(kSideInfoReach <= kEncoderHeaderReach);

}  // namespace

// An option is asked only about a field that differs: for one that matches,
// its answer could not end the run.
bool EndsMpegRun(Host& host, const TStreamInfo& info, const TFrameInfo& frame) {
  if (frame.SampleRate != info.SampleRate && host.SensitizeOn(Sensitize::Freq)) return true;
  if ((frame.Layer != info.Layer || frame.MpegVersion != info.MpegVersion) &&
      host.SensitizeOn(Sensitize::Version)) {
    return true;
  }
  if (frame.ChannelMode != info.ChannelMode && host.SensitizeOn(Sensitize::Channel)) return true;
  if (frame.CrcProtected != info.CrcProtected && host.SensitizeOn(Sensitize::Crc)) return true;
  return false;
}

namespace {

// Whether frame `count` (from 0) ends the run of `info`; the frame after an
// encoder header frame gives the run the channel mode of the audio.
bool EndsRunAfter(Host& host, TStreamInfo& info, const TFrameInfo& frame, bool headerFirst,
                  int64_t count) {
  if (headerFirst && count == 1) info.ChannelMode = frame.ChannelMode;
  return EndsMpegRun(host, info, frame);
}

bool IsEncoderHeaderFrame(const uint8_t* bytes, int64_t avail, const TFrameInfo& frame) {
  return EncoderHeaderFrames(bytes, avail, frame) >= 0;
}

}  // namespace

bool Mp3RunShorterThan(Host& host, const uint8_t* bytes, int64_t avail, int64_t below) {
  if (below < 1 || avail < 4) return false;
  TFrameInfo first{}, second{};
  if (!IsMpegHeader(bytes) || !DecodeMpegHeader(bytes, first)) return true;
  if (below < 2 || first.FrameLength + 4 > avail) return false;
  if (!IsMpegHeader(bytes + first.FrameLength)) return true;
  if (!DecodeMpegHeader(bytes + first.FrameLength, second)) return true;
  TStreamInfo info{};
  TakeFirstFrameFormat(first, info);
  // Under the split rule an encoder header frame does not end its run on
  // its channel mode (encoders write it in stereo before joint-stereo audio).
  if (host.SplitXing() && IsEncoderHeaderFrame(bytes, avail, first))
    info.ChannelMode = second.ChannelMode;
  return EndsMpegRun(host, info, second);
}

int64_t EncoderHeaderFrames(const uint8_t* bytes, int64_t avail, const TFrameInfo& frame) {
  avail = std::min<int64_t>(avail, frame.FrameLength);
  // Xing and Info follow the side information; encoders differ on whether
  // they count the CRC before it, so both places are looked at.
  const bool mono = frame.ChannelMode == 3;
  const int sideInfo = frame.MpegVersion == 10 ? (mono ? 17 : 32) : (mono ? 9 : 17);
  for (int at : {4 + sideInfo, 6 + sideInfo}) {
    if (at + 8 > avail) break;
    const uint8_t* x = bytes + at;
    if (std::memcmp(x, "Xing", 4) != 0 && std::memcmp(x, "Info", 4) != 0) continue;
    const uint32_t flags = Be32(x + 4);
    if (flags > 0x0F) continue;  // only four flags are defined
    if (!(flags & 1)) return 0;
    return at + 12 <= avail ? Be32(x + 8) : 0;
  }
  // VBRI sits 32 bytes after the header: version, delay, quality, bytes,
  // frames.
  constexpr int kVbri = 36;
  if (kVbri + 18 <= avail && std::memcmp(bytes + kVbri, "VBRI", 4) == 0) {
    return Be32(bytes + kVbri + 14);
  }
  return -1;
}

void FindFullId3v2(InputView& input, int64_t from, int64_t start, TStreamInfo& info) {
  info.HasID3v2 = 0;
  info.ID3v2Size = 0;
  // Blocks no larger than the view's windows read, taken where the view
  // holds them: a block is never copied, and the view allocates nothing.
  constexpr int64_t kBlock = 128 << 10;
  // Headers begin in [pos, pos + kBlock); each block holds the nine bytes
  // after its last possible header start as well.
  for (int64_t pos = std::max<int64_t>(from, 0); pos + 10 <= start; pos += kBlock) {
    const int64_t want = std::min(kBlock + 9, start - pos);
    const std::span<const uint8_t> block = input.bytes(pos, want);
    const int64_t got = std::min(want, static_cast<int64_t>(block.size()));
    const uint8_t* data = block.data();
    for (int64_t i = 0; i + 10 <= got && i < kBlock;) {
      const void* hit =
          std::memchr(data + i, 'I', static_cast<size_t>(std::min(got - 9, kBlock) - i));
      if (hit == nullptr) break;
      i = static_cast<const uint8_t*>(hit) - data;
      if (pos + i + Id3v2Length(data + i) == start) {
        info.HasID3v2 = 1;
        info.ID3v2Size = static_cast<int32_t>(start - pos - i);
        return;
      }
      ++i;
    }
    if (got < want) return;  // the input ends early
  }
}

int64_t MeasureMp3Stream(Host& host, InputView& input, int64_t start, TStreamInfo& info,
                         int64_t tagSearchMinCount) {
  info = {};
  int64_t count = 0;
  int64_t totalDuration = 0;
  int64_t framePos = start;
  int64_t next = start;
  uint8_t header[kEncoderHeaderReach];
  int64_t got = 0;
  TFrameInfo frame{};
  // The split rule reads enough of each frame to see an encoder header, the
  // reservoir rule its side information.
  FrameRules rules(host);
  const bool split = rules.split;
  const int64_t readSize = rules.readSize();
  // The frame count an encoder header in the first frame gives the run,
  // itself included; 0 when none.
  int64_t stated = 0;
  // Whether the first frame is an encoder header (split rule): its channel
  // mode is the encoder's, not the audio's, and the second frame's counts.
  bool headerFirst = false;

  for (;;) {
    framePos = next;
    got = input.read(framePos, header, readSize);
    if (got < 4) break;
    if (stated > 0 && count == stated) break;
    if (!DecodeMpegHeader(header, frame)) break;
    if (count == 0) {
      TakeFirstFrameFormat(frame, info);
      headerFirst = split && IsEncoderHeaderFrame(header, got, frame);
    } else if (EndsRunAfter(host, info, frame, headerFirst, count)) {
      break;
    }
    if (rules.endRun(header, got, frame, count, stated)) break;
    totalDuration += frame.Duration;
    ++count;
    // A frame whose length runs past the end of the file is counted whole:
    // the next frame starts beyond the end and its read comes back short.
    next = framePos + frame.FrameLength;
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
    info.HasID3v1 = StartsId3v1(header, got);
    if (count >= std::max<int64_t>(2, tagSearchMinCount)) FindId3v2(input, start, info);
    info.StreamLength = end - start;
  }
  return count;
}
