// calibrated.h - the calibrated analysis of one picture, reached by one call from every front
// end: CalibratedSettings -> AnalysePicture -> CalibratedResult, then Rescore after edits.
//
// A picture's way through it: the resolution is settled first (ResolveResolution: the one
// given, else with a face the one measured on it, else the one the file stores, a stored value
// within the rounding of pixels per metre of a whole number taken as that number); the
// settings are checked against one set of limits (SettingsProblem); with a face and no
// resolution given, the face is found and measured (and with auto, chosen) before anything
// else, since the shot finder needs the calibre in pixels (shots::FindFaces); the shot finder
// runs on the selection (shots::FindShots); the point of
// aim is the one given, else the centre of the face's black (shots::FindAim), else the
// group's centre; every shot is then measured in millimetres from the aim, scored with a
// face, and the group's statistics and totals are taken (score::Score). A face whose black is
// not found is a warning, not a failure: the group's centre is the aim, its source says so,
// and the shots are not scored. A face printed several to a sheet is scored bull by bull
// (CalibratedResult::bulls).
//
// The front ends (command line, review window), the benchmarks and the tests call this and
// nothing below it; what they add is how they read settings and write results.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "io/picture_file.h"
#include "pixel/picture.h"
#include "score/faces.h"
#include "score/group.h"
#include "score/scoring.h"
#include "score/sheet.h"
#include "shots/aim.h"
#include "shots/limits.h"
#include "shots/shots.h"

namespace holescan::calibrated {

// ---- Limits, stated once ----------------------------------------------------------------
// Those of the image work (shots/limits.h), where the shot finder and the aim finder use them.
using shots::CalibreProblem;
using shots::kMaxCalibreMm;
using shots::kMaxDpi;
using shots::kMinCalibreMm;
using shots::kMinDpi;
using shots::ResolutionProblem;

// ---- Settings ----------------------------------------------------------------------------

// Where the resolution comes from: stored in the picture file, or given (an option, a value
// typed in the review window). Face: measured on the face's black (shots::FindFaces).
enum class ResolutionSource { File, Option, Face };
// "file", "option", "face".
std::string_view ResolutionSourceName(ResolutionSource source);
// The name read back; "user" (what earlier saved files hold) is Option. nullopt otherwise.
std::optional<ResolutionSource> ParseResolutionSource(std::string_view name);

struct CalibratedSettings {
  double calibreMm = 4.5;
  double dpi = 0;  // pixels per inch; 0 until known
  // File: take the file's resolution when it stores one (dpi is the fallback when it does not).
  ResolutionSource dpiSource = ResolutionSource::File;
  shots::HoleLook look = shots::HoleLook::Auto;
  const score::Face* face = nullptr;  // scores and the black's aim only with a face
  // The face is the one of score::Faces() whose rings match the picture (face is then null
  // until the analysis settles it).
  bool faceAuto = false;
  // With source Face: the resolution the file stores, for comparison (and taken when the
  // face cannot be measured).
  std::optional<double> fileDpi;
  double gaugeMm = score::kRulesGaugeMm;
  std::optional<score::Distance> distance;  // group sizes also as angles
  std::optional<score::AimPoint> aim;       // a point of aim given in pixels
  // The shots fired, when known (on a sheet, on each record bull): a ragged group's count is
  // made this where its torn area allows, and a result whose count differs says so
  // (CountDiffers).
  std::optional<int> expectedShots;
  std::optional<Selection> selection;  // bounds inclusive; the whole picture when absent
  friend bool operator==(const CalibratedSettings&, const CalibratedSettings&) = default;
};

// A one-line reason when the settings cannot be analysed (resolution, calibre, a hole too
// small or too large in pixels, the gauge); nullopt otherwise. With source Face and no dpi yet,
// the resolution is not checked (AnalysePicture measures it, then checks).
std::optional<std::string> SettingsProblem(const CalibratedSettings& settings);

// The resolution the file stores, in pixels per inch: a value within the rounding of whole
// pixels per metre of a whole number is that number (300 ppi is stored as 11811 per metre and
// reads back 299.9994; 2835 per metre reads 72.009 and is 72). nullopt when the file stores
// none, or one outside kMinDpi..kMaxDpi.
std::optional<double> FileResolution(const PictureFile& file);

// The settings with the resolution settled for this file: with source File, the file's
// resolution when it stores one, else the settings' own dpi as source Option. A dpi still 0
// afterwards means neither is known (SettingsProblem says so). With source Face the
// resolution is measured by AnalysePicture; here only the file's is kept beside it (fileDpi).
// The front ends choose Face when a face is named (or auto) and no resolution is given.
CalibratedSettings ResolveResolution(const PictureFile& file, CalibratedSettings settings);

// A measured resolution this far (relative) from the file's stored one is a warning.
inline constexpr double kFileDisagreement = 0.02;

// ---- Result -------------------------------------------------------------------------------

// One shot, from the finder or set by hand, measured and scored.
struct Shot {
  double x = 0, y = 0;  // picture pixels, pixel (i, j)'s centre at (i, j)
  bool edited = false;  // added or moved by hand
  // How the hole showed, and its contrast against the paper (0 for a shot set by hand where
  // no hole was found).
  shots::HoleLook look = shots::HoleLook::Dark;
  double contrast = 0;
  // Not seen: put where a group's torn area is least explained, to make the expected count.
  bool placed = false;
  // Filled by AnalysePicture and Rescore:
  double diameterPx = 0;                    // the calibre at the resolution
  double xMm = 0, yMm = 0;                  // from the point of aim, right and up positive
  std::optional<score::RingScore> score{};  // with a face whose black was found, or an aim
  bool bull = false;                        // the hole touches the face's black
  // On a sheet of several bulls: the bull it belongs to (1-based, CalibratedResult::bulls), or
  // 0 when it lies outside every bull's scoring rings (off target, scored 0).
  int sheetBull = 0;
  // The shot's number as the review keeps it, the same through deletes and moves in the order
  // (from 1); 0 when the shot is numbered by its place in the list (ShotNumber).
  int number = 0;
  // The same shot: the same place, look, contrast and edited flag (what is measured from
  // them follows from the settings and the aim).
  friend bool operator==(const Shot& a, const Shot& b) {
    return a.x == b.x && a.y == b.y && a.edited == b.edited && a.look == b.look &&
           a.contrast == b.contrast;
  }
};

// The number a report gives the shot at `index` of its list: its own, or its place from 1.
inline int ShotNumber(const Shot& shot, std::size_t index) {
  return shot.number > 0 ? shot.number : static_cast<int>(index) + 1;
}

struct Aim {
  double x = 0, y = 0;  // picture pixels
  score::AimSource source = score::AimSource::Group;
};

// The face's black on the picture, when the settings name a face and give no aim: its centre,
// or the warning why it was not found ("no point of aim: ...").
struct BlackSearch {
  std::optional<score::AimPoint> centre;
  std::string warning;
  // The black measured as an ellipse (a face photographed at an angle): every shot is measured
  // on the face rectified by it, whichever front end scores them.
  std::optional<shots::AimFit> ellipse;
};

// One bull of a sheet of several, scored on its own: millimetres of its shots from its centre.
struct Bull {
  int number = 0;                      // 1-based, in reading order
  double x = 0, y = 0, radiusPx = 0;   // the black's centre and radius, picture pixels
  bool sighter = false;                // a sighter bull: left out of the sheet's total
  std::vector<std::size_t> shots;      // indices into CalibratedResult::shots
  score::GroupStats group;             // from its centre
  std::optional<score::Totals> total;  // with its shots scored
};

// The face found and its scale, when the analysis measured them (source Face, or --face auto).
struct FaceMeasure {
  double dpi = 0;                  // measured on the face's black(s)
  std::optional<double> fileDpi;   // what the file stores, for comparison
  bool chosen = false;             // the face was chosen among all (auto)
  double match = 0, runnerUp = 0;  // the rings' correlation, the face's and the next one's
  int blacks = 0;                  // blacks measured
  std::string warning;             // the file's resolution disagrees, or the face gave none
  // A face photographed at an angle: its black an ellipse. The tilt from square-on (degrees),
  // the direction foreshortened (degrees from x, picture y down), the ellipse fit's residual
  // (pixels), and the stretch (longer over shorter axis) that the shots' positions get along
  // that direction about the black's centre before they are measured. Tilt 0 and stretch 1
  // for a face seen square-on.
  double tiltDeg = 0, tiltAxisDeg = 0, ellipseResidualPx = 0, stretch = 1;
  double centreX = 0, centreY = 0;
};

struct CalibratedResult {
  int width = 0, height = 0;    // the picture's
  Selection selection;          // the rectangle analysed, bounds inclusive
  CalibratedSettings settings;  // resolved
  std::vector<Shot> shots;      // top to bottom, then left to right, as found; edits after
  Aim aim;
  BlackSearch black;                          // the face's black, when it was looked for
  double groupCentreX = 0, groupCentreY = 0;  // the shots' mean, pixels (0 without shots)
  score::GroupStats group;                    // millimetres from the aim
  std::optional<score::Totals> total;         // when the shots are scored
  std::optional<shots::Levels> levels;        // absent when no analysis found the shots
  std::vector<std::string> warnings;          // e.g. the face's black not found
  bool cancelled = false;
  // A sheet of several bulls (a face printed several to a sheet, or several blacks found):
  // every bull; the result's total is then that of the record bulls and its group that of
  // their shots, each from its own bull's centre. Empty for a face alone.
  std::vector<Bull> bulls;
  std::optional<FaceMeasure> faceMeasure;
};

// Told about the analysis as it runs.
class Observer {
 public:
  virtual ~Observer() = default;
  // 0..1, from the analysing thread; false cancels (the result then has cancelled set).
  virtual bool Progress(double fraction) = 0;
};

// The search for the black under the settings (none without a face, or with an aim given).
BlackSearch LookForBlack(const PictureView& picture, const CalibratedSettings& settings);

// The whole analysis. With source Face (or faceAuto), the face is found and measured first
// (shots::FindFaces) and the shots then looked for at its scale; a measured resolution more
// than kFileDisagreement off the file's is a warning. Throws std::invalid_argument for
// settings SettingsProblem refuses, and when the face gives no scale and the file stores none.
CalibratedResult AnalysePicture(const PictureView& picture, const CalibratedSettings& settings,
                                Observer* observer = nullptr);
// What AnalysePicture throws when the face gives no scale and the file stores none: what()
// says why the face gave none ("the face gives no scale (...)", the rings are another face's,
// or with auto no known face fits, naming the nearest); each front end says how to give the
// resolution.
class NoScale : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The result with these shots (positions, looks, edited flags) measured and scored again
// under its settings and black; the aim follows them when it is the group's centre.
CalibratedResult Rescore(CalibratedResult result, std::vector<Shot> shots);
// The same shots under other settings (distance, gauge, face), with the black found for them
// (`black`, from LookForBlack, when the face changed).
CalibratedResult Rescore(CalibratedResult result, const CalibratedSettings& settings,
                         const BlackSearch& black);

// A count of shots expected and the one found.
struct CountDifference {
  int expected = 0, found = 0;
};
// The expected count and the one found, when the settings give one. On a sheet, those of the
// record bulls together (the expected count is each one's).
std::optional<CountDifference> ExpectedCount(const CalibratedResult& result);
// The same, when the two differ.
std::optional<CountDifference> CountDiffers(const CalibratedResult& result);
// A record bull of a sheet whose count differs from the expected one (sighters never do).
std::optional<CountDifference> CountDiffers(const CalibratedResult& result, const Bull& bull);

// The shot whose hole lies under (x, y) re-centred on it, or one set there by hand; edited.
Shot ShotAtPoint(const PictureView& picture, const CalibratedSettings& settings, double x,
                 double y);

}  // namespace holescan::calibrated
