#include "fuzz_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

const std::string& FuzzDir() {
  static const std::string dir = [] {
    std::string base =
        std::filesystem::temp_directory_path() / ("zandrel-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(base);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(FuzzDir(), ec);
    });
    return base;
  }();
  return dir;
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
