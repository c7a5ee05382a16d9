#pragma once

#include <cstdint>

#include "carve/formats/mpeg/mpeg_header.h"

// Summary of one measured run of MPEG frames or Ogg pages.
struct TStreamInfo {
  int32_t MpegVersion;
  int32_t Layer;
  uint8_t CrcProtected;
  int32_t Bitrate;  // average kbit/s; 0 unless more than one frame
  int32_t SampleRate;
  uint8_t ChannelMode;
  int64_t StreamLength;   // bytes from the start to the end of the last frame
  int32_t TotalDuration;  // milliseconds
  uint8_t HasID3v1;
  uint8_t HasID3v2;
  int32_t ID3v2Size;  // the tag's whole length, header included
};

// Takes the format of a run's first frame or page into `info`.
inline void TakeFirstFrameFormat(const TFrameInfo& frame, TStreamInfo& info) {
  info.SampleRate = frame.SampleRate;
  info.Layer = frame.Layer;
  info.MpegVersion = frame.MpegVersion;
  info.CrcProtected = frame.CrcProtected;
  info.ChannelMode = frame.ChannelMode;
}
