// shots.h - the calibrated analysis: every shot hole of a known calibre, at any resolution.
//
// The shooter knows two facts the exact analysis does not use: the calibre and the scan's
// resolution. Together they give the diameter of a hole in pixels, D, and every stage works at
// a scale where D is 16 pixels, so nothing needs tuning between a 75-ppi phone snapshot and a
// 600-ppi scan. One file a stage:
//   1. working_picture: the region at that scale, the only pass over every picture pixel.
//   2. candidates: every place whose disc of the calibre is darker or lighter than the ring
//      around it, on the mean level and on the brightest or darkest channel, at two sizes;
//      the aim is to miss no hole, print included (about a thousand places on a busy page).
//   3. decision: a small convolutional network, trained on generated pictures only
//      (tools/train/), looks at each place at 2.5 and at 5 diameters and says whether it is
//      a shot and where its centre lies; each kept place is looked at again from that centre.
//   4. here: the places the network takes for shots, the most certain of any closer than 0.35
//      D, each with its look (lighter or darker than the paper around it) and contrast.
//   5. clusters: a torn area larger than one hole, about a kept shot or a doubtful place, is
//      explained by discs of the calibre, and its shots are those discs (a ragged group);
//      without a count given, each disc must look like a shot to the decision there.
//   6. face_print: on a face whose bulls are known, what breaks the rings' print as a flat disc
//      of the calibre is a shot where none was found (a hole the print hides from the networks),
//      a clean hole's shot is centred on that fit, and a dark shot in a black that holds light
//      ones is the black between them (ShotSettings::Bull).
//
// Limits, in a shooter's words: a hole must differ from the paper around it by a few grey
// levels over the width of a calibre; two shots closer than about a third of a calibre are one
// shot, and a shot entirely inside a group's torn area cannot be seen (with the count given,
// it is placed where the torn area is least explained); a perfectly round printed
// dot of the calibre's size looks like a hole and may be taken for one; a hole cut by the
// picture's edge is found only if most of it lies inside; where holes of the calibre are less
// than 16 pixels across on a picture of more than 24 megapixels at that scale, holes are
// analysed smaller and found less surely. What the network learned comes from the looks its
// generator draws (tools/train/holegen.py): a look it never saw may be missed.
//
// Coordinates are those of the exact analysis: pixel (i, j)'s centre is the point (i, j).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
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
  // The shots fired in the region, when known: a group's count is made this where its torn
  // area allows (clusters.h).
  std::optional<int> expectedShots = std::nullopt;
  // Groups' torn areas explained by discs of the calibre (clusters.h); off only to measure.
  bool resolveGroups = true;
  // Where the face prints a light ring or dot of about a hole's size in its black (a bull's
  // centre, picture pixels), and that print's radius: a shot found on it is print unless light
  // covers most of a hole of the calibre about it, as it does where a shot tore the print out.
  struct Point {
    double x = 0, y = 0;
  };
  std::vector<Point> printedCentres = {};
  double printedCentreRadiusPx = 0;
  // The face's bulls, where known (picture pixels): about each, a hole that breaks the rings'
  // print is a shot too where the decision found none (face_print.h). `reachPx` is how far the
  // print reaches from the centre along the longer axis, `blackRadiusPx` the black's radius
  // (0: not known); a bull seen at an angle is an ellipse whose shorter axis is `flatten` times
  // the longer, at `axisRadians` from x. One backing shows through every hole of a card: in the
  // black a hole is lighter than the black unless the backing is as dark, so where light shots
  // lie wholly inside a black, a dark one there (the black between light holes) is print.
  struct Bull {
    double x = 0, y = 0;
    double reachPx = 0;
    double flatten = 1;
    double axisRadians = 0;
    double blackRadiusPx = 0;
  };
  std::vector<Bull> bulls = {};
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
  bool placed = false;  // not seen: put in a group's torn area to make the expected count
};

// What the analysis picked from the picture, for reports. Grey levels are 0..255, at the
// working scale.
struct Levels {
  int scale = 1;               // picture pixels per working pixel, rounded (1 when enlarged)
  double workDiameterPx = 0;   // the hole's diameter in working pixels
  double paperLevel = 0;       // median of every pixel's brightest channel
  double paperNoise = 0;       // robust spread of a pixel against its neighbours
  double darkThreshold = 0;    // a place darker than its ring by this much is looked at
  double lightThreshold = 0;   // and one lighter by this much
  double minShotContrast = 0;  // how far a shot stands out from the paper at least (Standout)
  double shotThreshold = 0;    // the network's probability a shot needs
  int candidates = 0;          // places looked at
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

// Where the analysis lost a place of the picture (a hole someone marked, say), stage by stage
// as they run: for measuring the analysis (holescan-eval --why-missed), not for finding shots.
enum class LostAt {
  Proposals,  // no place proposed within reach: the rule never looked there
  Screen,     // proposed, and set aside by the first look's cheap network
  FirstLook,  // proposed, and judged by the decision too unlikely to be looked at again
  Decision,   // looked at again, and judged less likely than the shot threshold
  Later,      // judged a shot, then dropped: too faint, a likelier shot beside it, a printed
              // centre, a dark shot in a face's black among light ones, or the group stage
              // moved it beyond reach or fitted a disc there that the decision does not take
              // for a shot
  NotLost,    // a shot was found within reach
};
std::string_view LostAtName(LostAt lostAt);

struct PlaceTrace {
  LostAt lostAt = LostAt::Proposals;
  double probability = 0;  // the likeliest judged place within reach; 0 when none was judged
};

// What became of each place (picture pixels) in a run of FindShots with these settings on the
// whole picture, `reachPx` being how close a proposal, judged place or shot must come. Throws
// as FindShots does.
std::vector<PlaceTrace> TracePlaces(const PictureView& picture, const ShotSettings& settings,
                                    std::span<const std::pair<double, double>> places,
                                    double reachPx);

// The share of the disc of `diameterPx` about (x, y) lighter than a third of the way from the
// ink around it (the median grey between 0.75 and 1.25 diameters out) up to `paperLevel`: near
// 1 for a light hole of that size in a black, far less for a smaller printed ring or dot.
double LightShare(const PictureView& picture, double x, double y, double diameterPx,
                  double paperLevel);

// A cross mark (point of aim, group centre) of colour 0xAARRGGBB.
struct Mark {
  double x = 0, y = 0;
  std::uint32_t colour = 0;
};

// A copy of the picture with every shot outlined by a circle of its diameter and its number
// (1-based, in order) beside it, cyan as found, and a cross at every mark, in the review
// window's two-tone lines (legend.h, which also draws the legend); a shot whose `edited` flag
// is set (when given, one per shot) is magenta. `numbers`, when given (one per shot), are
// the numbers written in place of 1, 2, ...
Picture Annotated(const PictureView& picture, std::span<const Shot> shots,
                  std::span<const Mark> marks = {}, std::span<const bool> edited = {},
                  std::span<const int> numbers = {});

// A shot's number's box on the picture, in pixels.
struct LabelBox {
  double left = 0, top = 0, width = 0, height = 0;
};

// Where each shot's number goes, given each number's size (width, height): up and to the right
// of its circle, or where that would hide another shot's circle or number (a tight group), at
// the first of seven other places round the circle that hides none and stays on the picture of
// `width` x `height`, else where it hides least. Earlier shots choose first.
std::vector<LabelBox> PlaceLabels(std::span<const Shot> shots,
                                  std::span<const std::pair<double, double>> sizes, int width,
                                  int height);

}  // namespace holescan::shots
