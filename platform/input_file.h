// A file the engine reads: an input to carve from, a text file.
//
// Reads go through one large internal buffer so that 512-byte block reads,
// four-byte header reads and single-byte reads cost no system call each;
// seeks inside the buffered range keep the buffer. Every failing operation
// throws IoError.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/descriptor.h"
#include "platform/io_error.h"
#include "platform/output_target.h"

class OutputFile;

class InputFile {
 public:
  InputFile() = default;

  // Opens an existing regular file for reading. A directory or a special
  // file that cannot be read as a stream of bytes is refused.
  static InputFile OpenRead(const std::string& path);

  bool isOpen() const { return fd_.isOpen(); }
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
  // Copies up to `count` bytes from the position to the end of `out`: inside
  // the kernel where the system can, in large steps, otherwise through the
  // buffers in blocks. Each step or block is one read of this file and one
  // write of `out` for the Env. The position moves past what was copied;
  // fewer bytes than `count` only at the end of the file.
  int64_t copyTo(OutputFile& out, int64_t count);
  bool eof();                    // the position is at or past the end
  void close();                  // throws on failure
  void closeQuietly() noexcept;  // ignores any failure

  // True when `path` names the same file (device and inode) as this one.
  bool isSameFileAs(const std::string& path) const;
  bool isSameFileAs(const OutputTarget& target) const;

 private:
  InputFile(Descriptor fd, std::string path);
  void fillAt(int64_t pos);
  // One step of a copy inside the kernel; see the definition.
  int64_t kernelCopyStep(OutputFile& out, int64_t count);

  Descriptor fd_;
  std::string path_;
  // The identity of the file, taken at the open.
  uint64_t device_ = 0, inode_ = 0;
  int64_t pos_ = 0;
  int64_t knownSize_ = 0;  // size seen at open or at the last short read
  std::vector<unsigned char> buf_;
  int64_t bufStart_ = 0;                 // file offset of buf_[0]
  int64_t bufLen_ = 0;                   // bytes valid in buf_
  bool bufferedCopies_ = false;          // the kernel refused to copy from this file
  const unsigned char* lent_ = nullptr;  // see lend()
  int64_t fillSize_ = 0;                 // the size of the next fill; 0: the buffer's
  int64_t lentStart_ = 0, lentLen_ = 0;
};
