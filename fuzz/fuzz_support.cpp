#include "fuzz_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {
// Never freed, so that the clean-up at exit can still use it.
const std::string* g_fuzzDir = nullptr;
}  // namespace

const std::string& FuzzDir() {
  if (g_fuzzDir == nullptr) {
    // A memory-backed folder when there is one: every run writes files.
    std::filesystem::path tmp = std::filesystem::is_directory("/dev/shm")
                                    ? std::filesystem::path("/dev/shm")
                                    : std::filesystem::temp_directory_path();
    auto base = tmp / ("zandrel-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(base);
    g_fuzzDir = new std::string(base.string());
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(*g_fuzzDir, ec);
    });
  }
  return *g_fuzzDir;
}

std::string WriteFuzzFile(const std::string& name, const uint8_t* data, size_t size) {
  std::string path = FuzzDir() + "/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

void ClearFuzzFolder(const std::string& sub) {
  std::error_code ec;
  std::filesystem::remove_all(FuzzDir() + "/" + sub, ec);
  std::filesystem::create_directories(FuzzDir() + "/" + sub, ec);
}
