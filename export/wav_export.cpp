#include "export/wav_export.h"

#include "export/member_files.h"
#include "export/pcm_decode.h"
#include "platform/io_error.h"
#include "platform/output_file.h"
#include "platform/translate.h"

WavExport DecodeToWav(const std::string& path, const std::string& kind,
                      const std::string& wavPath, Env& env, const std::atomic<bool>* stop) {
  WavExport result;
  const DecodedPcm pcm = DecodePcm(path, kind, 0, stop);
  if (stop != nullptr && stop->load()) {
    result.error = ZT("PcmDecode", "キャンセルしました");
    return result;
  }
  if (!pcm.error.empty()) {
    result.error = pcm.error;
    return result;
  }
  const auto bytes = static_cast<int64_t>(pcm.samples.size() * sizeof(int16_t));
  OutputFile out;
  try {
    out = OutputFile::CreateOutput(wavPath, OutputMode::Keep, env);
    const auto header = WaveHeader(pcm.sampleRate, pcm.channels, bytes);
    out.write(header.data(), std::ssize(header));
    out.write(pcm.samples.data(), bytes);
    out.commit();
  } catch (const IoError& e) {
    out.discard();
    result.error = e.what();
    return result;
  }
  result.output = wavPath;
  result.rate = pcm.sampleRate;
  result.channels = pcm.channels;
  result.frames = static_cast<int64_t>(pcm.samples.size()) / pcm.channels;
  return result;
}
