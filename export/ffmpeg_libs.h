// FFmpeg's libraries, opened the first time a decoding needs them rather
// than when a program starts: they and what they pull in are well over a
// hundred shared objects, whose loading would cost every run of the command
// line (a scan of a small file above all) more than its scan.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

// The functions decoding calls, each with the library that holds it.
#define ZANDREL_FFMPEG_FUNCTIONS(X)       \
  X(util, av_log_set_level)               \
  X(util, av_dict_set)                    \
  X(util, av_dict_free)                   \
  X(util, av_frame_alloc)                 \
  X(util, av_frame_free)                  \
  X(util, av_channel_layout_copy)         \
  X(util, av_channel_layout_default)      \
  X(util, av_channel_layout_uninit)       \
  X(format, av_find_input_format)         \
  X(format, avformat_open_input)          \
  X(format, avformat_find_stream_info)    \
  X(format, avformat_close_input)         \
  X(format, av_find_best_stream)          \
  X(format, av_read_frame)                \
  X(codec, avcodec_alloc_context3)        \
  X(codec, avcodec_free_context)          \
  X(codec, avcodec_parameters_to_context) \
  X(codec, avcodec_open2)                 \
  X(codec, avcodec_send_packet)           \
  X(codec, avcodec_receive_frame)         \
  X(codec, av_packet_alloc)               \
  X(codec, av_packet_free)                \
  X(codec, av_packet_unref)               \
  X(resample, swr_alloc_set_opts2)        \
  X(resample, swr_init)                   \
  X(resample, swr_free)                   \
  X(resample, swr_get_out_samples)        \
  X(resample, swr_convert)

#define ZANDREL_FFMPEG_POINTER(lib, name) decltype(&::name) name = nullptr;
struct FfmpegLibs {
  ZANDREL_FFMPEG_FUNCTIONS(ZANDREL_FFMPEG_POINTER);
};
#undef ZANDREL_FFMPEG_POINTER

// The libraries of the major versions built against, opened once for the
// whole process; null when one of them or of their functions is missing.
// Safe to call from any thread.
const FfmpegLibs* Ffmpeg();
// Whether Ffmpeg() has opened them: false until a decoding asks for them.
bool FfmpegLoaded();
