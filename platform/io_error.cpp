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

UiText ErrnoCause(int err) {
  switch (err) {
    case EROFS:
      return Tr("errno", "読み取り専用のファイルシステムです");
    case EACCES:
    case EPERM:
      return Tr("errno", "アクセス権がありません");
    case ENOSPC:
    case EDQUOT:
      return Tr("errno", "ディスクに空きがありません");
    case ENOENT:
      return Tr("errno", "そのようなファイルやフォルダはありません");
    case ENOTDIR:
      return Tr("errno", "フォルダではありません");
    case EEXIST:
      return Tr("errno", "同じ名前のファイルがあります");
    default:
      // No catalog holds it: shown as the system says it.
      return UiText("errno", std::strerror(err));
  }
}
