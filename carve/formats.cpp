#include "carve/formats.h"

#include <algorithm>

#include "carve/extract.h"

// The carvers, each in its own file.
std::unique_ptr<Carver> MakeMp3Carver(Host& host);
std::unique_ptr<Carver> MakeOggCarver(Host& host);
std::unique_ptr<Carver> MakeWavCarver(Host& host);
std::unique_ptr<Carver> MakeMp2Carver(Host& host);
std::unique_ptr<Carver> MakeAacCarver(Host& host);
std::unique_ptr<Carver> MakeFlacCarver(Host& host);
std::unique_ptr<Carver> MakeAiffCarver(Host& host);
std::unique_ptr<Carver> MakeAdxCarver(Host& host);

namespace {

// clang-format off
constexpr FormatRow kFormats[] = {
  {"mp3", "mp3", "mp3", "", "", true, true,
   "MPEG audio Layer III streams (the default)", MakeMp3Carver},
  {"ogg", "ogg", "ogg", "OggVorbisを抽出(α版)", "OggVorbis1", false, true,
   "Ogg Vorbis streams", MakeOggCarver},
  {"wav", "wav", "wav", "Riff WAVを抽出(適当)", "RiffWAV1", false, true,
   "RIFF WAVE files", MakeWavCarver},
  {"mp2", "mp2", "mp2", "MPEG Layer I/IIを抽出", "Mp21", false, true,
   "MPEG audio Layer I/II streams", MakeMp2Carver},
  {"aac", "aac", "aac", "AAC (ADTS)を抽出", "Aac1", false, true,
   "AAC streams in ADTS", MakeAacCarver},
  {"flac", "flac", "flac", "FLACを抽出", "Flac1", false, true,
   "FLAC streams", MakeFlacCarver},
  {"aiff", "aiff", "aiff", "AIFFを抽出", "Aiff1", false, true,
   "AIFF and AIFF-C files", MakeAiffCarver},
  {"adx", "adx", "adx", "ADXを抽出", "Adx1", false, true,
   "CRI ADX streams", MakeAdxCarver},
};
// clang-format on

}  // namespace

std::span<const FormatRow> Formats() { return kFormats; }

const FormatRow* FindFormat(std::string_view command) {
  for (const FormatRow& row : kFormats) {
    if (row.command == command) return &row;
  }
  return nullptr;
}

std::vector<const FormatRow*> AllFormatRows() {
  std::vector<const FormatRow*> rows;
  for (const FormatRow& row : kFormats) {
    if (row.inAll) rows.push_back(&row);
  }
  return rows;
}

int64_t ExtractFormat(Host& host, const FormatRow& row, const std::string& input,
                      const std::string& pattern) {
  return RunScanPass(host, *row.make(host), input, pattern);
}

int64_t ExtractFormats(Host& host, const std::vector<const FormatRow*>& rows,
                       const std::string& input, const std::string& pattern) {
  std::vector<std::unique_ptr<Carver>> carvers;
  std::vector<Carver*> lanes;
  for (const FormatRow* row : rows) {
    carvers.push_back(row->make(host));
    lanes.push_back(carvers.back().get());
  }
  return RunScanPasses(host, lanes, input, pattern);
}

int64_t ExtractMp3(Host& host, const std::string& input, const std::string& pattern) {
  return ExtractFormat(host, *FindFormat("mp3"), input, pattern);
}
int64_t ExtractOgg(Host& host, const std::string& input, const std::string& pattern) {
  return ExtractFormat(host, *FindFormat("ogg"), input, pattern);
}
int64_t ExtractWav(Host& host, const std::string& input, const std::string& pattern) {
  return ExtractFormat(host, *FindFormat("wav"), input, pattern);
}
int64_t ExtractAll(Host& host, const std::string& input, const std::string& pattern) {
  return ExtractFormats(host, AllFormatRows(), input, pattern);
}
