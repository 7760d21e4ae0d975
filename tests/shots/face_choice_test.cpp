// The automatic choice of a face and its floor, on generated pictures of every face: scans,
// clean cards, groups shot into the black, photographs at an angle, a sheet. The right face
// must be chosen among all; with the true face left out of the candidates, none may be.
// The matches found are printed as the two distributions the floor (kLeastRingMatch) lies
// between.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "facegen.h"
#include "shots/aim.h"
#include "support/face_scans.h"

namespace holescan::shots {
namespace {

using score::Face;

// One generated picture of a face, and what it stands for.
struct Case {
  facegen::FaceOptions options;
  std::string what;
  // May be refused, never taken for another face: a group of light holes torn through the
  // rings inside the black, where they hide the print.
  bool mayBeRefused = false;
  bool photo = false;
};

// The resolutions a face is drawn at: 150 to 1200 ppi where the card stays within `maxSide`
// pixels, and for the large faces the ones that bring the card to about 2000 and 3500.
std::vector<double> ResolutionsOf(const Face& face, double maxSide) {
  const double sideIn = (face.OuterDiameterMm() + 2 * 10) / 25.4;
  std::vector<double> dpis;
  for (const double dpi : {150.0, 300.0, 600.0, 1200.0})
    if (dpi * sideIn <= maxSide) dpis.push_back(dpi);
  if (dpis.size() < 2) {
    for (const double side : {2000.0, 3500.0}) {
      const double dpi = std::floor(side / sideIn);
      if (dpi >= 50 && (dpis.empty() || dpi < dpis.front())) dpis.push_back(dpi);
    }
  }
  return dpis;
}

std::vector<Case> CasesOf(const Face& face) {
  const std::string name(face.name);
  std::vector<Case> cases;
  std::uint32_t seed = 11;
  for (const double dpi : ResolutionsOf(face, 4000)) {
    const std::string at = " at " + std::to_string(static_cast<int>(dpi)) + " ppi";
    // A scan as it comes (grain, a ramp of light, blur, JPEG, shots across the black's edge).
    cases.push_back({testing_support::ScanOf(name.c_str(), dpi, seed++), name + " scan" + at});
    // A clean card, no shots, no ring figures.
    facegen::FaceOptions clean;
    clean.face = &face;
    clean.dpi = dpi;
    clean.seed = seed++;
    clean.numbers = false;
    cases.push_back({clean, name + " clean card" + at});
    // A group of ten in the black, dark holes on a scanner lid: the black's rings torn.
    facegen::FaceOptions group = testing_support::ScanOf(name.c_str(), dpi, seed++);
    group.edgeShots = 0;
    group.scatterShots = 0;
    group.lidMm = 4;
    for (int k = 0; k < 10; ++k) {
      const double angle = k * 2.4, r = face.blackDiameterMm * 0.03 * (k % 5 + 1);
      group.shots.push_back({r * std::cos(angle), r * std::sin(angle), facegen::HoleLook::Dark});
    }
    cases.push_back({group, name + " dark group in the black" + at});
    // The same group showing a white backing, as the bundled air-rifle card: light holes in
    // the black, where its rings are light lines too.
    for (facegen::ShotMark& shot : group.shots) shot.look = facegen::HoleLook::Light;
    group.lidMm = 0;
    group.seed = seed++;
    cases.push_back({group, name + " light group in the black" + at, true});
  }
  // Photographs: tilted 15 and 30 degrees, uneven light, JPEG.
  const double dpi = ResolutionsOf(face, 2500).front();
  for (const double tilt : {15.0, 30.0}) {
    facegen::FaceOptions photo = testing_support::ScanOf(name.c_str(), dpi, seed++);
    photo.tiltDeg = tilt;
    photo.tiltAxisDeg = 20 + tilt;
    photo.ramp = 0.4;
    photo.jpegQuality = 60;
    cases.push_back({photo,
                     name + " photo at " + std::to_string(static_cast<int>(tilt)) + " degrees, " +
                         std::to_string(static_cast<int>(dpi)) + " ppi",
                     false, true});
  }
  if (!face.sheet.empty()) {
    facegen::FaceOptions sheet = testing_support::ScanOf(name.c_str(), 150, seed++);
    sheet.sheet = true;
    cases.push_back({sheet, name + " sheet at 150 ppi"});
  }
  return cases;
}

struct Spread {
  std::vector<double> values;
  void Print(const char* what) const {
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    if (sorted.empty()) return;
    std::printf("%s: %zu pictures, min %.3f, median %.3f, max %.3f\n", what, sorted.size(),
                sorted.front(), sorted[sorted.size() / 2], sorted.back());
  }
};

// Every face's pictures: the right face chosen among all, above the floor and clear of the
// next; among the others (the true face left out) none taken, the best below the floor.
TEST(FaceChoice, the_right_face_is_chosen_and_a_face_not_among_the_candidates_is_refused) {
  std::vector<const Face*> all;
  for (const Face& face : score::Faces()) all.push_back(&face);
  // The raw matches, with no floor and no margin, for the record.
  const FaceChoice raw{-2, -4};
  Spread right, torn, photos, wrong;
  for (const Face& face : score::Faces()) {
    std::vector<const Face*> others;
    for (const Face* other : all)
      if (other != &face) others.push_back(other);
    for (const Case& one : CasesOf(face)) {
      const facegen::FaceTarget target = facegen::MakeFace(one.options);
      std::string reason;
      const auto chosen = FindFaces(target.picture.View(), all, 0, &reason);
      if (one.mayBeRefused) {
        EXPECT_TRUE(!chosen || chosen->face == &face) << one.what << ": " << chosen->face->name;
      } else {
        EXPECT_TRUE(chosen && chosen->face == &face)
            << one.what << ": " << (chosen ? std::string(chosen->face->name) : reason);
      }
      const auto rawRight = FindFaces(target.picture.View(), all, 0, &reason, raw);
      if (rawRight && rawRight->face == &face)
        (one.photo ? photos : one.mayBeRefused ? torn : right).values.push_back(rawRight->match);
      const auto refused = FindFaces(target.picture.View(), others, 0, &reason);
      EXPECT_FALSE(refused) << one.what << " taken for " << refused->face->name << " at match "
                            << refused->match;
      if (!refused) {
        EXPECT_FALSE(reason.empty()) << one.what;
      }
      const auto rawWrong = FindFaces(target.picture.View(), others, 0, &reason, raw);
      if (rawWrong) wrong.values.push_back(rawWrong->match);
      std::printf("%-60s right %.3f (next %.3f)  best wrong %s %.3f\n", one.what.c_str(),
                  rawRight ? rawRight->match : -9, rawRight ? rawRight->runnerUpMatch : -9,
                  rawWrong ? std::string(rawWrong->face->name).c_str() : "none",
                  rawWrong ? rawWrong->match : -9);
    }
  }
  // Bulls of no known kind, cropped close or with card around them: all faces candidates.
  for (const double dpi : {150.0, 286.0, 600.0}) {
    for (const double margin : {1.0, 3.0, 15.0}) {
      facegen::FaceOptions options = testing_support::ForeignBullScan(dpi, 7, margin);
      const facegen::FaceTarget target = facegen::MakeFace(options);
      std::string reason;
      const auto refused = FindFaces(target.picture.View(), all, 0, &reason);
      EXPECT_FALSE(refused) << "foreign bull taken for " << refused->face->name;
      const auto rawWrong = FindFaces(target.picture.View(), all, 0, &reason, raw);
      if (rawWrong) wrong.values.push_back(rawWrong->match);
      std::printf("foreign bull at %.0f ppi, %.0f mm margin: best %s %.3f\n", dpi, margin,
                  rawWrong ? std::string(rawWrong->face->name).c_str() : "none",
                  rawWrong ? rawWrong->match : -9);
    }
  }
  right.Print("right face");
  torn.Print("right face, light group in the black");
  photos.Print("right face, photograph at 15 or 30 degrees");
  wrong.Print("best wrong face, the true one left out");
  ASSERT_FALSE(right.values.empty());
  EXPECT_GE(*std::min_element(right.values.begin(), right.values.end()), kLeastRingMatch);
  if (!wrong.values.empty()) {
    EXPECT_LT(*std::max_element(wrong.values.begin(), wrong.values.end()), kLeastRingMatch);
  }
}

}  // namespace
}  // namespace holescan::shots
