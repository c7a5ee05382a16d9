// The failures of the file layer: every failing operation throws IoError,
// which carries a code and the classic run-time message ("File not found",
// "Disk full", ...).
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

enum IoCode : int {
  kIoFileNotFound = 2,
  kIoPathNotFound = 3,
  kIoTooManyOpenFiles = 4,
  kIoAccessDenied = 5,
  kIoInvalidArgument = 87,
  kIoReadBeyondEnd = 100,
  kIoDiskFull = 101,
  kIoNotAFile = 102,
  kIoSameAsInput = 103,
  kIoOutputExists = 104,  // a name refused so that no file is replaced
  kIoInputShrank = 105,   // the input lost bytes while a pass was reading it
  kIoOsBase = 1000,       // any other OS error: kIoOsBase + errno
};

class IoError : public std::runtime_error {
 public:
  IoError(int code, const std::string& message, std::string path = {})
      : std::runtime_error(message), code_(code), path_(std::move(path)) {}
  int code() const { return code_; }
  // The file or directory the failure concerns; empty when unknown. Not part
  // of the message.
  const std::string& path() const { return path_; }

 private:
  int code_;
  std::string path_;
};

// Throws the IoError that belongs to an errno value. `path` helps to tell
// "File not found" from "Path not found" and is kept in the error.
[[noreturn]] void ThrowOsError(int err, const std::string& path = {});
