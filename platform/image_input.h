// Where the run opens an input: as the file it is, or, when images are
// read (--images), as the image whose first segment it is, an EWF image
// (platform/ewf_image.h) or a split raw set (platform/image_segments.h).
#pragma once

#include <string>

#include "platform/env.h"
#include "platform/input_file.h"

// Opens `path` to carve from. With `images`, the first segment file of an
// EWF image, or of a split raw set of two segments or more, is read as the
// whole image; any other file, a later segment among them, as it is.
InputFile OpenInput(const std::string& path, bool images, Env& env = Env::System());

// With images read: the first segment of the image `path` is a later
// segment file of, which reads it with the others; empty when it is none.
std::string ImageFirstSegmentOf(const std::string& path, Env& env = Env::System());
