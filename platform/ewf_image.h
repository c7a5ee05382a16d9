// EWF images (EnCase's .E01, .E02..., and logical .L01...) read through
// libewf as one image: its media's bytes at the media's offsets, whichever
// segment file holds them, compressed or not.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/folders.h"
#include "platform/image_source.h"

// True when `head`, the first bytes of a file (16 or more), is the start of
// the first segment file of an EWF image.
bool IsEwfFirstSegment(std::span<const unsigned char> head);

class EwfImage : public ImageSource {
 public:
  // Opens the image whose first segment file is `first`, with the segment
  // files libewf finds beside it; throws IoError (with libewf's reason)
  // when it cannot.
  EwfImage(const std::string& first, Env& env);
  ~EwfImage() override;
  EwfImage(const EwfImage&) = delete;
  EwfImage& operator=(const EwfImage&) = delete;

  int64_t size() override { return size_; }
  int64_t readAt(int64_t pos, void* dst, int64_t count) override;
  // Through memory: the media's bytes are not the files'.
  int64_t copyTo(OutputFile& out, int64_t pos, int64_t count,
                 const std::function<void()>& between) override;
  const std::vector<std::string>& segments() const override { return names_; }
  bool holds(const std::string& path) const override { return files_.contains(path); }
  bool holds(const OutputTarget& target) const override { return files_.contains(target); }

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
  std::vector<std::string> names_;
  FileIdentities files_;
  int64_t size_ = 0;
  Env* env_;
};
