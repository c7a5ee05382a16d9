#include "carve/engine/formats.h"

#include <algorithm>

#include "carve/engine/extract.h"
#include "carve/engine/run_state.h"
#include "output/naming.h"
#include "platform/io_error.h"
#include "platform/translate.h"

// The carvers, each in its own file.
std::unique_ptr<Carver> MakeMp3Carver(Host& host);
std::unique_ptr<Carver> MakeOggCarver(Host& host);
std::unique_ptr<Carver> MakeWavCarver(Host& host);
std::unique_ptr<Carver> MakeMp2Carver(Host& host);
std::unique_ptr<Carver> MakeAacCarver(Host& host);
std::unique_ptr<Carver> MakeFlacCarver(Host& host);
std::unique_ptr<Carver> MakeAiffCarver(Host& host);
std::unique_ptr<Carver> MakeAdxCarver(Host& host);
std::unique_ptr<Carver> MakeWwiseBankCarver(Host& host);
std::unique_ptr<Carver> MakeBrstmCarver(Host& host);
std::unique_ptr<Carver> MakeBcstmCarver(Host& host);
std::unique_ptr<Carver> MakeBfstmCarver(Host& host);
std::unique_ptr<Carver> MakeSmfCarver(Host& host);
std::unique_ptr<Carver> MakeRmidCarver(Host& host);
std::unique_ptr<Carver> MakeFsbCarver(Host& host);
std::unique_ptr<Carver> MakeAwbCarver(Host& host);
std::unique_ptr<Carver> MakeHcaCarver(Host& host);
std::unique_ptr<Carver> MakeWwisePackageCarver(Host& host);
std::unique_ptr<Carver> MakeXwbCarver(Host& host);

namespace {

// Ogg files are named by formatting the pattern, its last three bytes
// replaced by the extension, with the stream number alone. Where that cannot
// format the pattern (the bytes replaced cut a conversion, or a conversion
// takes anything but the number, "%f"), the stream is named as the newer
// formats name theirs.
std::string OggName(const std::string& pattern, const std::string& baseName, int64_t number,
                    const std::string& extension) {
  if (EndsInPlainText(pattern, 3, PatternReading::Number)) {
    try {
      return FormatWithNumber(ReplaceLastThree(pattern, extension), number);
    } catch (const IoError&) {
      // named below
    }
  }
  return NameWithExtension(pattern, baseName, number, extension);
}

// WAVE files: the pattern's last three bytes replaced by the extension, then
// expanded as for MP3, "%e" giving "mp3"; named as the newer formats name
// theirs where the bytes replaced cut a conversion as MP3 reads it
// ("%3.3d.%e"; in "x%-12d", "%-" is a conversion and "12d" plain text).
std::string WavName(const std::string& pattern, const std::string& baseName, int64_t number,
                    const std::string& extension) {
  if (!EndsInPlainText(pattern, 3, PatternReading::OutputName))
    return NameWithExtension(pattern, baseName, number, extension);
  return ExpandOutputName(ReplaceLastThree(pattern, extension), baseName, number, "mp3");
}

// clang-format off
constexpr FormatRow kFormats[] = {
  {"mp3", "mp3", "mp3", ZT("formats", "からMP3ファイルを探しますっ！"), ExpandOutputName,
   "", "", true, true, "MPEG audio Layer III streams (the default)", MakeMp3Carver},
  {"ogg", "ogg", "ogg", ZT("formats", "からOggファイルを探しますっ！"), OggName,
   ZT("formats", "OggVorbisを抽出(α版)"), "OggVorbis1", false, true,
   "Ogg Vorbis streams", MakeOggCarver},
  {"wav", "wav", "wav", ZT("formats", "からWavファイルを探しますっ！"), WavName,
   ZT("formats", "Riff WAVを抽出(適当)"), "RiffWAV1", false, true,
   "RIFF WAVE files", MakeWavCarver},
  {"mp2", "mp2", "mp2", ZT("formats", "からMPEG Layer I/IIファイルを探しますっ！"), NameWithExtension,
   ZT("formats", "MPEG Layer I/IIを抽出"), "Mp21", false, true,
   "MPEG audio Layer I/II streams", MakeMp2Carver},
  {"aac", "aac", "aac", ZT("formats", "からAACファイルを探しますっ！"), NameWithExtension,
   ZT("formats", "AAC (ADTS)を抽出"), "Aac1", false, true,
   "AAC streams in ADTS", MakeAacCarver},
  {"flac", "flac", "flac", ZT("formats", "からFLACファイルを探しますっ！"), NameWithExtension,
   ZT("formats", "FLACを抽出"), "Flac1", false, true,
   "FLAC streams", MakeFlacCarver},
  {"aiff", "aiff", "aiff", ZT("formats", "からAIFFファイルを探しますっ！"), NameWithExtension,
   ZT("formats", "AIFFを抽出"), "Aiff1", false, true,
   "AIFF and AIFF-C files", MakeAiffCarver},
  {"adx", "adx", "adx", ZT("formats", "からADXファイルを探しますっ！"), NameWithExtension,
   ZT("formats", "ADXを抽出"), "Adx1", false, true,
   "CRI ADX streams", MakeAdxCarver},
  {"wwise", "wwise", "bnk", ZT("formats", "からWwiseサウンドバンクを探しますっ！"), NameWithExtension,
   ZT("formats", "Wwiseサウンドバンクを抽出"), "WwiseBank1", false, true, "Wwise soundbanks, whole",
   MakeWwiseBankCarver},
  {"brstm", "brstm", "brstm", ZT("formats", "からBRSTMファイルを探しますっ！"), NameWithExtension,
   ZT("formats", "BRSTMを抽出"), "Brstm1", false, true, "Nintendo BRSTM streams", MakeBrstmCarver},
  {"bcstm", "bcstm", "bcstm", ZT("formats", "からBCSTMファイルを探しますっ！"), NameWithExtension,
   ZT("formats", "BCSTMを抽出"), "Bcstm1", false, true, "Nintendo BCSTM streams", MakeBcstmCarver},
  {"bfstm", "bfstm", "bfstm", ZT("formats", "からBFSTMファイルを探しますっ！"), NameWithExtension,
   ZT("formats", "BFSTMを抽出"), "Bfstm1", false, true, "Nintendo BFSTM streams", MakeBfstmCarver},
  {"mid", "mid", "mid", ZT("formats", "からMIDIファイルを探しますっ！"), NameWithExtension,
   ZT("formats", "MIDIを抽出"), "Midi1", false, true, "standard MIDI files", MakeSmfCarver},
  {"rmi", "rmi", "rmi", ZT("formats", "からRIFF MIDIファイルを探しますっ！"), NameWithExtension,
   ZT("formats", "RIFF MIDIを抽出"), "Rmid1", false, true, "RIFF MIDI files", MakeRmidCarver},
  {"fsb", "fsb", "fsb", ZT("formats", "からFSBファイルを探しますっ！"), NameWithExtension,
   ZT("formats", "FSBを抽出"), "Fsb1", false, true, "FMOD sound banks (FSB4, FSB5)", MakeFsbCarver},
  {"awb", "awb", "awb", ZT("formats", "からAWBファイルを探しますっ！"), NameWithExtension,
   ZT("formats", "AWBを抽出"), "Awb1", false, true, "CRI AWB (AFS2) wave banks", MakeAwbCarver},
  {"hca", "hca", "hca", ZT("formats", "からHCAファイルを探しますっ！"), NameWithExtension,
   ZT("formats", "HCAを抽出"), "Hca1", false, true, "CRI HCA streams", MakeHcaCarver},
  {"pck", "pck", "pck", ZT("formats", "からWwiseパッケージを探しますっ！"), NameWithExtension,
   ZT("formats", "Wwiseパッケージを抽出"), "WwisePackage1", false, true,
   "Wwise file packages (AKPK), whole", MakeWwisePackageCarver},
  {"xwb", "xwb", "xwb", ZT("formats", "からXWBファイルを探しますっ！"), NameWithExtension,
   ZT("formats", "XWBを抽出"), "Xwb1", false, true, "XACT wave banks", MakeXwbCarver},
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
  return RunScanPass(host, row, *row.make(host), input, pattern);
}

int64_t ExtractFormats(Host& host, const std::vector<const FormatRow*>& rows,
                       const std::string& input, const std::string& pattern) {
  RunState run = RunState::PassAlone();
  return ExtractFormats(host, rows, input, pattern, run);
}

int64_t ExtractFormats(Host& host, const std::vector<const FormatRow*>& rows,
                       const std::string& input, const std::string& pattern, RunState& run) {
  std::vector<std::unique_ptr<Carver>> carvers;
  std::vector<PassLane> lanes;
  for (const FormatRow* row : rows) {
    carvers.push_back(row->make(host));
    lanes.push_back({row, carvers.back().get()});
  }
  return RunScanPasses(host, lanes, input, pattern, run);
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
