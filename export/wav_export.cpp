#include "export/wav_export.h"

#include "export/containers.h"
#include "export/decode_check.h"
#include "export/member_files.h"
#include "export/pcm_decode.h"
#include "platform/io_error.h"
#include "platform/output_file.h"
#include "platform/translate.h"

namespace {

// The channels a WAVE keeps; a stream of more is mixed down to two.
constexpr int kMostChannels = 8;

WavExport Failed(const std::string& why) {
  WavExport result;
  result.error = why;
  result.errorShown = Tr("PcmDecode", why).shown();
  return result;
}

}  // namespace

WavExport DecodeToWav(const std::string& path, const std::string& kind, const std::string& wavPath,
                      Env& env, const std::atomic<bool>* stop) {
  WavExport result = Failed(WhyNotDecoded(path, kind, env));
  if (!result.error.empty()) return result;
  OutputFile out;
  PcmLayout layout;
  int64_t bytes = 0;
  // The header goes first with no size; the sizes are put in once the
  // samples are written.
  const auto begin = [&](const PcmBlocksFormat& format) {
    layout = {format.sampleRate, format.channels, 16, false, format.channelMask};
    out = OutputFile::CreateOutput(wavPath, OutputMode::Keep, env);
    const auto header = WaveHeaderOf(layout, 0);
    out.write(header.data(), std::ssize(header));
  };
  const auto take = [&](const int16_t* samples, int64_t frames) {
    const int64_t count = frames * layout.channels * static_cast<int64_t>(sizeof(int16_t));
    out.write(samples, count);
    bytes += count;
  };
  try {
    result = Failed(DecodePcmBlocks(path, kind, kMostChannels, begin, take, stop));
    if (result.error.empty()) {
      const auto header = WaveHeaderOf(layout, bytes);
      out.writeAt(0, header.data(), std::ssize(header));
      out.commit();
    }
  } catch (const IoError& e) {
    const std::string path = e.path().empty() ? "" : ": " + e.path();
    result.error = e.what() + path;
    result.errorShown = e.shown() + path;
  }
  if (!result.error.empty()) {
    out.discard();
    return result;
  }
  result.output = wavPath;
  result.rate = static_cast<int>(layout.rate);
  result.channels = static_cast<int>(layout.channels);
  result.frames = bytes / (layout.channels * static_cast<int64_t>(sizeof(int16_t)));
  return result;
}

WavExport DecodeMemberToWav(const MemberOutcome& outcome, Env& env, const std::atomic<bool>* stop) {
  WavExport result = Failed(WhyMemberNotDecoded(outcome.member, outcome.shape));
  if (!result.error.empty() || outcome.output.empty()) return result;
  return DecodeToWav(outcome.output, outcome.shape.extension, outcome.output + ".wav", env, stop);
}
