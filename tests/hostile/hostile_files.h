// hostile_files.h - malformed picture files and awkward paths, written by our own code.
//
// WriteHostileFiles fills an empty folder with pictures that lie about themselves: empty and
// foreign files, BMP headers with every field wrong in turn, run-length streams that run off
// their rows and off the picture, palette indices past the palette, PNG, JPEG, GIF, TIFF,
// WebP and PNM files cut at many offsets, decompression bombs, a PNG named .bmp, and paths
// that are not pictures at all (a folder, a FIFO, /dev/zero, a name that is not UTF-8, a
// file nobody may read). Valid originals come from our own byte writers or from Qt's
// QImageWriter.
//
// Every case says what the loader must answer: the picture, pixel for pixel where the file
// is whole, or a refusal with its exact one-line reason. The set is the same on every run:
// no clock, no randomness beyond a fixed seed.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "pixel/picture.h"

namespace holescan::hostile {

enum class Expect {
  Loads,    // a picture of `width` x `height`, equal to `picture` when it is given
  Refused,  // refused with exactly `reason`
};

struct HostileCase {
  std::string name;  // the path handed to the program, relative to the folder unless absolute
  std::string what;  // what is wrong with it, for failure messages
  Expect expect = Expect::Refused;
  std::string reason;
  int width = 0;
  int height = 0;
  std::optional<Picture> picture;
  // Declares a picture of many megapixels within the limits: "out of memory" is a right
  // answer too when the memory budget is smaller, and the case is too slow for a memory
  // checker.
  bool large = false;
  // Environment variables to set ("NAME=value") for this case only.
  std::vector<std::string> environment;
  // The file exists but its owner has taken away every permission; a reader running as
  // root must drop to an unprivileged user to see the refusal.
  bool unreadable = false;
};

// The base picture of most cases: 37 x 23 light paper with one black disc of radius 6 at
// (18, 11), which "Draw" finds as one shot hole.
Picture BasePicture();

// Writes every case into `folder` (which must exist and be empty) and returns them, at least
// 60. Files named in a case that is a path rather than a file (a folder, a FIFO) are created
// too. Throws std::runtime_error when a file cannot be written.
std::vector<HostileCase> WriteHostileFiles(const std::filesystem::path& folder);

// Writes an all-black 16-bit RGB PNG of `side` x `side` pixels to `path`, as small as deflate
// makes it (870 KB for 12000 x 12000). Kept out of the set: writing it takes seconds.
// Throws std::runtime_error when it cannot.
void WriteSixteenBitPng(const std::filesystem::path& path, int side);

}  // namespace holescan::hostile
