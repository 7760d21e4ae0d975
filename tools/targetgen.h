// targetgen.h - synthetic scans of shot paper targets, with the true hole centres.
//
// MakeTarget draws what a flatbed scan of an air-gun target looks like to the analysis:
// off-white paper with a little noise, scoring rings and printed figures in mid-tone ink,
// round near-black shot holes, a few dark specks of dust, and optionally one large black
// region (a printed bull) that the analysis must reject. Only the holes, the specks and
// the large region are dark (red + green + blue <= 55); paper and ink never are, whatever
// the seed, so every shot hole the analysis reports must match a true hole.
//
// Coordinates are those the analysis reports centres in: pixel (x, y) is centred on the
// point (x, y). A hole of radius r is near-black on every pixel whose centre lies within r
// of the hole's centre (about pi * r^2 dark pixels) and fades to what lies beneath over the
// next pixel outward, like the blur of a scanner.
//
// Everything is deterministic from TargetOptions::seed: the generator uses its own
// splitmix64 stream and only IEEE-exact arithmetic (+, -, *, /, sqrt), so a seed gives the
// same picture with any compiler or standard library.
//
// MakeComb and MakeDisc draw the worst cases of the labelling for benchmarks; WriteBmp and
// ReadBmp move pictures to and from plain 24-bit BMP files without any toolkit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bmp_file.h"
#include "pixel/picture.h"

namespace holescan::targetgen {

struct TrueHole {
  double x, y, radius;
  bool overlapping;  // one of a pair of touching or overlapping holes
};

struct TargetOptions {
  int width = 600;
  int height = 800;
  std::uint32_t seed = 1;
  int holes = 10;            // isolated holes
  int overlappingPairs = 1;  // pairs of holes 9..13 px apart, centre to centre
  int specks = 30;           // dark specks of 1..4 pixels
  bool rings = true;
  bool text = true;
  bool largeDarkRegion = false;  // a black bull of more than 40000 pixels at the centre
  double minRadius = 5;
  double maxRadius = 8;
};

struct Target {
  Picture picture;
  std::vector<TrueHole> holes;  // isolated holes first, then the pairs, two by two
};

// Every hole, and every pair as a whole, keeps at least kHoleClearance pixels between its
// edge and any other hole, speck, printed figure or the large region: the analysis sees each
// one alone on paper or rings.
inline constexpr double kHoleClearance = 25;
// Radius of the large dark region: 115 px gives about 41500 pixels.
inline constexpr double kLargeRegionRadius = 115;

// Throws std::invalid_argument for options out of range (sizes outside 64..kMaxPictureSide,
// negative counts, radii outside 1..20 or min > max, a large region that does not fit) and
// std::runtime_error when the marks cannot all be placed with their clearances.
Target MakeTarget(const TargetOptions& options);

// `stripes` one-pixel black columns, one white column apart, `height` rows tall, standing on
// a two-row black bar: one hole whose labelling merges every column into the next.
// Picture size (2 * stripes + 1) x (height + 4), with a one-pixel white margin.
Picture MakeComb(int stripes, int height);

// A black filled disc of the given diameter on white, with a two-pixel white margin:
// (diameter + 4) pixels square. The labelling sees one hole of about pi * d^2 / 4 pixels.
Picture MakeDisc(int diameter);

// The generators' BMP files (bmp_file.h).
using tools::ReadBmp;
using tools::WriteBmp;

}  // namespace holescan::targetgen
