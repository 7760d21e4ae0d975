// group.h - statistics of a group of shots, and sizes as angles at a shooting distance.
//
// All in millimetres, x to the right and y up, from the point of aim:
//   centre          the mean point of impact;
//   extremeSpread   the largest centre-to-centre distance between two shots (0 for one shot);
//   extremeSpreadEdge  that plus one calibre, the edge-to-edge size (one calibre for one shot);
//   meanRadius      mean distance of the shots from the group's centre;
//   sdX, sdY        standard deviations of x and of y with n - 1 (0 for fewer than two shots);
//   cep50           the circular error probable by R shotGroups' default estimator
//                   ("CorrNormal"): the median of the distance from the centre of a bivariate
//                   normal with the group's sample covariance (n - 1), its shape included,
//                   i.e. the median of the Hoyt distribution with the covariance's eigenvalues;
//                   like shotGroups, no small-sample correction (0 for fewer than two shots);
//   medianRadius    the empirical median distance from the group's centre (the mean of the
//                   two middle ones for an even count);
//   maxRadius       the largest distance from the group's centre.
// An empty group has count 0 and every figure 0.
//
// An angle is 2 atan(s / 2d) for a size s at distance d: in MOA (1/60 degree) and in mrad.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace holescan::score {

struct PointMm {
  double x = 0, y = 0;
};

struct GroupStats {
  int count = 0;
  double centreX = 0, centreY = 0;
  double extremeSpread = 0;
  double extremeSpreadEdge = 0;
  double meanRadius = 0;
  double sdX = 0, sdY = 0;
  double cep50 = 0;
  double medianRadius = 0;
  double maxRadius = 0;
};

// Statistics of the shots (any number; the extreme spread is found on the convex hull).
GroupStats Group(std::span<const PointMm> shots, double calibreMm);

// The radius holding `level` (0..1, exclusive) of a centred bivariate normal with covariance
// [[varX, covXY], [covXY, varY]]: the Hoyt quantile. 0 for a covariance of zero; a covariance
// of rank one gives the half-normal quantile of its one axis.
double CorrelatedNormalQuantile(double varX, double varY, double covXY, double level);

enum class DistanceUnit { Metre, Yard, Foot };

struct Distance {
  double value = 0;  // in `unit`, as given
  DistanceUnit unit = DistanceUnit::Metre;
  double metres = 0;
  friend bool operator==(const Distance&, const Distance&) = default;
};

// "m", "yd" or "ft".
std::string_view DistanceUnitName(DistanceUnit unit);

// "10m", "10 m", "25yd", "50ft", "12.5m" (a positive number, then m, yd or ft; nothing else).
// Distances over kMaxDistanceMetres are refused. nullopt with a one-line reason in *reason
// (when not null) for anything else.
std::optional<Distance> ParseDistance(std::string_view text, std::string* reason = nullptr);
inline constexpr double kMaxDistanceMetres = 5000;

// A size in millimetres (signed: a centre offset keeps its sign) as an angle at the distance.
double Moa(double sizeMm, const Distance& distance);
double Mrad(double sizeMm, const Distance& distance);

// Every size of the group as an angle (count copied; sizes converted by `angle`).
GroupStats GroupAngles(const GroupStats& group, const Distance& distance,
                       double (*angle)(double, const Distance&));

}  // namespace holescan::score
