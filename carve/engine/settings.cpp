#include "carve/engine/settings.h"

#include "platform/translate.h"

namespace {

using Id = SettingId;

// clang-format off
constexpr SettingRow kSettings[] = {
  {Id::LimitRange, 0, 0, 1, "", 0, "", "", "rbtLimit", "", false},
  {Id::LowerPercent, 50, 0, 99, "", 0, "", "", "updLower", "", false},
  {Id::UpperPercent, 100, 1, 100, "", 0, "", "", "updUpper", "", false},
  {Id::MinFrames, 4, 2, 1000, "--frames", 0, "N", "minimum consecutive frames (Ogg: pages)",
   "updFrameNum", "", false},
  {Id::BreakOnVersion, 1, 0, 1, "--no-version-break", 0, "",
   "a change of MPEG version or layer does not end a stream", "chkSensitizeVersion", "", false},
  {Id::BreakOnChannel, 1, 0, 1, "--no-channel-break", 0, "",
   "a change of channel mode does not end a stream", "chkSensitizeChannel", "", false},
  {Id::BreakOnFreq, 1, 0, 1, "--no-freq-break", 0, "",
   "a change of sampling frequency does not end a stream", "chkSensitizeFreq", "", false},
  {Id::BreakOnCrc, 1, 0, 1, "--no-crc-break", 0, "",
   "a change of CRC protection does not end a stream", "chkSensitizeCRC", "", false},
  {Id::CopyId3v2, 1, 0, 1, "--no-id3v2", 0, "", "do not copy the ID3v2 tag before a stream",
   "chkID3v2Copy", "", false},
  {Id::CopyId3v1, 1, 0, 1, "--no-id3v1", 0, "", "do not copy the ID3v1 tag after an MP3 stream",
   "chkID3v1Copy", "", false},
  {Id::FullId3v2, 0, 0, 1, "--full-id3v2", 1, "",
   "find ID3v2 tags by their whole size, up to 16 MiB before a stream (mp3)", "chkFullId3v2",
   ZT("settings", "大きなID3v2タグも検出する"), true},
  {Id::SplitXing, 0, 0, 1, "--split-xing", 1, "",
   "split MP3 streams at encoder (Xing/Info/VBRI) headers", "chkSplitXing",
   ZT("settings", "Xing/Infoヘッダで曲を分ける"), true},
  {Id::WavAnyChunk, 0, 0, 1, "--wav-any-chunk", 1, "",
   "find WAVE files whose \"fmt \" chunk is not the first", "chkWavAnyChunk",
   ZT("settings", "fmt 以外のチャンクで始まるWAVEも検出する"), true},
  {Id::OggWhole, 0, 0, 1, "--ogg-whole", 1, "",
   "keep an Ogg stream from its first to its last page whatever its page count; log its real "
   "length", "chkOggWhole", ZT("settings", "BOSからEOSまでそろったOggは最小ページ数によらず抽出する"), true},
  {Id::OggCodecs, 0, 0, 1, "--ogg-codecs", 1, "",
   "follow Ogg streams by serial number, checking every page's CRC; log and name them by codec "
   "(Opus, FLAC, Speex, Theora)", "chkOggCodecs",
   ZT("settings", "Oggは論理ストリームを追いコーデック別に抽出する"), true},
  {Id::RiffCodecs, 0, 0, 1, "--riff-codecs", 1, "",
   "find RIFX (big-endian) WAVE files too; name RIFF outputs by codec (Wwise .wem, ATRAC .at3 "
   "and .at9, XMA .xma)", "chkRiffCodecs",
   ZT("settings", "RIFXも検出しコーデック別の拡張子で抽出する"), true},
  {Id::WavSound, 0, 0, 1, "--wav-sound", 1, "",
   "take a RIFF file only when its format chunk describes sound (a sample rate, 1 to 64 "
   "channels, a byte rate that fits them) and its data chunk holds bytes", "chkWavSound",
   ZT("settings", "音声として成り立つWAVEだけを抽出する"), true},
  {Id::Mp3Reservoir, 0, 0, 1, "--mp3-reservoir", 1, "",
   "end an MP3 stream at a frame whose side information no encoder writes: main data that "
   "begins before the stream's earlier frames hold any or ends after its own frame, or more "
   "than 288 pairs of big values", "chkMp3Reservoir",
   ZT("settings", "MP3はビットリザーバの整合性も確かめる"), true},
  {Id::Images, 0, 0, 1, "--images", 1, "",
   "read an EWF image (E01) from its first segment file and a split raw set (img.001, img.aa) "
   "from its first segment as one image: offsets are the image's; a later segment given with "
   "its first is not read twice", "chkImages",
   ZT("settings", "E01イメージと分割イメージをひとつのイメージとして読む"), true},
};
// clang-format on

static_assert(std::size(kSettings) == kSettingCount);

}  // namespace

std::span<const SettingRow> Settings() { return kSettings; }

const SettingRow& SettingOf(SettingId id) { return kSettings[static_cast<size_t>(id)]; }

SettingValues::SettingValues() {
  for (const SettingRow& row : kSettings) set(row.id, row.defaultValue);
}

void SettingValues::takeExtendedRules() {
  for (const SettingRow& row : kSettings) {
    if (row.extended) set(row.id, 1);
  }
}
