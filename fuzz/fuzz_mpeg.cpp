// MPEG header decoding and stream measurement on fuzzed bytes.
#include <cstdlib>

#include "carve/engine/input_view.h"
#include "carve/formats/mpeg/mpeg_header.h"
#include "carve/formats/mpeg/mpeg_measure.h"
#include "fuzz_support.h"
#include "platform/input_file.h"
#include "support/script_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  TFrameInfo frame{};
  if (size >= 4 && DecodeMpegHeader(data, frame)) {
    if (frame.Layer != 3 || frame.FrameLength < 24 || frame.FrameLength > 1441 ||
        frame.Duration <= 0 || frame.Bitrate <= 0 || frame.SampleRate <= 0)
      std::abort();
  }
  ScriptHost host;
  host.sensitizeVersion = data[0] & 1;
  host.sensitizeChannel = data[0] & 2;
  host.sensitizeFreq = data[0] & 4;
  host.sensitizeCrc = data[0] & 8;
  std::string path = WriteFuzzFile("mpeg.bin", data + 2, size - 2);
  InputView in(InputFile::OpenRead(path));
  int64_t start = size > 2 ? data[1] % (size - 2) : 0;
  TStreamInfo info{};
  int64_t count = MeasureMp3Stream(host, in, start, info, 2);
  if (count < 0) std::abort();
  if (count > 1 && info.StreamLength <= 0) std::abort();
  if (count <= 1 && (info.StreamLength != 0 || info.HasID3v2 || info.HasID3v1)) std::abort();
  if (info.HasID3v2 && (info.ID3v2Size > start || info.ID3v2Size < 10)) std::abort();
  return 0;
}
