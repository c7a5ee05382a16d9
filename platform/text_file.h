// Text files a run reads whole: a readme, a tag INI file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/input_file.h"

// The largest text file that is read at all.
constexpr int64_t kMaxTextFileSize = 16 * 1024 * 1024;
// Opens a text file for reading; a larger one than kMaxTextFileSize is
// refused as "File too large" before anything of it is read.
InputFile OpenTextFile(const std::string& path, Env& env = Env::System());
// Reads a whole text file as lines (without their line ends); throws IoError.
// `onLine` is called for each line as it is read.
void ReadTextLines(const std::string& path, const std::function<void(const std::string&)>& onLine,
                   Env& env = Env::System());
