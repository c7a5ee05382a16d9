// FLAC stream headers and frames: the STREAMINFO block, frame headers, and
// the length of a frame found by walking its subframes bit by bit.
#pragma once

#include <cstdint>

// The fields of a STREAMINFO block that a carver checks frames against.
struct FlacStreamInfo {
  int32_t minBlockSize = 0, maxBlockSize = 0;  // samples
  int32_t minFrameSize = 0, maxFrameSize = 0;  // bytes; 0: not known
  int32_t sampleRate = 0;                      // Hz
  int32_t channels = 0;
  int32_t bitsPerSample = 0;
  int64_t totalSamples = 0;  // per channel; 0: not known
};

// The length of a STREAMINFO block's body.
constexpr int kFlacStreamInfoLength = 34;

// Decodes the 34-byte body of a STREAMINFO block. False when a field holds a
// value no stream has: block sizes outside 16..65535 or the minimum above the
// maximum, frame sizes the wrong way round, sampling rate 0, fewer than 4
// bits per sample.
bool DecodeFlacStreamInfo(const uint8_t* body, FlacStreamInfo& info);

struct FlacFrameHeader {
  bool variableBlockSize = false;  // the blocking strategy bit
  int32_t blockSize = 0;           // samples
  int32_t sampleRate = 0;          // Hz; 0: the STREAMINFO one
  int32_t channels = 0;
  int32_t channelAssignment = 0;  // 0..7 independent, 8 left/side, 9 side/right, 10 mid/side
  int32_t bitsPerSample = 0;      // 0: the STREAMINFO one
  int64_t number = 0;             // frame number, or first sample's number when variable
  int32_t length = 0;             // header bytes, CRC-8 included
};

// The longest frame header: sync and codes (4), the coded number (7), the
// block size (2) and sampling rate (2) after it, the CRC-8 (1).
constexpr int kFlacMaxHeaderLength = 16;

// Decodes the frame header at `bytes` of which `avail` are held. False when
// they are no frame header: no sync code, a reserved value, a coded number
// that is no UTF-8-style sequence, or a CRC-8 that does not match.
bool DecodeFlacFrameHeader(const uint8_t* bytes, int64_t avail, FlacFrameHeader& header);

// What walking a frame's subframes gives.
enum class FlacFrameWalk { Done, Invalid, NeedMore };

// Walks the subframes of the frame at `frame` (header `header`, samples of
// `bitsPerSample` bits) to their end and the zero bits that pad the last
// byte; `length` is then the frame's length with the CRC-16 after them.
// `avail` bytes are held, and at least 8 bytes after them must be readable
// (their values do not matter). NeedMore: the frame goes on past `avail`.
// The CRC-16 itself is not checked.
FlacFrameWalk WalkFlacFrame(const uint8_t* frame, int64_t avail, const FlacFrameHeader& header,
                            int32_t bitsPerSample, int64_t& length);
