#include "platform/io_error.h"

#include <cerrno>
#include <cstring>

#include "platform/folders.h"

namespace {

std::string ParentOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

void ThrowOsError(int err, const std::string& path) {
  switch (err) {
    case ENOENT:
      // The failure is told apart as the operating system sees the folder:
      // describing a failure is never an operation that may fail in turn.
      if (!path.empty() && !DirectoryExists(ParentOf(path), Env::System()))
        throw IoError(kIoPathNotFound, "Path not found", path);
      throw IoError(kIoFileNotFound, "File not found", path);
    case ENOTDIR:
      throw IoError(kIoPathNotFound, "Path not found", path);
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
      throw IoError(kIoAccessDenied, "File access denied", path);
    case EMFILE:
    case ENFILE:
      throw IoError(kIoTooManyOpenFiles, "Too many open files", path);
    case ENOSPC:
    case EDQUOT:
      throw IoError(kIoDiskFull, "Disk full", path);
    case EINVAL:
      throw IoError(kIoInvalidArgument, "Invalid argument", path);
    default:
      throw IoError(kIoOsBase + err, std::strerror(err), path);
  }
}

std::string ShownMessage(const std::exception& e) {
  const auto* io = dynamic_cast<const IoError*>(&e);
  return io != nullptr ? io->shown() : std::string(e.what());
}
