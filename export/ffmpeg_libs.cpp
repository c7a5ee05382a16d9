#include "export/ffmpeg_libs.h"

#include <dlfcn.h>

#include <atomic>

namespace {

std::atomic<bool> loaded{false};

#define ZANDREL_SONAME(base, major) "lib" base ".so." AV_STRINGIFY(major)

struct Handles {
  void* util = dlopen(ZANDREL_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
  void* format =
      dlopen(ZANDREL_SONAME("avformat", LIBAVFORMAT_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
  void* codec = dlopen(ZANDREL_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
  void* resample =
      dlopen(ZANDREL_SONAME("swresample", LIBSWRESAMPLE_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
};

// Every function found, or null. The libraries stay open for the process.
const FfmpegLibs* Open() {
  static FfmpegLibs libs;
  const Handles h;
  if (h.util == nullptr || h.format == nullptr || h.codec == nullptr || h.resample == nullptr)
    return nullptr;
  bool all = true;
#define ZANDREL_FFMPEG_FIND(lib, name)                                  \
  libs.name = reinterpret_cast<decltype(&::name)>(dlsym(h.lib, #name)); \
  all = all && libs.name != nullptr;
  ZANDREL_FFMPEG_FUNCTIONS(ZANDREL_FFMPEG_FIND)
#undef ZANDREL_FFMPEG_FIND
  loaded = true;
  return all ? &libs : nullptr;
}

}  // namespace

const FfmpegLibs* Ffmpeg() {
  static const FfmpegLibs* const libs = Open();
  return libs;
}

bool FfmpegLoaded() { return loaded; }
