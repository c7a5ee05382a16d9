// The bytes of an input that lie in more than one file, or not as they are
// in its file: a split raw set read as one image, an EWF image read through
// libewf. An InputFile over one (InputFile::OverImage) reads, sizes and
// copies through it; offsets are the image's.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class OutputFile;
struct OutputTarget;

class ImageSource {
 public:
  virtual ~ImageSource() = default;
  // The size of the image (the media's, for EWF).
  virtual int64_t size() = 0;
  // Reads up to `count` bytes at `pos`: fewer only at the end of the image.
  // Throws IoError.
  virtual int64_t readAt(int64_t pos, void* dst, int64_t count) = 0;
  // Copies up to `count` bytes at `pos` to the end of `out`; the count
  // copied, fewer only at the end. `between` as InputFile::copyTo() has it.
  virtual int64_t copyTo(OutputFile& out, int64_t pos, int64_t count,
                         const std::function<void()>& between) = 0;
  // The files the image is read from, the first segment first.
  virtual const std::vector<std::string>& segments() const = 0;
  // True when `path` (or `target`) names one of the segment files.
  virtual bool holds(const std::string& path) const = 0;
  virtual bool holds(const OutputTarget& target) const = 0;
};
