// The file layer: a thin, buffered layer over POSIX file descriptors.
//
// Every failing operation throws IoError, which carries a code and the
// classic run-time message ("File not found", "Disk full", ...). Reads go
// through one large internal buffer so that 512-byte block reads, four-byte
// header reads and single-byte reads cost no system call each; seeks inside
// the buffered range keep the buffer. Writes are collected in a buffer too
// and reach the disk at flush() or close().
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

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

// A name an output is to be written under, as it stands before the output:
// taken with one look at the name, and one more through a link, and shared
// by the checks before the output and its creation.
struct OutputTarget {
  static OutputTarget Look(const std::string& path);

  std::string path;
  bool exists = false;  // the name is taken (by a file, a link, anything)
  bool link = false;    // by a symbolic link
  // The failure of the look, other than finding no entry; for a link, that
  // of looking through it (ENOENT: a dangling link). 0 when it worked.
  int err = 0;
  // The file the name leads to, when it exists and err is 0.
  uint32_t mode = 0;
  uint64_t device = 0, inode = 0;
};

// What an output does to a file that holds its name when it is committed:
// replace it, or keep it and fail (kIoOutputExists), however late the name
// was taken.
enum class OutputMode { Replace, Keep };

class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens an existing regular file for reading. A directory or a special
  // file that cannot be read as a stream of bytes is refused.
  static File OpenRead(const std::string& path);
  // Creates a file for writing, replacing any file of that name.
  static File Create(const std::string& path);
  // Creates an output that appears under `path` only once commit() has
  // succeeded. For a name not taken yet, the bytes go to a file without a
  // name in the same directory (O_TMPFILE), which commit() links in under
  // `path`: nothing is left behind however the program ends. Otherwise, and
  // where the filesystem has no such files, they go to a hidden temporary
  // file in the same directory (".NAME.part-XXXXXX", NAME cut short where
  // the whole would not fit in a directory entry), which commit() renames
  // over `path`; discard(), or destroying the file before commit(), removes
  // it. An existing `path` keeps its contents until then. A symbolic link at
  // `path` is replaced by the output like a file: what it points to is never
  // written. A `path` that exists but is not a regular file or a link (a
  // FIFO, socket, device or directory) is refused without blocking. Where no
  // temporary file can be made because the directory cannot be written but
  // an existing file at `path` can (a writable file in a read-only
  // directory), `path` is written directly. With OutputMode::Keep a name
  // that is taken, when the output is created or when it is committed, is
  // never replaced: kIoOutputExists, and the file under it stays as it was.
  static File CreateOutput(const std::string& path, OutputMode mode = OutputMode::Replace);
  // The same for a name looked at before (OutputTarget::Look()).
  static File CreateOutput(const OutputTarget& target, OutputMode mode = OutputMode::Replace);

  bool isOpen() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

  int64_t size();  // the current size, asked of the system
  int64_t position() const { return pos_; }
  void seek(int64_t pos);                    // also beyond the end; negative is refused
  int64_t read(void* dst, int64_t count);    // the count read; 0 at the end
  void readExact(void* dst, int64_t count);  // "Read beyond end of file" if short
  // Reads up to `count` bytes at `pos` straight into `dst`, past the read
  // buffer, for large sequential reads; the position does not move. Returns
  // the count read: fewer only at the end of the file.
  int64_t readAt(int64_t pos, void* dst, int64_t count);
  // Serves reads of the bytes [start, start + length) from `data`, which the
  // caller holds (bytes it read with readAt), until lent again; a null
  // `data` ends it.
  void lend(const void* data, int64_t start, int64_t length);
  // Copies up to `count` bytes from the position to the end of `out` (an
  // open output): inside the kernel where the system can, in large steps,
  // otherwise through the buffers. The position moves past what was copied;
  // fewer bytes than `count` only at the end of the file. For a fault plan,
  // each block of up to 64 KiB is one read of this file and one write of
  // `out`, as a copy through the buffers would be.
  int64_t copyTo(File& out, int64_t count);
  bool eof();                                  // the position is at or past the end
  void write(const void* src, int64_t count);  // "Disk full" if not taken whole
  void flush();                                // writes what the write buffer holds
  void close();                                // flushes, then closes; throws on failure
  void closeQuietly() noexcept;                // closes, ignoring any failure
  // An output of CreateOutput(): closes it and puts it under its name; on a
  // failure the temporary file is removed and the name keeps what it held.
  void commit();
  // Gives up an output of CreateOutput() (its temporary file is removed);
  // for any other file the same as closeQuietly().
  void discard() noexcept;

  // True when `path` names the same file (device and inode) as this one.
  bool isSameFileAs(const std::string& path) const;
  bool isSameFileAs(const OutputTarget& target) const;

  // Files open right now in this process through this layer.
  static int OpenCount();

 private:
  File(int fd, std::string path, bool writing);
  void fillAt(int64_t pos);
  void commitUnnamed();

  int fd_ = -1;
  bool writing_ = false;
  std::string path_;
  std::string tempPath_;                   // an uncommitted output's temporary file
  bool unnamed_ = false;                   // an uncommitted output without a name (O_TMPFILE)
  OutputMode mode_ = OutputMode::Replace;  // of an uncommitted output
  // The identity of a file opened for reading, taken at the open.
  bool identityKnown_ = false;
  uint64_t device_ = 0, inode_ = 0;
  int64_t pos_ = 0;
  int64_t knownSize_ = 0;  // size seen at open or at the last short read
  std::vector<unsigned char> buf_;
  int64_t bufStart_ = 0;                 // file offset of buf_[0] (reading)
  int64_t bufLen_ = 0;                   // bytes valid in buf_ (reading) or pending (writing)
  bool bufferedCopies_ = false;          // the kernel refused to copy from this file
  const unsigned char* lent_ = nullptr;  // see lend()
  int64_t fillSize_ = 0;                 // the size of the next fill; 0: the buffer's
  int64_t lentStart_ = 0, lentLen_ = 0;
};

bool FileExists(const std::string& path);  // a directory is not a file
bool DirectoryExists(const std::string& path);
void CreateDir(const std::string& path);  // one level; throws IoError
std::string GetCurrentDir();              // without a trailing '/'
// The largest text file (a readme, a tag INI file) that is read at all.
constexpr int64_t kMaxTextFileSize = 16 * 1024 * 1024;
// Opens a text file for reading; a larger one than kMaxTextFileSize is
// refused as "File too large" before anything of it is read.
File OpenTextFile(const std::string& path);
// Reads a whole text file as lines (without their line ends); throws IoError.
// `onLine` is called for each line as it is read.
void ReadTextLines(const std::string& path, const std::function<void(const std::string&)>& onLine);
int CurrentLocalYear();

// Removes the temporary file of the output being written, if any. Safe to
// call from a signal handler: a program that ends on a signal calls it first.
void RemovePendingOutput() noexcept;
// For a program's main(): a file-size limit makes a write fail ("File too
// large") instead of ending the program, and SIGINT, SIGTERM and SIGHUP
// remove the temporary file of the output being written before they end it.
void PrepareOutputSignals();

// The identities (device and inode) of a set of files, taken once; files
// that do not exist when it is made are not in it.
class FileIdentities {
 public:
  FileIdentities() = default;
  explicit FileIdentities(const std::vector<std::string>& paths);
  // True when `path` names (through any name or link) one of the files.
  bool contains(const std::string& path) const;
  bool contains(const OutputTarget& target) const;
  bool empty() const { return ids_.empty(); }

 private:
  std::vector<std::pair<uint64_t, uint64_t>> ids_;
};
