#include "platform/text_file.h"

#include <cerrno>
#include <cstring>

#include "platform/io_error.h"

InputFile OpenTextFile(const std::string& path, Env& env) {
  InputFile f = InputFile::OpenRead(path, env);
  if (f.size() > kMaxTextFileSize) throw IoError(kIoOsBase + EFBIG, std::strerror(EFBIG), path);
  return f;
}

void ReadTextLines(const std::string& path, const std::function<void(const std::string&)>& onLine,
                   Env& env) {
  InputFile f = OpenTextFile(path, env);
  std::string line;
  char block[4096];
  bool pendingCr = false;
  for (;;) {
    int64_t n = f.read(block, sizeof block);
    if (n == 0) break;
    for (int64_t i = 0; i < n; ++i) {
      char c = block[i];
      if (pendingCr) {
        pendingCr = false;
        if (c == '\n') continue;
      }
      if (c == '\n' || c == '\r') {
        onLine(line);
        line.clear();
        pendingCr = c == '\r';
      } else {
        line += c;
      }
    }
  }
  if (!line.empty()) onLine(line);
  f.close();
}
