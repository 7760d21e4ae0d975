#include "eval/matching.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <tuple>

namespace holescan::eval {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double Ratio(double numerator, int denominator) {
  return denominator > 0 ? numerator / denominator : kNaN;
}

}  // namespace

double Score::Recall() const {
  return Ratio(tp, tp + fn);
}
double Score::Precision() const {
  return Ratio(tp, tp + fp);
}
double Score::MeanErrPx() const {
  return Ratio(sumErrPx, tp);
}
double Score::MeanErrD() const {
  return Ratio(sumErrD, tp);
}

void Score::Add(const Score& o) {
  detections += o.detections;
  truth += o.truth;
  uncertain += o.uncertain;
  tp += o.tp;
  fp += o.fp;
  fn += o.fn;
  neutral += o.neutral;
  ignored += o.ignored;
  sumErrPx += o.sumErrPx;
  sumErrD += o.sumErrD;
  if (o.tp > 0) {
    maxErrPx = std::max(maxErrPx, o.maxErrPx);
    maxErrD = std::max(maxErrD, o.maxErrD);
  }
}

PictureScore ScorePicture(const Truth& truth, std::span<const Detection> detections,
                          double tolerance) {
  const double d = truth.holeDiameterPx;
  const double reach = tolerance * d;
  const auto& holes = truth.holes;
  struct Pair {
    double distance;
    std::size_t detection, hole;
  };
  std::vector<Pair> pairs;
  for (std::size_t i = 0; i < detections.size(); ++i) {
    for (std::size_t j = 0; j < holes.size(); ++j) {
      const double distance =
          std::hypot(detections[i].x - holes[j].x, detections[i].y - holes[j].y);
      if (distance <= reach) pairs.push_back({distance, i, j});
    }
  }
  std::sort(pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) {
    return std::tie(a.distance, a.detection, a.hole) < std::tie(b.distance, b.detection, b.hole);
  });

  PictureScore result;
  result.holeDiameterPx = d;
  result.holeErrorPx.assign(holes.size(), -1);
  result.detectionHole.assign(detections.size(), -1);
  for (const Pair& p : pairs) {
    if (result.detectionHole[p.detection] >= 0 || result.holeErrorPx[p.hole] >= 0) continue;
    result.detectionHole[p.detection] = static_cast<int>(p.hole);
    result.holeErrorPx[p.hole] = p.distance;
  }

  Score& s = result.score;
  s.detections = static_cast<int>(detections.size());
  for (std::size_t i = 0; i < detections.size(); ++i) {
    const int hole = result.detectionHole[i];
    if (hole >= 0) {
      if (holes[static_cast<std::size_t>(hole)].uncertain) {
        ++s.neutral;
      } else {
        const double error = result.holeErrorPx[static_cast<std::size_t>(hole)];
        ++s.tp;
        s.sumErrPx += error;
        s.sumErrD += error / d;
        s.maxErrPx = std::max(s.maxErrPx, error);
        s.maxErrD = std::max(s.maxErrD, error / d);
      }
    } else if (InIgnoreRegion(detections[i].x, detections[i].y, truth.ignoreRegions)) {
      ++s.ignored;
    } else {
      ++s.fp;
    }
  }
  std::set<std::string> looks;
  for (std::size_t j = 0; j < holes.size(); ++j) {
    if (holes[j].uncertain) {
      ++s.uncertain;
      continue;
    }
    ++s.truth;
    if (result.holeErrorPx[j] < 0) {
      result.missed.push_back(static_cast<int>(j));
      looks.insert(holes[j].look);
    }
  }
  s.fn = s.truth - s.tp;
  result.missedLooks.assign(looks.begin(), looks.end());
  return result;
}

std::map<std::string, Score> ScoreByHoleLook(std::span<const Truth> truths,
                                             std::span<const PictureScore> scores) {
  std::map<std::string, Score> byLook;
  for (std::size_t p = 0; p < truths.size() && p < scores.size(); ++p) {
    const Truth& truth = truths[p];
    for (std::size_t j = 0; j < truth.holes.size(); ++j) {
      const TruthHole& hole = truth.holes[j];
      Score& s = byLook[hole.look];
      if (hole.uncertain) {
        ++s.uncertain;
        continue;
      }
      ++s.truth;
      const double error = scores[p].holeErrorPx[j];
      if (error < 0) {
        ++s.fn;
        continue;
      }
      ++s.tp;
      ++s.detections;
      s.sumErrPx += error;
      s.sumErrD += error / truth.holeDiameterPx;
      s.maxErrPx = std::max(s.maxErrPx, error);
      s.maxErrD = std::max(s.maxErrD, error / truth.holeDiameterPx);
    }
  }
  return byLook;
}

std::map<std::string, Score> ScoreByPictureLook(std::span<const Truth> truths,
                                                std::span<const PictureScore> scores) {
  std::map<std::string, Score> byLook;
  for (std::size_t p = 0; p < truths.size() && p < scores.size(); ++p) {
    if (!truths[p].look.empty()) byLook[truths[p].look].Add(scores[p].score);
  }
  return byLook;
}

}  // namespace holescan::eval
