// matching.h - detections against a truth file: recall, precision and centre error, by the
// rule of the project's scoring script (real-dev/score.py), to the last tie.
//
// Every (detection, hole) pair at most tolerance x D apart (D the truth's hole diameter,
// tolerance 0.5 by default) is a candidate; candidates are taken nearest first (ties by
// detection, then hole, in input order), each detection and each hole at most once. A
// detection matched to an uncertain hole counts neither way, and an uncertain hole is never
// a miss. A detection that matches no hole and lies in an ignore region is not counted,
// while one that matches a hole counts wherever it lies. Recall = TP / certain holes,
// precision = TP / (TP + FP); centre errors are over the TPs, in pixels and in D. A ratio
// without a denominator (no certain hole, no counted detection, no TP) is NaN.
#pragma once

#include <map>
#include <span>
#include <string>
#include <vector>

#include "eval/truth.h"

namespace holescan::eval {

struct Detection {
  double x = 0, y = 0;
};

struct Score {
  int detections = 0;
  int truth = 0;      // certain holes
  int uncertain = 0;  // uncertain holes
  int tp = 0, fp = 0, fn = 0;
  int neutral = 0;  // detections matched to uncertain holes
  int ignored = 0;  // unmatched detections in ignore regions
  double sumErrPx = 0, sumErrD = 0;
  double maxErrPx = 0, maxErrD = 0;  // over the TPs; 0 without one

  double Recall() const;
  double Precision() const;
  double MeanErrPx() const;
  double MeanErrD() const;
  // Adds another picture's counts (the total of a set: recall over all its holes).
  void Add(const Score& other);
};

struct PictureScore {
  Score score;
  double holeDiameterPx = 0;
  // For every truth hole: the distance to its detection in pixels, or -1 when none matched.
  std::vector<double> holeErrorPx;
  // For every detection: the index of its hole, or -1 (then ignored or a false positive).
  std::vector<int> detectionHole;
  std::vector<int> missed;               // indices of certain holes no detection matched
  std::vector<std::string> missedLooks;  // their looks, sorted, each once
};

PictureScore ScorePicture(const Truth& truth, std::span<const Detection> detections,
                          double tolerance = 0.5);

// Recall and centre error of every hole look over a set of pictures (the holes' "look"); fp,
// ignored and neutral stay 0: a false detection has no hole and no look.
std::map<std::string, Score> ScoreByHoleLook(std::span<const Truth> truths,
                                             std::span<const PictureScore> scores);

// The totals of the pictures of each picture look (the truth's own "look"; pictures without
// one are left out).
std::map<std::string, Score> ScoreByPictureLook(std::span<const Truth> truths,
                                                std::span<const PictureScore> scores);

}  // namespace holescan::eval
