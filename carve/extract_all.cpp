#include "carve/carvers.h"
#include "carve/extract.h"

int64_t ExtractAll(Host& host, const std::string& input, const std::string& pattern) {
  std::unique_ptr<Carver> mp3 = MakeMp3Carver(host);
  std::unique_ptr<Carver> ogg = MakeOggCarver(host);
  std::unique_ptr<Carver> wav = MakeWavCarver(host);
  return RunScanPasses(host, {mp3.get(), ogg.get(), wav.get()}, input, pattern);
}
