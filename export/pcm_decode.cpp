#include "export/pcm_decode.h"

#include <algorithm>
#include <functional>
#include <memory>

#include "export/ffmpeg_libs.h"
#include "platform/translate.h"

namespace {

// The deleters run only on what the libraries made, which were open then.
struct FormatCloser {
  void operator()(AVFormatContext* c) const { Ffmpeg()->avformat_close_input(&c); }
};
struct CodecFreer {
  void operator()(AVCodecContext* c) const { Ffmpeg()->avcodec_free_context(&c); }
};
struct ResamplerFreer {
  void operator()(SwrContext* c) const { Ffmpeg()->swr_free(&c); }
};
struct FrameFreer {
  void operator()(AVFrame* f) const { Ffmpeg()->av_frame_free(&f); }
};
struct PacketFreer {
  void operator()(AVPacket* p) const { Ffmpeg()->av_packet_free(&p); }
};

// One decoding: the opened file, its decoder and the resampler to 16-bit.
class Decoding {
 public:
  using Take = std::function<void(const int16_t*, int64_t)>;
  Decoding(int mostChannels, const Take& take) : mostChannels_(mostChannels), take_(take) {}

  bool open(const std::string& path, const std::string& kind) {
    ff_ = Ffmpeg();
    if (ff_ == nullptr) return fail(ZT("PcmDecode", "FFmpegで開けません"));
    // What FFmpeg has to say of a file goes into the failure, not on the
    // terminal of the command line.
    ff_->av_log_set_level(AV_LOG_QUIET);
    const char* name = DemuxerOfKind(kind);
    const AVInputFormat* demuxer = name != nullptr ? ff_->av_find_input_format(name) : nullptr;
    if (demuxer == nullptr) return fail(ZT("PcmDecode", "FFmpegで開けません"));
    // A file: URL takes the bytes of the path as they are; no protocol but
    // the local file and no demuxer but the row's may be used.
    AVDictionary* options = nullptr;
    ff_->av_dict_set(&options, "protocol_whitelist", "file", 0);
    ff_->av_dict_set(&options, "format_whitelist", name, 0);
    AVFormatContext* format = nullptr;
    const std::string url = "file:" + path;
    const int opened = ff_->avformat_open_input(&format, url.c_str(), demuxer, &options);
    ff_->av_dict_free(&options);
    if (opened < 0) return fail(ZT("PcmDecode", "FFmpegで開けません"));
    format_.reset(format);
    if (ff_->avformat_find_stream_info(format, nullptr) < 0)
      return fail(ZT("PcmDecode", "音声の情報が読めません"));
    const AVCodec* codec = nullptr;
    stream_ = ff_->av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream_ < 0 || codec == nullptr)
      return fail(ZT("PcmDecode", "音声のストリームがありません"));
    codec_.reset(ff_->avcodec_alloc_context3(codec));
    if (!codec_ ||
        ff_->avcodec_parameters_to_context(codec_.get(), format->streams[stream_]->codecpar) < 0 ||
        ff_->avcodec_open2(codec_.get(), codec, nullptr) < 0)
      return fail(ZT("PcmDecode", "デコーダを開けません"));
    return openResampler();
  }

  const PcmBlocksFormat& format() const { return format_out_; }

  void run(double maxSeconds, const std::atomic<bool>* stop) {
    limit_ = maxSeconds > 0 ? static_cast<int64_t>(maxSeconds * format_out_.sampleRate) : INT64_MAX;
    std::unique_ptr<AVPacket, PacketFreer> packet(ff_->av_packet_alloc());
    const auto stopped = [stop] { return stop != nullptr && stop->load(); };
    while (decoded_ < limit_ && !stopped() &&
           ff_->av_read_frame(format_.get(), packet.get()) >= 0) {
      if (packet->stream_index == stream_ &&
          ff_->avcodec_send_packet(codec_.get(), packet.get()) >= 0)
        receive();
      ff_->av_packet_unref(packet.get());
    }
    if (decoded_ < limit_ && ff_->avcodec_send_packet(codec_.get(), nullptr) >= 0) receive();
    if (decoded_ == 0) fail(ZT("PcmDecode", "音声をデコードできません"));
  }

  const std::string& error() const { return error_; }

 private:
  bool fail(const char* why) {
    error_ = why;
    return false;
  }

  bool openResampler() {
    const int channels = codec_->ch_layout.nb_channels;
    if (channels <= 0 || codec_->sample_rate <= 0)
      return fail(ZT("PcmDecode", "音声の形式が分かりません"));
    format_out_.sampleRate = codec_->sample_rate;
    format_out_.channels = channels <= mostChannels_ ? channels : std::min(2, mostChannels_);
    // Zeroed: a copy into a layout frees what the layout held first.
    AVChannelLayout inLayout{}, outLayout{};
    // A layout of no known order is read as the usual one of its count.
    if (codec_->ch_layout.order == AV_CHANNEL_ORDER_NATIVE)
      ff_->av_channel_layout_copy(&inLayout, &codec_->ch_layout);
    else
      ff_->av_channel_layout_default(&inLayout, channels);
    if (format_out_.channels == channels)
      ff_->av_channel_layout_copy(&outLayout, &inLayout);
    else
      ff_->av_channel_layout_default(&outLayout, format_out_.channels);
    if (outLayout.order == AV_CHANNEL_ORDER_NATIVE) format_out_.channelMask = outLayout.u.mask;
    SwrContext* swr = nullptr;
    const bool made = ff_->swr_alloc_set_opts2(
                          &swr, &outLayout, AV_SAMPLE_FMT_S16, format_out_.sampleRate, &inLayout,
                          codec_->sample_fmt, codec_->sample_rate, 0, nullptr) >= 0 &&
                      ff_->swr_init(swr) >= 0;
    ff_->av_channel_layout_uninit(&inLayout);
    ff_->av_channel_layout_uninit(&outLayout);
    if (!made) {
      ff_->swr_free(&swr);
      return fail(ZT("PcmDecode", "音声を変換できません"));
    }
    swr_.reset(swr);
    return true;
  }

  void receive() {
    std::unique_ptr<AVFrame, FrameFreer> frame(ff_->av_frame_alloc());
    while (decoded_ < limit_ && ff_->avcodec_receive_frame(codec_.get(), frame.get()) >= 0) {
      const int room = ff_->swr_get_out_samples(swr_.get(), frame->nb_samples);
      if (room <= 0) continue;
      block_.resize(static_cast<size_t>(room) * format_out_.channels);
      auto* dest = reinterpret_cast<uint8_t*>(block_.data());
      const int got =
          ff_->swr_convert(swr_.get(), &dest, room,
                           const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
      const int64_t kept = got < 0 ? 0 : std::min<int64_t>(got, limit_ - decoded_);
      if (kept > 0) take_(block_.data(), kept);
      decoded_ += kept;
    }
  }

  const FfmpegLibs* ff_ = nullptr;  // the libraries, once open() found them
  int mostChannels_;
  const Take& take_;
  std::string error_;
  PcmBlocksFormat format_out_;
  std::vector<int16_t> block_;
  std::unique_ptr<AVFormatContext, FormatCloser> format_;
  std::unique_ptr<AVCodecContext, CodecFreer> codec_;
  std::unique_ptr<SwrContext, ResamplerFreer> swr_;
  int stream_ = -1;
  int64_t decoded_ = 0;  // sample frames kept
  int64_t limit_ = 0;
};

}  // namespace

const char* DemuxerOfKind(const std::string& kind) {
  static const struct {
    const char* kind;
    const char* demuxer;
  } kDemuxers[] = {
      {"mp3", "mp3"},
      {"mp2", "mp3"},
      {"ogg", "ogg"},
      {"wav", "wav"},
      {"aac", "aac"},
      {"flac", "flac"},
      {"aiff", "aiff"},
      {"adx", "adx"},
      {"brstm", "brstm"},
      {"bcstm", "bfstm"},
      {"bfstm", "bfstm"},
      {"fsb", "fsb"},
      {"hca", "hca"},
      // Members' extensions and RIFF kinds of their own (ATRAC, XMA, Wwise).
      {"wem", "wav"},
      {"at3", "wav"},
      {"at9", "wav"},
      {"xma", "wav"},
  };
  for (const auto& row : kDemuxers) {
    if (kind == row.kind) return row.demuxer;
  }
  return nullptr;
}

DecodedPcm DecodePcm(const std::string& path, const std::string& kind, double maxSeconds,
                     const std::atomic<bool>* stop) {
  DecodedPcm out;
  const Decoding::Take take = [&out](const int16_t* samples, int64_t frames) {
    out.samples.insert(out.samples.end(), samples, samples + frames * out.channels);
  };
  Decoding decoding(2, take);
  if (decoding.open(path, kind)) {
    out.sampleRate = decoding.format().sampleRate;
    out.channels = decoding.format().channels;
    decoding.run(maxSeconds, stop);
  }
  out.error = decoding.error();
  if (!out.error.empty()) out.samples.clear();
  return out;
}

std::string DecodePcmBlocks(const std::string& path, const std::string& kind, int mostChannels,
                            const std::function<void(const PcmBlocksFormat&)>& begin,
                            const std::function<void(const int16_t*, int64_t)>& take,
                            const std::atomic<bool>* stop) {
  Decoding decoding(mostChannels, take);
  if (!decoding.open(path, kind)) return decoding.error();
  begin(decoding.format());
  decoding.run(0, stop);
  if (stop != nullptr && stop->load()) return ZT("PcmDecode", "キャンセルしました");
  return decoding.error();
}
