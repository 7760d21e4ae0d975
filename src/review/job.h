// job.h - what a job for a picture under review is asked and what it gives back.
//
// A job reads the picture (when it is not read yet), looks for its saved shots, and runs what
// the document asks for: the calibrated analysis, the face's point of aim, or both. Its
// output is plain data; the document takes it in one call (ReviewDocument::Apply), so every
// way a job can end (read, analysed, cancelled, failed, made stale by a newer change) is
// decided in one place.
#pragma once

#include <QImage>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "calibrated/calibrated.h"
#include "pixel/picture.h"
#include "review/review_settings.h"

namespace holescan::review {

// The calibrated analysis's own shot: position, look, edited flag, millimetres and score.
using ReviewShot = calibrated::Shot;

// Larger kinds do more: Open reads the picture, then analyses it.
enum class JobKind { Shots, Open };

// The note of a picture that stores no resolution and has none given yet: no shots are
// looked for until it is given.
inline constexpr char kResolutionUnknown[] =
    "resolution unknown: the picture stores none; give it under Settings, Resolution, or "
    "choose the face, whose black gives it";
// The note when the face chosen gave no scale either; the face's reason follows.
inline constexpr char kNoScaleFromFace[] = "resolution unknown: the picture stores none, and ";

struct JobInput {
  JobKind kind = JobKind::Open;
  std::string path;
  std::shared_ptr<const Picture> picture;  // null: read it from path
  ReviewSettings settings;
  int generation = 0;
};

struct JobOutput {
  JobKind kind = JobKind::Open;
  // The document's generation the job ran under; an older one is stale.
  int generation = 0;
  bool cancelled = false;
  std::shared_ptr<const Picture> picture;             // set when the job read it
  std::shared_ptr<const std::vector<QImage>> levels;  // with it
  std::string loadProblem;                            // the picture could not be read
  std::optional<double> fileDpi;  // the resolution stored in the picture file (FileResolution)
  // Open only: the saved shots and settings, or why the saved file could not be read.
  bool fromFile = false;
  ReviewSettings settings;
  std::string fileProblem;
  std::optional<std::vector<ReviewShot>> shots;
  ReportInfo info;                              // with the saved shots
  std::optional<shots::Levels> analysisLevels;  // with shots found by the analysis
  std::string shotsProblem;
  // The resolution measured on the face's black, when the picture stores none (source Face).
  std::optional<double> faceDpi;
  // The face's black as looked for under the job's settings.
  calibrated::BlackSearch black;
  // A sheet's bulls, found with the shots (empty for a face alone).
  std::vector<calibrated::Bull> bulls;
  // What the face measured, found with the shots: its scale, the file's, its tilt.
  std::optional<calibrated::FaceMeasure> faceMeasure;
};

}  // namespace holescan::review
