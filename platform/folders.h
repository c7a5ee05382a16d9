// Files and folders by name: whether they exist, making folders, the
// working folder, and the identities of a set of files. Each looks, makes
// and lists through the Env it is given (platform/env.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/env.h"
#include "platform/name_list.h"
#include "platform/output_target.h"

bool FileExists(const std::string& path, Env& env = Env::System());  // a directory is not a file
// A regular file (links followed): one that can be opened and read again
// without taking its bytes from anyone (a FIFO's are gone once read).
bool RegularFileExists(const std::string& path, Env& env = Env::System());
bool DirectoryExists(const std::string& path, Env& env = Env::System());
// Makes one level of folder; a folder already there (made by another program
// meanwhile, say) is no failure, anything else there is. Throws IoError.
void CreateDir(const std::string& path, Env& env = Env::System());
std::string GetCurrentDir(Env& env = Env::System());  // without a trailing '/'

class IoError;
class FileIdentities;

// The regular files below `folder`, depth-first, the entries of every folder
// taken in the bytewise order of their names ("a/b" before "a.x" when "a" is
// a folder). Symbolic links are not followed, to files or folders, and what
// is neither a regular file nor a folder is left out, and so is a folder
// below `folder` that is one of `leftOut` (when given), with all it holds.
// A folder that cannot be read is told to `unreadable` and passed over.
std::vector<std::string> FilesBelow(const std::string& folder,
                                    const std::function<void(const IoError&)>& unreadable,
                                    const FileIdentities* leftOut = nullptr,
                                    Env& env = Env::System());

// True for a FIFO (a pipe, "<(…)") or a character device: a file read as a
// stream, whose size is not known before.
bool IsPipeOrDevice(const std::string& path, Env& env = Env::System());

// The device and inode of the file `path` leads to (links followed); false
// when it names nothing.
bool FileIdentity(const std::string& path, std::pair<uint64_t, uint64_t>& id,
                  Env& env = Env::System(), int64_t* size = nullptr);

// The identities (device and inode) of a set of files, taken once; files
// that do not exist when it is made are not in it. Names are looked at
// through the Env it is made with.
class FileIdentities {
 public:
  FileIdentities() = default;
  explicit FileIdentities(const NameList& paths, Env& env = Env::System());
  // True when `path` names (through any name or link) one of the files.
  bool contains(const std::string& path) const;
  bool contains(const OutputTarget& target) const;
  // True for the device and inode of one of the files.
  bool contains(std::pair<uint64_t, uint64_t> id) const;
  bool empty() const { return ids_.empty(); }
  // The size of the file the `index`th path named when the set was made
  // (0 for one that named nothing), and of them all.
  int64_t sizeOf(size_t index) const { return index < sizes_.size() ? sizes_[index] : 0; }
  int64_t totalSize() const { return totalSize_; }

 private:
  std::vector<std::pair<uint64_t, uint64_t>> ids_;
  std::vector<int64_t> sizes_;
  int64_t totalSize_ = 0;
  Env* env_ = &Env::System();
};
