// A file the engine reads: an input to carve from, a text file.
//
// Each read is one read of the file (its callers read in blocks; a scan
// pass reads its input through carve/engine/input_view.h). Every failing operation
// throws IoError. A file makes its system calls through the Env it was
// opened with.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/descriptor.h"
#include "platform/io_error.h"
#include "platform/output_target.h"

class ImageSource;
class OutputFile;

class InputFile {
 public:
  InputFile();
  ~InputFile();
  InputFile(InputFile&&) noexcept;
  InputFile& operator=(InputFile&&) noexcept;

  // Opens an existing regular file for reading. A directory or a special
  // file that cannot be read as a stream of bytes is refused. A regular file
  // whose size reads 0 but that gives bytes (/proc, FUSE) is read at the
  // open, up to 1 GiB ("File size unknown" past that), into a temporary
  // file that stands in for it.
  static InputFile OpenRead(const std::string& path, Env& env = Env::System());

  // `first`, opened by OpenRead(), read as the image `image` whose first
  // segment it is: reads, sizes and copies go through the image, at its
  // offsets; the file keeps the name and identity of its first segment.
  static InputFile OverImage(InputFile first, std::unique_ptr<ImageSource> image);

  bool isOpen() const { return fd_.isOpen(); }
  const std::string& path() const { return path_; }
  // The files its bytes are read from: its own name, or an image's segments.
  std::vector<std::string> segments() const;

  int64_t size();  // the current size, asked of the system
  int64_t position() const { return pos_; }
  void seek(int64_t pos);                    // also beyond the end; negative is refused
  int64_t read(void* dst, int64_t count);    // the count read; 0 at the end
  void readExact(void* dst, int64_t count);  // "Read beyond end of file" if short
  // Reads up to `count` bytes at `pos` into `dst`; the position does not
  // move. Returns the count read: fewer only at the end of the file.
  int64_t readAt(int64_t pos, void* dst, int64_t count);
  // Copies up to `count` bytes from the position to the end of `out`: inside
  // the kernel where the system can, in large steps, otherwise (and always
  // for an output with a WriteTap) in blocks through memory. Each step or block is one read of this
  // file and one write of `out` for the Env. The position moves past what was copied; fewer bytes
  // than `count` only at the end of the file. `between`, when given, is called after every
  // kCopyCheck bytes or fewer of a long copy (a program's pump, which may stop the copy by
  // throwing).
  int64_t copyTo(OutputFile& out, int64_t count, const std::function<void()>& between = {});
  static constexpr int64_t kCopyCheck = 4 * 1024 * 1024;
  bool eof();                    // the position is at or past the end
  void close();                  // throws on failure
  void closeQuietly() noexcept;  // ignores any failure

  // True when `path` names the same file (device and inode) as this one, or
  // one of the segments of its image.
  bool isSameFileAs(const std::string& path) const;
  bool isSameFileAs(const OutputTarget& target) const;

 private:
  InputFile(Descriptor fd, std::string path);
  Env& env() const { return fd_.env(); }
  // Reads as readAt() does, without a file operation of its own.
  int64_t readFully(int64_t pos, void* dst, int64_t count);
  // One step of a copy inside the kernel; see the definition.
  int64_t kernelCopyStep(OutputFile& out, int64_t count);

  Descriptor fd_;
  std::string path_;
  // The identity of the file, taken at the open.
  uint64_t device_ = 0, inode_ = 0;
  int64_t pos_ = 0;
  int64_t knownSize_ = 0;               // size seen at open or at the last short read
  bool bufferedCopies_ = false;         // the kernel refused to copy from this file
  std::unique_ptr<ImageSource> image_;  // null: the file's own bytes
};
