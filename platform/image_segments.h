// Split raw images: the segments of one image in files of their own, named
// as imaging tools and split(1) name them, a number of three digits or
// more after the last dot (img.001, img.002... or img.000, img.001...) or
// two letters at the end (img.aa, img.ab... or xaa, xab...). Read from its
// first segment, a set is one image (SegmentSet): the segments one after
// the other.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/image_source.h"
#include "platform/input_file.h"

// The name of the segment after `name`, or empty when `name` has no
// segment number (or its last one: img.999, img.zz).
std::string NextSegmentName(const std::string& name);

// The segments of the set whose first segment `first` is, that exist, in
// order: `first` alone when it is no first segment (img.002, img.ab, a
// name without a segment number, img.001 beside an img.000) or has no
// second.
std::vector<std::string> SegmentNames(const std::string& first, Env& env = Env::System());

// The first segment of the set `name` is a later segment of (img.001 for
// img.003); empty when it is none (a first segment, no segment name, or a
// set whose segments do not reach it).
std::string FirstSegmentOf(const std::string& name, Env& env = Env::System());

// The segments of a split raw set read as one image; each segment file is
// opened through the Env, and copies go inside the kernel one segment's
// piece at a time.
class SegmentSet : public ImageSource {
 public:
  // Opens every one of `names`; throws the IoError of the first that fails.
  SegmentSet(const std::vector<std::string>& names, Env& env);

  int64_t size() override;
  int64_t readAt(int64_t pos, void* dst, int64_t count) override;
  int64_t copyTo(OutputFile& out, int64_t pos, int64_t count,
                 const std::function<void()>& between) override;
  const std::vector<std::string>& segments() const override { return names_; }
  bool holds(const std::string& path) const override;
  bool holds(const OutputTarget& target) const override;

 private:
  // The segment that holds image offset `pos` (the last one past the end).
  size_t partAt(int64_t pos) const;
  // The bytes of segment `i` from its offset `at` on that belong to the
  // image: up to the next segment's start (the last one: all it holds).
  int64_t room(size_t i, int64_t at) const;

  std::vector<std::string> names_;
  std::vector<InputFile> parts_;
  std::vector<int64_t> starts_;  // the image offset of each segment, as the set was opened
};
