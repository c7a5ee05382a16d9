// Decoding of an audio file into PCM with FFmpeg's libraries, for the
// formats the media player of the system cannot open (CRI ADX among them).
// An output is untrusted: it is opened as a local file only (no other
// protocol, so nothing it says can make FFmpeg open another file or an
// address) and read by the demuxer of its row's format alone, never probed.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct DecodedPcm {
  int sampleRate = 0;
  int channels = 0;              // one or two: more are mixed down to two
  std::vector<int16_t> samples;  // interleaved, signed 16-bit
  // Why nothing was decoded, in the source language of context "PcmDecode"
  // (Tr("PcmDecode", error) shows it); empty on success.
  std::string error;
};

// FFmpeg's demuxer for the kind name of a row of the table of formats
// ("mp3", "ogg"...); null when FFmpeg has none.
const char* DemuxerOfKind(const std::string& kind);

// Decodes the first audio stream of the file `path` (a byte string) of the
// kind `kind`, at most `maxSeconds` of it (0 or less: all of it). Stops early,
// with what it has, once `stop` is set.
DecodedPcm DecodePcm(const std::string& path, const std::string& kind, double maxSeconds,
                     const std::atomic<bool>* stop = nullptr);

// What a decoding hands on: the format once, before the first block.
struct PcmBlocksFormat {
  int sampleRate = 0;
  int channels = 0;
  uint64_t channelMask = 0;  // the speakers in FFmpeg's native order, 0: unknown
};
// Decodes the whole first audio stream of `path` like DecodePcm, keeping up to
// `mostChannels` channels (more are mixed down to two), and hands each block
// of interleaved signed 16-bit samples to `take` as it is decoded, so that no
// more than a block is held. `begin` comes once, before the first block.
// Returns the failure in the source language of "PcmDecode", empty on
// success; a cancel (`stop`) is a failure. An exception of a callback
// passes through, with FFmpeg's state freed.
std::string DecodePcmBlocks(const std::string& path, const std::string& kind, int mostChannels,
                            const std::function<void(const PcmBlocksFormat&)>& begin,
                            const std::function<void(const int16_t*, int64_t)>& take,
                            const std::atomic<bool>* stop = nullptr);
