// Ogg page decoding, page-run measurement, the following of logical streams
// and the reading of codec headers on fuzzed bytes.
#include <cmath>
#include <cstdlib>
#include <vector>

#include "carve/engine/input_view.h"
#include "carve/formats/ogg/ogg_page.h"
#include "carve/formats/ogg/ogg_streams.h"
#include "fuzz_support.h"
#include "platform/input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The decoder's buffer always holds 100 bytes and the whole segment table.
  std::vector<uint8_t> page(27 + 255 + 100, 0);
  std::copy(data, data + std::min(size, page.size()), page.begin());
  TFrameInfo frame{};
  if (DecodeOggPageHeader(page.data(), frame)) {
    if (frame.FrameLength < 27 || frame.FrameLength > 27 + 255 + 255 * 255) std::abort();
  }
  std::string path = WriteFuzzFile("ogg.bin", data + 1, size - 1);
  InputView in(InputFile::OpenRead(path));
  int64_t start = size > 1 ? data[0] % (size - 1) : 0;
  TStreamInfo info{};
  int64_t count = MeasureOggStream(in, start, info);
  if (count < 0) std::abort();
  if (count > 1 && info.StreamLength <= 0) std::abort();
  if (info.HasID3v1 || info.HasID3v2 || info.TotalDuration != 0) std::abort();
  // The group at the same start lies within the input and lasts a length
  // that is a number, and any bytes read as a first packet too.
  OggCrcCache crcs;
  const OggGroup group = FollowOggGroup(in, start, crcs);
  if (group.pages < 0 || group.length < 0 || start + group.length > static_cast<int64_t>(size - 1))
    std::abort();
  const double seconds = group.seconds();
  if (!std::isfinite(seconds) || seconds < 0) std::abort();
  const OggCodecInfo codec = ReadOggCodec(std::span<const uint8_t>(data + 1, size - 1));
  const double own = OggSeconds(codec, static_cast<int64_t>(size) << 20);
  if (!std::isfinite(own) || own < 0) std::abort();
  return 0;
}
