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
#include <optional>
#include <string>
#include <string_view>
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

// The looks of real targets that the scans above do not have, one picture look each, for
// measuring (not for training): MakeLookScan draws a target of the chosen look at any
// resolution with its truth. Distractors at hole size (letters, digits, logos, dots, ring
// numbers) sit among plain dark holes; hole looks (ragged, star, flap, tape, tinted,
// dark-on-dark, edge-*, cluster, paster, outlined) give some of the holes that look and the
// rest a plain one; ring-bands puts holes on dark bands; photo photographs a printed target
// (uneven light, vignetting, a shadow, blur, perspective up to 25 degrees, JPEG at quality
// 60 to 95); mixed takes a random hole look for every hole, two to four kinds of distractors,
// and photographs half of its pictures.
enum class PictureLook {
  Letters,
  Digits,
  Logos,
  Dots,
  RingNumbers,
  RingBands,
  Photo,
  Ragged,
  Star,
  Flap,
  Tape,
  Tinted,
  DarkOnDark,
  EdgeWhite,
  EdgeGrey,
  EdgeBlack,
  Cluster,
  Paster,
  Outlined,
  Mixed
};
inline constexpr PictureLook kPictureLooks[] = {
    PictureLook::Letters,     PictureLook::Digits,    PictureLook::Logos,    PictureLook::Dots,
    PictureLook::RingNumbers, PictureLook::RingBands, PictureLook::Photo,    PictureLook::Ragged,
    PictureLook::Star,        PictureLook::Flap,      PictureLook::Tape,     PictureLook::Tinted,
    PictureLook::DarkOnDark,  PictureLook::EdgeWhite, PictureLook::EdgeGrey, PictureLook::EdgeBlack,
    PictureLook::Cluster,     PictureLook::Paster,    PictureLook::Outlined, PictureLook::Mixed};
// "letters", "digits", "logos", "dots", "ring-numbers", "ring-bands", "photo", "ragged",
// "star", "flap", "tape", "tinted", "dark-on-dark", "edge-white", "edge-grey", "edge-black",
// "cluster", "paster", "outlined", "mixed".
const char* PictureLookName(PictureLook look);
std::optional<PictureLook> ParsePictureLook(std::string_view name);

struct LookOptions {
  std::uint32_t seed = 1;
  double dpi = 150;
  double calibreMm = 4.5;
  double widthMm = 90;
  double heightMm = 90;
  PictureLook look = PictureLook::Mixed;
  int holes = 10;  // shots, a cluster's shots included
};

// A shot of a look scan: its true centre (the centre of the disc it was punched from) and how
// it looks: "dark" (a plain dark hole), "grey", or the name of its hole look.
struct MarkedHole {
  double x = 0, y = 0;
  double r = 0;  // half the calibre, pixels
  std::string look;
};

// Something printed or stuck on the paper that a detector may take for a hole.
struct NonHole {
  double x = 0, y = 0;
  std::string kind;  // "letter", "digit", "logo", "dot", "ring-number", "paster", "outline"
};

struct LookScan {
  Picture picture;
  double holeDiameterPx = 0;
  std::vector<MarkedHole> holes;
  std::vector<NonHole> nonHoles;
};

// Throws std::invalid_argument for options out of range (as MakeScan, and at least one hole)
// and std::runtime_error when the holes cannot be placed apart.
LookScan MakeLookScan(const LookOptions& options);

// Every hole of a classic scan as a marked hole (looks by LookName).
std::vector<MarkedHole> MarkedHoles(const Scan& scan, double holeDiameterPx);

// The truth file of a scan (the format holescan-eval reads): name, image, look,
// hole_diameter_px, holes with x, y, r, uncertain and look, non_holes with x, y and kind.
std::string TruthJson(const std::string& name, const std::string& image, const std::string& look,
                      double holeDiameterPx, const std::vector<MarkedHole>& holes,
                      const std::vector<NonHole>& nonHoles);

}  // namespace holescan::scangen
