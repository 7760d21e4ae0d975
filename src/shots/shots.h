// shots.h - the calibrated analysis: every shot hole of a known calibre, at any resolution.
//
// The shooter knows two facts the exact analysis does not use: the calibre and the scan's
// resolution. Together they give the diameter of a hole in pixels, D, and everything below is
// measured in D, so nothing needs tuning between a 75-ppi phone snapshot and a 600-ppi scan.
//
// FindShots runs, in this order:
//   1. Grey at a working scale. The picture is reduced by an integer box factor so that a hole
//      is about 20 working pixels across (factor 1 when it is smaller already); every step up
//      to the last works on this small grey picture (R+G+B, 0..765).
//   2. The paper's local level: a median over a window of several calibres, taken on a
//      further-reduced copy and interpolated back, so a ramp of shading or a tinted paper
//      cancels while a hole (much smaller than the window) does not pull the level.
//   3. Contrast of every working pixel against that level, dark and light apart. The paper's
//      noise is measured from the picture's own contrast histogram (a robust spread of the
//      pixels near the level); the thresholds are a multiple of it, bounded below so clean
//      synthetic paper does not make every faint stain a hole.
//   4. Regions. Thin printing (rings, lines, the strokes of digits and letters, thinner than
//      about a third of D) is removed by a morphological opening with a disc of about half D;
//      what survives and is much larger than a hole in both directions (a printed bull, a
//      scan border or shadow) is not a hole. In a region, the distance transform and the
//      calibre's disc decide how many shots it holds: disc centres where the region can hold
//      most of a disc of D, with suppression within half a calibre, then k discs fitted to
//      the region when its area says there are k.
//   5. Light holes (a white backing seen through dark print) are searched for only inside
//      printed areas that are dark and wide enough to hold one; light paper is never a hole.
//   6. Every shot is re-centred at full resolution on the hole's own edge, and checked: its
//      contrast against the local paper, and how much of a disc of D around it is hole.
//
// Limits: holes must differ from the paper around them by several times the paper's noise;
// two shots closer than half a calibre are one shot; a hole torn much larger than the
// calibre counts as as many shots as its area holds; a hole cut by the picture's edge or the
// region's edge is found only if most of it lies inside; printed dark areas of about one
// calibre (a dot of a digit that size) cannot be told from a hole by their shape.
//
// Coordinates are those of the exact analysis: pixel (i, j)'s centre is the point (i, j).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pixel/picture.h"

namespace holescan::shots {

// How a hole shows against the paper around it. Auto: decided for every hole on its own.
enum class HoleLook { Auto, Dark, Light };

// The calibre in millimetres from "4.5mm", "5.6 mm", "9mm", "0.177in", ".22in", "4.5" (a bare
// number is millimetres); nullopt, with a one-line reason naming what is accepted in *reason
// (when not null), for anything else, including values outside kMinCalibreMm..kMaxCalibreMm.
std::optional<double> ParseCalibreMm(std::string_view text, std::string* reason = nullptr);
inline constexpr double kMinCalibreMm = 2;
inline constexpr double kMaxCalibreMm = 25;

// "auto", "dark" or "light" (any case); nullopt for anything else.
std::optional<HoleLook> ParseHoleLook(std::string_view text);
// "auto", "dark" or "light".
std::string_view HoleLookName(HoleLook look);

struct ShotSettings {
  double calibreMm = 4.5;
  double dpi = 0;  // pixels per inch; must be positive
  HoleLook look = HoleLook::Auto;
};

// The diameter of a hole of the settings' calibre in pixels (calibre * dpi / 25.4).
double HoleDiameterPx(const ShotSettings& settings);
// Settings outside what FindShots can analyse (calibre or dpi not positive, or a hole under
// kMinHoleDiameterPx or over kMaxHoleDiameterPx pixels across): a one-line reason; otherwise
// nullopt. FindShots and ShotAt throw std::invalid_argument with this reason.
std::optional<std::string> SettingsProblem(const ShotSettings& settings);
inline constexpr double kMinHoleDiameterPx = 6;
inline constexpr double kMaxHoleDiameterPx = 1000;

// Pixels, right and bottom exclusive; clipped to the picture.
struct Region {
  int left = 0, top = 0, right = 0, bottom = 0;
};

struct Shot {
  double x = 0, y = 0;             // centre in picture pixels
  double diameterPx = 0;           // the calibre's diameter at this resolution
  HoleLook look = HoleLook::Dark;  // Dark or Light: how this hole showed
  double contrast = 0;             // hole against the local paper level, grey levels (R+G+B)/3
};

// What the analysis picked from the picture, for reports. Grey levels are (R+G+B)/3, 0..255.
struct Levels {
  int scale = 1;               // working pixels are scale x scale picture pixels
  double workDiameterPx = 0;   // the hole's diameter in working pixels
  double paperLevel = 0;       // median local paper level over the region
  double paperNoise = 0;       // robust spread of the paper around its local level
  double darkThreshold = 0;    // contrast a pixel needs to count as part of a dark hole
  double lightThreshold = 0;   // contrast a pixel needs to count as part of a light hole
  double minShotContrast = 0;  // contrast a shot needs to be kept
};

struct ShotResult {
  std::vector<Shot> shots;  // top to bottom, then left to right
  Levels levels;
  HoleLook look = HoleLook::Auto;  // the settings' look
  bool cancelled = false;
};

// Progress 0..1, called from the analysing thread; return false to cancel.
using Progress = std::function<bool(double fraction)>;

// Every shot hole of the settings' calibre in the region (the whole picture when absent).
// A cancelled run returns cancelled = true and no shots. Throws std::invalid_argument for
// settings SettingsProblem refuses.
ShotResult FindShots(const PictureView& picture, const ShotSettings& settings,
                     std::optional<Region> region = std::nullopt, const Progress& progress = {});

// The shot whose hole lies under (x, y), re-centred on the hole; nullopt when no hole of the
// calibre is there (for a click in a review window).
std::optional<Shot> ShotAt(const PictureView& picture, const ShotSettings& settings, double x,
                           double y);

// A cross mark (point of aim, group centre) of colour 0xAARRGGBB.
struct Mark {
  double x = 0, y = 0;
  std::uint32_t colour = 0;
};

// A copy of the picture with every shot outlined by a circle of its diameter, in a colour
// that stands out from what lies under it, and its number (1-based, in order) beside it, and
// a cross at every mark.
Picture Annotated(const PictureView& picture, std::span<const Shot> shots,
                  std::span<const Mark> marks = {});

}  // namespace holescan::shots
