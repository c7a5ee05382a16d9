// A file the engine writes: an output that appears under its name whole or
// not at all, or a plain file.
//
// Writes are collected in a buffer and reach the disk at flush(), close() or
// commit(). Every failing operation throws IoError. A file makes its system
// calls through the Env it was created with.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/descriptor.h"
#include "platform/io_error.h"
#include "platform/output_target.h"

// What an output does to a file that holds its name when it is committed:
// replace it, or keep it and fail (kIoOutputExists), however late the name
// was taken.
enum class OutputMode { Replace, Keep };

// Sees every byte written to an output, in order, as it is written
// (output/digests.h hashes them). A file with a tap is never copied to
// inside the kernel: its copies go through memory, where the tap sees them.
class WriteTap {
 public:
  virtual ~WriteTap() = default;
  virtual void take(const void* bytes, int64_t count) = 0;
};

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates a file for writing, replacing any file of that name.
  static OutputFile Create(const std::string& path, Env& env = Env::System());
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
  // directory), `path` is written in place: its old content is first copied
  // to a file without a name in the temporary folder ($TMPDIR, else /tmp),
  // and put back on a failure, a discard() or a signal that ends the
  // program (a copy that cannot be made fails the output before anything
  // is written). With OutputMode::Keep a name
  // that is taken, when the output is created or when it is committed, is
  // never replaced: kIoOutputExists, and the file under it stays as it was.
  static OutputFile CreateOutput(const std::string& path, OutputMode mode = OutputMode::Replace,
                                 Env& env = Env::System());
  // The same for a name looked at before (OutputTarget::Look()).
  static OutputFile CreateOutput(const OutputTarget& target, OutputMode mode = OutputMode::Replace,
                                 Env& env = Env::System());

  bool isOpen() const { return fd_.isOpen(); }
  const std::string& path() const { return path_; }
  int64_t position() const { return pos_; }

  // The tap every later write goes through (null: none); the file does not
  // own it.
  void setTap(WriteTap* tap) { tap_ = tap; }
  bool tapped() const { return tap_ != nullptr; }

  void write(const void* src, int64_t count);  // "Disk full" if not taken whole
  void flush();                                // writes what the write buffer holds
  void close();                                // flushes, then closes; throws on failure
  void closeQuietly() noexcept;                // closes, ignoring any failure
  // Writes `count` bytes at `offset` of what was written already (a header
  // whose sizes are known at the end), after flushing; the position stays.
  void writeAt(int64_t offset, const void* src, int64_t count);
  // An output of CreateOutput(): closes it and puts it under its name; on a
  // failure the temporary file is removed and the name keeps what it held.
  // For any other file the same as close().
  void commit();
  // Gives up an output of CreateOutput() (its temporary file is removed);
  // for any other file the same as closeQuietly().
  void discard() noexcept;

 private:
  friend class InputFile;  // its copies write at the descriptor's offset

  OutputFile(Descriptor fd, std::string path, OutputMode mode = OutputMode::Replace);
  static OutputFile CreateUnnamed(const std::string& dir, const std::string& path, OutputMode mode,
                                  Env& env);
  static OutputFile CreateInPlace(const std::string& path, Env& env);
  Env& env() const { return fd_.env(); }
  void commitNamed();
  void commitUnnamed();
  void commitInPlace();
  // Puts the old content of a file written in place back, and closes it.
  void restoreInPlace() noexcept;

  Descriptor fd_;
  std::string path_;
  std::string tempPath_;                   // an uncommitted output's temporary file
  bool unnamed_ = false;                   // an uncommitted output without a name (O_TMPFILE)
  OutputMode mode_ = OutputMode::Replace;  // of an uncommitted output
  Descriptor saved_;                       // the old content of a file written in place
  int64_t savedSize_ = 0;
  int64_t pos_ = 0;
  std::unique_ptr<unsigned char[]> buf_;  // made by the first write()
  int64_t bufLen_ = 0;                    // bytes waiting in buf_
  WriteTap* tap_ = nullptr;
};
