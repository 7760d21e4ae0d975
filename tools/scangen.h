// scangen.h - realistic synthetic scans of shot targets at any resolution, with the true
// shot centres, for the calibrated analysis.
//
// MakeScan draws, all measured in millimetres and the calibre so that one seed looks alike at
// 75 and at 600 pixels per inch: paper of a random tint under a lighting ramp of 30 grey
// levels; scoring rings and straight lines in black or blue ink thinner than a third of a
// calibre; a black aiming mark with thin white rings; printed digits and letters; dark
// specks smaller than a quarter of a hole; a dark scan border with its shadow along one
// edge; and shot holes, isolated or in touching and overlapping pairs and triples whose
// centres are 0.5 to 1.1 calibres apart. Holes on the paper are near-black, dark grey
// (R+G+B 60-120 with noise), or torn grey paper with light fibres and a lighter rim; holes
// inside the aiming mark show a white backing. Last comes JPEG-like noise: a level per 8x8
// block and per pixel.
//
// Coordinates are those of the analysis: pixel (i, j) is centred on the point (i, j). A
// hole's true centre is the centre of the disc it was punched from; torn edges wander
// around that circle without moving its centre.
//
// Deterministic from ScanOptions::seed (splitmix64; no std:: distributions).
#pragma once

#include <cstdint>
#include <vector>

#include "pixel/picture.h"

namespace holescan::scangen {

enum class Look { Black, DarkGrey, Torn, Light };
inline constexpr Look kLooks[] = {Look::Black, Look::DarkGrey, Look::Torn, Look::Light};
const char* LookName(Look look);

struct TrueShot {
  double x = 0, y = 0;  // pixels
  Look look = Look::Black;
  int group = 0;  // shots of one pair or triple share a group number; isolated ones have their own
};

struct ScanOptions {
  std::uint32_t seed = 1;
  double dpi = 150;
  double calibreMm = 4.5;
  double widthMm = 80;
  double heightMm = 80;
  int singles = 6;  // isolated holes, looks taken in turn from `looks`
  int pairs = 2;
  int triples = 1;
  std::vector<Look> looks{Look::Black, Look::DarkGrey, Look::Torn, Look::Light};
  bool print = true;       // rings, lines, digits and letters
  bool aimingMark = true;  // required for Look::Light holes
  bool border = true;
  int specks = 12;
};

struct Scan {
  Picture picture;
  std::vector<TrueShot> shots;
};

// Throws std::invalid_argument for options out of range (a picture side outside 32 ..
// kMaxPictureSide pixels, a hole under 6 pixels across, negative counts, light holes without
// the aiming mark) and std::runtime_error when the holes cannot all be placed apart.
Scan MakeScan(const ScanOptions& options);

}  // namespace holescan::scangen
