// shots.h - the calibrated analysis: every shot hole of a known calibre, at any resolution.
//
// The shooter knows two facts the exact analysis does not use: the calibre and the scan's
// resolution. Together they give the diameter of a hole in pixels, D, and everything below is
// measured in D, so nothing needs tuning between a 75-ppi phone snapshot and a 600-ppi scan.
//
// FindShots runs, in this order:
//   1. Two grey pictures at a working scale: every pixel's brightest channel (a dark hole is
//      dark in all three, blue or red ink is not) and its darkest channel (a light hole is
//      light in all three, any ink is not), box means over an integer factor chosen so that
//      a hole is 16 to 32 working pixels across (factor 1 when it is smaller already). This
//      is the only pass over every picture pixel; all later steps but the last work on these.
//   2. The paper's level: cells of 1.25 calibres take the 90th percentile of their pixels;
//      the brightest cell within about 11 calibres is paper, and so is every cell within 20
//      grey levels of it; a cell's level is the brightest paper cell next to it, else that
//      far one. Shading, tinted paper and dense printing cancel; an aiming mark keeps the
//      level of the paper around it.
//   3. Contrast against that level. The paper's noise is the spread of the light side of the
//      contrast histogram, which no print, hole or shadow can widen; the dark threshold is
//      six times that noise (at least 20 grey levels) above the paper's own contrast.
//   4. Dark holes. Pixels much more colourful than dark (blue print) are left out. Print wide
//      enough to hold a disc of 1.5 calibres (an aiming mark, a border), once its thin white
//      lines and the light holes in it are closed, is not searched. The rest is taken at the
//      dark threshold and at 40 % and 65 % of the darkest contrast (a hole touching a navy
//      ring stands alone at the higher ones), the light centres of torn holes filled (also
//      across breaks in the rim, in a further pass where nothing was found), strokes
//      thinner than 0.4 calibre removed. Regions longer than 4.5 calibres are print unless
//      parts of them still hold a disc of 0.6 calibre (holes touching a ring or a line).
//   5. Light holes: regions lighter than print that lie inside print wide enough to surround
//      them (an aiming mark, not the paper between two lines), and fill their discs. A hole
//      across the mark's edge shows only inside the mark (on white paper behind a white
//      backing the rest of it does not show at all): print of at least six discs that fills
//      four fifths of the circle fitted to its outline (notches and bumps dropped as
//      outliers), else of its convex hull, is taken as a mark whole, and near a mark a hole
//      is judged by the part of its disc inside it. On paper a little darker than the
//      backing (a tinted card), regions lighter than the median of 3 calibres around them by
//      six times the paper's noise (at least 15 grey levels), ringed by even paper.
//   6. Centres in a region: every outline pixel votes for the points about a radius inside it
//      along its normal, so each arc of a hole votes for that hole's own centre, even when a
//      triple leaves only half of it; peaks at least 0.4 calibre apart whose circle shows as
//      outline for at least 35 % of its length and whose disc the region covers (75 % for a
//      dark hole, 80 % for a light one) are candidates; a dark candidate must differ from the
//      paper by 45 grey levels and be grey rather than coloured.
//   7. Every candidate is re-centred at full resolution: rays from outside the hole (stopped
//      at the half-way line to a neighbouring shot) walk inward to where the picture crosses
//      half-way between the hole's level and the level around it; a circle is fitted to those
//      edge points, points pushed out by print touching the hole dropped. A candidate whose
//      edge does not lie on a circle (within 15 % of the radius, or 6 % with three quarters of
//      its points for a region whose light gaps were filled: a printed 0, 8 or 9) is dropped.
//
// Limits: holes must differ from the paper around them by about 45 grey levels, and from
// their own surround by six times the paper's noise; two shots closer than 0.4 calibre are
// one shot; a cluster of more than about six overlapping shots, or one longer than 4.5
// calibres, is taken for print; a dark hole inside dark print and a light hole on paper as
// light as it cannot be seen, nor a light hole less than about a third of which lies in the
// mark and the rest on paper; a hole cut by the picture's edge
// is found only if most of it lies inside; printed dots and figures of about one calibre that
// are round (a registration dot) are taken for holes; a torn rim round a light centre with
// breaks wider than 0.4 calibre is missed.
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

// What the analysis picked from the picture, for reports. Grey levels are 0..255 of a pixel's
// brightest channel (paper, noise, the dark threshold, the shot contrast) or its darkest
// channel (the light threshold), at the working scale.
struct Levels {
  int scale = 1;               // working pixels are scale x scale picture pixels
  double workDiameterPx = 0;   // the hole's diameter in working pixels
  double paperLevel = 0;       // median local paper level over the region
  double paperNoise = 0;       // robust spread of the paper around its local level
  double darkThreshold = 0;    // contrast a pixel needs to count as part of a dark hole
  double lightThreshold = 0;   // darkness below the paper a pixel needs to count as print
  double minShotContrast = 0;  // contrast a dark shot needs to be kept
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

// A copy of the picture with every shot outlined by a circle of its diameter and its number
// (1-based, in order) beside it, cyan as found, and a cross at every mark, in the review
// window's two-tone lines (legend.h, which also draws the legend); a shot whose `edited` flag
// is set (when given, one per shot) is magenta.
Picture Annotated(const PictureView& picture, std::span<const Shot> shots,
                  std::span<const Mark> marks = {}, std::span<const bool> edited = {});

}  // namespace holescan::shots
