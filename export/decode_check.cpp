#include "export/decode_check.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "export/member_files.h"
#include "platform/input_file.h"
#include "platform/io_error.h"
#include "platform/translate.h"

namespace {

// Kinds with no sound of their own to decode.
constexpr struct {
  const char* kind;
  const char* why;
} kKinds[] = {
    {"mid", ZT("PcmDecode", "MIDIは音符のデータで、デコードする音声がありません")},
    {"rmi", ZT("PcmDecode", "MIDIは音符のデータで、デコードする音声がありません")},
    {"fsb", ZT("PcmDecode", "バンクはメンバーごとにデコードします（--members）")},
    {"awb", ZT("PcmDecode", "バンクはメンバーごとにデコードします（--members）")},
    {"wwise", ZT("PcmDecode", "バンクはメンバーごとにデコードします（--members）")},
    {"xwb", ZT("PcmDecode", "バンクはメンバーごとにデコードします（--members）")},
    {"pck", ZT("PcmDecode", "バンクはメンバーごとにデコードします（--members）")},
};

// Codecs of members that no header makes playable.
constexpr struct {
  const char* codec;
  const char* why;
} kCodecs[] = {
    {"vorbis", ZT("PcmDecode", "FSB5のVorbisはセットアップヘッダーの再構築が必要です")},
    {"dsp", ZT("PcmDecode", "DSP ADPCMの係数がバンクのヘッダーにあり、単独では開けません")},
    {"imaadpcm",
     ZT("PcmDecode", "XboxのIMA ADPCM（1ブロック64サンプル）はFFmpegでは長さが変わります")},
    {"xma", ZT("PcmDecode", "XMAのデータにはコンテナがありません")},
};

// Format tags of a WAVE FFmpeg misreads or cannot read.
constexpr struct {
  uint16_t tag;
  const char* why;
} kWaveTags[] = {
    {0xFFFF, ZT("PcmDecode", "Wwise Vorbisはコードブックの再構築が必要です")},
    {0x3040, ZT("PcmDecode", "Wwise OpusはFFmpegで開けません")},
    {0x3041, ZT("PcmDecode", "Wwise OpusはFFmpegで開けません")},
};

uint32_t Read(const uint8_t* p, int bytes, bool big) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(p[big ? bytes - 1 - i : i]) << (8 * i);
  return v;
}

std::vector<uint8_t> Head(const std::string& path, Env& env) {
  std::vector<uint8_t> head(4096);
  try {
    InputFile file = InputFile::OpenRead(path, env);
    head.resize(static_cast<size_t>(file.read(head.data(), std::ssize(head))));
    file.closeQuietly();
  } catch (const IoError&) {
    head.clear();
  }
  return head;
}

// A RIFF WAVE's "fmt " chunk: Wwise's codecs by their tag, and Wwise's IMA
// ADPCM, which says 0x0002 (Microsoft ADPCM) without that codec's table of
// coefficients.
const char* WhyNotWave(const std::vector<uint8_t>& h) {
  if (h.size() < 12 || std::memcmp(h.data() + 8, "WAVE", 4) != 0) return nullptr;
  const bool big = std::memcmp(h.data(), "RIFX", 4) == 0;
  if (!big && std::memcmp(h.data(), "RIFF", 4) != 0) return nullptr;
  for (size_t at = 12; at + 10 <= h.size();) {
    const uint32_t size = Read(h.data() + at + 4, 4, big);
    if (std::memcmp(h.data() + at, "fmt ", 4) == 0) {
      const auto tag = static_cast<uint16_t>(Read(h.data() + at + 8, 2, big));
      for (const auto& row : kWaveTags) {
        if (tag == row.tag) return row.why;
      }
      if (tag == 0x0002 && size < 50)
        return ZT("PcmDecode", "Wwise IMA ADPCMはFFmpegがMS ADPCMとして誤って読みます");
      return nullptr;
    }
    at += 8 + static_cast<size_t>(size) + (size & 1);
  }
  return nullptr;
}

// An HCA whose "ciph" chunk says a cipher (its ids may be masked).
const char* WhyNotHca(const std::vector<uint8_t>& h) {
  auto id = [&h](size_t at, const char* text) {
    for (int i = 0; i < 4; ++i) {
      if ((h[at + i] & 0x7F) != static_cast<uint8_t>(text[i])) return false;
    }
    return true;
  };
  if (h.size() < 8 || !id(0, "HCA\0")) return nullptr;
  const size_t end = std::min<size_t>(h.size(), Read(h.data() + 6, 2, true));
  for (size_t at = 8; at + 6 <= end; ++at) {
    if (id(at, "ciph") && Read(h.data() + at + 4, 2, true) != 0)
      return ZT("PcmDecode", "暗号化されています");
  }
  return nullptr;
}

}  // namespace

std::string WhyNotDecoded(const std::string& path, const std::string& kind, Env& env) {
  for (const auto& row : kKinds) {
    if (kind == row.kind) return row.why;
  }
  const bool wave = kind == "wav" || kind == "wem";
  if (!wave && kind != "hca") return "";
  const std::vector<uint8_t> head = Head(path, env);
  const char* why = wave ? WhyNotWave(head) : WhyNotHca(head);
  return why != nullptr ? why : "";
}

std::string WhyMemberNotDecoded(const Member& member, const MemberShape& shape) {
  if (member.encrypted) return ZT("PcmDecode", "暗号化されています");
  if (shape.playable) return "";
  for (const auto& row : kCodecs) {
    if (member.codec == row.codec) return row.why;
  }
  return ZT("PcmDecode", "コンテナのないコーデックのデータです");
}
