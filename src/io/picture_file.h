// picture_file.h - what reading a picture file gives: the picture and its stored resolution,
// or a one-line reason.
#pragma once

#include <optional>
#include <string>

#include "pixel/picture.h"

namespace holescan {

// Pixels per inch, as the file stores them (not rounded: 2835 pixels per metre is 72.009).
struct Resolution {
  double x = 0;
  double y = 0;
  friend bool operator==(const Resolution&, const Resolution&) = default;
};

// The outcome of reading a picture file: the picture, or a one-line reason.
struct PictureFile {
  bool loaded = false;
  Picture picture;
  std::string reason;  // e.g. "no such file", "not a picture", "too large: 40000 x 20 pixels"
  // Absent when the file stores none, only an aspect ratio, or a malformed one.
  std::optional<Resolution> resolution = std::nullopt;
};

}  // namespace holescan
