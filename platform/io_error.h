// The failures of the file layer: every failing operation throws IoError,
// which carries a code and the classic run-time message ("File not found",
// "Disk full", ...). A failure made from a UiText keeps both its forms: what()
// in the source language (the reports, the JSON Lines), shown() in the
// reader's (the log, the boxes, the command line's lines).
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

#include "platform/translate.h"

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
  kIoCancelled = 106,     // the run was cancelled while a stream was being copied
  kIoOsBase = 1000,       // any other OS error: kIoOsBase + errno
};

class IoError : public std::runtime_error {
 public:
  IoError(int code, const std::string& message, std::string path = {})
      : std::runtime_error(message), code_(code), path_(std::move(path)), shown_(message) {}
  IoError(int code, const UiText& text, std::string path = {})
      : std::runtime_error(text.source()),
        code_(code),
        path_(std::move(path)),
        shown_(text.shown()) {}
  int code() const { return code_; }
  // The message as the reader is shown it.
  const std::string& shown() const { return shown_; }
  // The file or directory the failure concerns; empty when unknown. Not part
  // of the message.
  const std::string& path() const { return path_; }

 private:
  int code_;
  std::string path_;
  std::string shown_;
};

// What a failure shows the reader: an IoError's shown(), any other's what().
std::string ShownMessage(const std::exception& e);

// Throws the IoError that belongs to an errno value. `path` helps to tell
// "File not found" from "Path not found" and is kept in the error.
[[noreturn]] void ThrowOsError(int err, const std::string& path = {});

// The cause an errno value names, in the reader's language: the common ones
// of files and folders (EROFS, EACCES, EPERM, ENOSPC, ENOENT, ENOTDIR,
// EEXIST) through the catalog, any other as strerror() says it.
UiText ErrnoCause(int err);
