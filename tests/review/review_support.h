// review_support.h - generated scans on disk and waiting for the window, for the tests of
// holescan-review.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "facegen.h"
#include "review/analysis.h"

namespace holescan::testing {

// An air-rifle card at `dpi` with light shots at these millimetres from the face's centre
// (x right, y down), written as a BMP that records the resolution.
struct CardOnDisk {
  std::string path;
  facegen::FaceTarget target;
};

inline CardOnDisk WriteCard(const QTemporaryDir& dir, const char* name, double dpi,
                            std::vector<facegen::ShotMark> shots) {
  facegen::FaceOptions options;
  options.face = score::FindFace("issf-air-rifle");
  options.dpi = dpi;
  options.seed = 7;
  options.offsetMm = 0;
  // White figures inside the black are taken for light holes by the analysis at 150 ppi.
  options.numbers = false;
  options.shots = std::move(shots);
  CardOnDisk card{dir.filePath(QString::fromLatin1(name)).toStdString(),
                  facegen::MakeFace(options)};
  EXPECT_TRUE(facegen::WriteBmp(card.target.picture, card.path, dpi)) << card.path;
  return card;
}

// Two shots in the black, three on the white.
inline std::vector<facegen::ShotMark> FiveShots() {
  using facegen::HoleLook;
  return {{-9, 2},
          {6, 8},
          {14, -16, HoleLook::Dark},
          {-17, 12, HoleLook::Dark},
          {19, 5, HoleLook::Dark}};
}

// A job that found these shots (and the face's black at `aim`, when given) under the
// document's settings as they are now, for ReviewDocument::Apply. An Open job's shots are the
// document's first; a Shots job's are an undoable step.
// Settings at 254 ppi: ten pixels a millimetre.
inline review::ReviewSettings TenPerMm(std::string face = {}) {
  review::ReviewSettings settings;
  settings.dpi = 254;
  settings.face = std::move(face);
  return settings;
}

inline review::JobOutput Finished(const review::ReviewDocument& document,
                                  std::vector<review::ReviewShot> shots,
                                  std::optional<score::AimPoint> aim = std::nullopt,
                                  review::JobKind kind = review::JobKind::Open) {
  review::JobOutput output;
  output.kind = kind;
  output.generation = document.Generation();
  output.settings = document.Settings();
  output.shots = std::move(shots);
  output.black.centre = aim;
  return output;
}

// Handles events until the analyser is idle.
inline void WaitIdle(review::Analyser& analyser) {
  analyser.WaitIdle();
  QCoreApplication::processEvents();
}

// Saves what the widget shows to $HOLESCAN_REVIEW_SCREENSHOTS/NAME.png when that is set, so
// every state can be looked at.
inline void Screenshot(QWidget& widget, const char* name) {
  const QString folder = qEnvironmentVariable("HOLESCAN_REVIEW_SCREENSHOTS");
  if (folder.isEmpty()) return;
  QDir().mkpath(folder);
  widget.grab().save(QDir(folder).filePath(QString::fromLatin1(name) + ".png"));
}

}  // namespace holescan::testing
