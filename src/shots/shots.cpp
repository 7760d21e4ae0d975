// shots.cpp - the calibrated analysis's stages put together; shots.h describes them.
#include "shots/shots.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <stdexcept>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "shots/candidates.h"
#include "shots/clusters.h"
#include "shots/decision.h"
#include "shots/face_print.h"
#include "shots/working_picture.h"

namespace holescan::shots {
namespace {

// A proposal judged less likely than this is not looked at again from the centre the network
// points at (a tenth: the second look decides), when a click looks for the likeliest place.
// Looking for shots, only a proposal whose first look can still bring the two looks' mean to
// the threshold is looked at again (SecondLookFloor): the same shots, a fraction of the work.
constexpr double kSecondLook = 0.1;
double SecondLookFloor() {
  return std::max(kSecondLook, 2 * ShotThreshold() - 1);
}
// Two shots closer than this (in diameters) are one: the more certain is kept. Shots of a
// tight cluster are further apart than this, or the paper shows no trace of one of them.
constexpr double kMinShotDistance = 0.35;
// A click snaps to a judged place within this many diameters of it.
constexpr double kSnapDistance = 0.6;

Region Clip(const PictureView& picture, std::optional<Region> wanted) {
  Region r = wanted.value_or(Region{0, 0, picture.width, picture.height});
  r.left = std::clamp(r.left, 0, picture.width);
  r.right = std::clamp(r.right, r.left, picture.width);
  r.top = std::clamp(r.top, 0, picture.height);
  r.bottom = std::clamp(r.bottom, r.top, picture.height);
  return r;
}

bool Continue(const Progress& progress, double fraction) {
  return !progress || progress(fraction);
}

struct Judged {
  cv::Point2d point;  // working pixels
  double probability = 0;
};

// Every proposal judged, moved to the centre the network points at and judged again there;
// the place's probability is the mean of the two looks (two views of the same hole: a hole
// seen slightly off-centre and then centred is surely one, a mark that looked like a hole
// from one place and not from the other is doubtful).
// `screened`: the first look sets most of them aside before the network sees them.
// Empty and `cancelled` set when the progress callback asks to stop.
std::vector<Judged> JudgeProposals(const WorkingPicture& w, const std::vector<Candidate>& proposals,
                                   double secondLook, bool screened, const Progress& progress,
                                   bool& cancelled, std::vector<double>* firstLooks = nullptr) {
  std::vector<Judged> out;
  std::vector<cv::Point2d> points;
  points.reserve(proposals.size());
  for (const Candidate& c : proposals) points.emplace_back(c.u, c.v);
  // Judged in slices, so that progress moves and a cancel is heard on a large picture.
  constexpr std::size_t kSlice = 1024;
  std::vector<cv::Point2d> moved;
  std::vector<double> firstLook;
  for (std::size_t start = 0; start < points.size(); start += kSlice) {
    const std::size_t count = std::min(kSlice, points.size() - start);
    const auto slice = std::span(points).subspan(start, count);
    const std::vector<Judgement> first =
        Judge(w.bgr, slice, w.diameter, /*bothWays=*/false, screened);
    if (firstLooks) {
      for (const Judgement& j : first) firstLooks->push_back(j.probability);
    }
    for (std::size_t i = 0; i < count; ++i) {
      if (first[i].probability >= secondLook) {
        moved.emplace_back(slice[i].x + first[i].dx, slice[i].y + first[i].dy);
        firstLook.push_back(first[i].probability);
      }
    }
    const double done = static_cast<double>(start + count) / static_cast<double>(points.size());
    if (!Continue(progress, 0.35 + 0.45 * done)) {
      cancelled = true;
      return {};
    }
  }
  const std::vector<Judgement> second = Judge(w.bgr, moved, w.diameter, /*bothWays=*/true);
  for (std::size_t i = 0; i < moved.size(); ++i) {
    out.push_back({{moved[i].x + second[i].dx, moved[i].y + second[i].dy},
                   (firstLook[i] + second[i].probability) / 2});
  }
  return out;
}

// The paper's level and grain: the median of every working pixel's brightest channel, and the
// robust spread of each pixel against the mean of its neighbours.
void PaperLevels(const cv::Mat& work, Levels& levels) {
  cv::Mat channels[3];
  cv::split(work, channels);
  cv::Mat hi;
  cv::max(channels[0], channels[1], hi);
  cv::max(hi, channels[2], hi);
  cv::Mat smooth;
  cv::blur(hi, smooth, {3, 3});
  std::array<std::int64_t, 256> level{};
  std::array<std::int64_t, 256> grain{};
  for (int y = 0; y < hi.rows; ++y) {
    const auto* a = hi.ptr<std::uint8_t>(y);
    const auto* b = smooth.ptr<std::uint8_t>(y);
    for (int x = 0; x < hi.cols; ++x) {
      ++level[a[x]];
      ++grain[static_cast<std::size_t>(std::abs(a[x] - b[x]))];
    }
  }
  auto median = [](const std::array<std::int64_t, 256>& h) {
    std::int64_t total = 0;
    for (auto n : h) total += n;
    std::int64_t seen = 0;
    for (std::size_t i = 0; i < h.size(); ++i) {
      seen += h[i];
      if (2 * seen >= total) return static_cast<double>(i);
    }
    return 0.0;
  };
  levels.paperLevel = median(level);
  levels.paperNoise = 1.4826 * median(grain);
}

struct Found {
  std::vector<Shot> shots;
  std::vector<Judged> judged;        // every place judged a second time, in working pixels
  std::vector<Candidate> proposals;  // every place proposed, in working pixels
  std::vector<double> firstLook;     // and the decision's first look at each (0: screened out)
  WorkingPicture work;
  Levels levels;
  bool cancelled = false;
};

// A shot found within a quarter of a hole of a printed centre's ring (its radius and a quarter
// of a hole more: a view centred on the ring's arc, between two shots, sees the ring's curve and
// the black within it as a rim) is that print unless light covers more than this share of a
// hole of the calibre about it (a printed ring or dot of about a hole's size, or a thin light
// ring round the black inside it, covers far less; a shot tears it out, and the backing shows).
constexpr double kPrintedCentreReach = 0.25;
constexpr double kTornOutShare = 0.6;

void DropPrintedCentres(const PictureView& picture, const ShotSettings& settings, double paperLevel,
                        std::vector<Shot>& shots) {
  const double diameter = HoleDiameterPx(settings);
  std::erase_if(shots, [&](const Shot& shot) {
    const bool atCentre = std::any_of(
        settings.printedCentres.begin(), settings.printedCentres.end(), [&](const auto& c) {
          return std::hypot(shot.x - c.x, shot.y - c.y) <=
                 settings.printedCentreRadiusPx + kPrintedCentreReach * diameter;
        });
    return atCentre && LightShare(picture, shot.x, shot.y, diameter, paperLevel) < kTornOutShare;
  });
}

// The kept shots with every ragged group resolved into its shots (clusters.h). Without a count
// given, a shot the group stage fits into a torn area is kept only where the decision, looking
// at it there, would call it a shot: the group stage explains a torn area's outline by discs of
// the calibre, a printed figure can be explained so too (a logo's square with a ring in it), and
// the decision tells print from holes; a shot of the decision's with none of the discs kept
// within half a hole of it stands, as where the stage explains nothing. With a count given the
// shooter has said how many shots the group holds, and the count decides.
void ResolveGroupsIn(const WorkingPicture& w, const Region& region, const ShotSettings& settings,
                     Found& f) {
  std::vector<GroupSeed> seeds;
  for (const Shot& shot : f.shots)
    seeds.push_back({{w.WorkU(shot.x), w.WorkV(shot.y)}, shot.look == HoleLook::Light});
  const std::vector<GroupShot> resolved =
      ResolveGroups(w.bgr, w.diameter, seeds, settings.look != HoleLook::Light,
                    settings.look != HoleLook::Dark, settings.expectedShots);
  const bool judgeFitted = !settings.expectedShots;
  std::vector<cv::Point2d> fitted;
  for (const GroupShot& g : resolved)
    if (judgeFitted && g.seed < 0) fitted.push_back(g.point);
  const std::vector<Judgement> judged = Judge(w.bgr, fitted, w.diameter, /*bothWays=*/true);
  std::size_t next = 0;
  std::vector<Shot> shots;
  std::vector<bool> returned(f.shots.size(), false);
  for (const GroupShot& g : resolved) {
    if (g.seed >= 0) {
      returned[static_cast<std::size_t>(g.seed)] = true;
      shots.push_back(f.shots[static_cast<std::size_t>(g.seed)]);
      continue;
    }
    if (judgeFitted && judged[next++].probability < ShotThreshold()) continue;
    const double x = w.PictureX(g.point.x);
    const double y = w.PictureY(g.point.y);
    if (x < region.left - 0.5 || y < region.top - 0.5 || x > region.right - 0.5 ||
        y > region.bottom - 0.5)
      continue;
    Shot shot{x, y, HoleDiameterPx(settings), g.light ? HoleLook::Light : HoleLook::Dark,
              g.contrast};
    shot.placed = g.placed;
    shots.push_back(shot);
  }
  if (judgeFitted) {
    const double reach = 0.5 * HoleDiameterPx(settings);
    const std::size_t kept = shots.size();
    for (std::size_t i = 0; i < f.shots.size(); ++i) {
      const Shot& seed = f.shots[i];
      const bool explained = std::any_of(
          shots.begin(), shots.begin() + static_cast<std::ptrdiff_t>(kept),
          [&](const Shot& s) { return std::hypot(s.x - seed.x, s.y - seed.y) <= reach; });
      if (!returned[i] && !explained) shots.push_back(seed);
    }
  }
  f.shots = std::move(shots);
}

// The holes that break the print of each of the face's bulls (face_print.h), added where no shot
// was found within half a hole; with a count given, only while the shots found are fewer. The
// shots found, where their hole is a clean one, are centred on the fit against the print.
void AddHolesAgainstPrint(const WorkingPicture& w, const Region& region,
                          const ShotSettings& settings, std::vector<Shot>& shots) {
  const double diameter = HoleDiameterPx(settings);
  const double scale = std::sqrt(w.scaleX * w.scaleY);
  // The shots seen (not placed in a group's torn area) are centred on the print's fit too.
  std::vector<cv::Point2d> seen;
  std::vector<std::size_t> which;
  for (std::size_t i = 0; i < shots.size(); ++i) {
    if (shots[i].placed) continue;
    seen.emplace_back(w.WorkU(shots[i].x), w.WorkV(shots[i].y));
    which.push_back(i);
  }
  const std::vector<cv::Point2d> before = seen;
  std::vector<PrintHole> holes;
  for (const ShotSettings::Bull& bull : settings.bulls) {
    const BullShape shape{w.WorkU(bull.x), w.WorkV(bull.y), bull.reachPx / scale, bull.flatten,
                          bull.axisRadians};
    for (const PrintHole& hole : HolesAgainstPrint(w.bgr, w.diameter, shape, {}, seen))
      holes.push_back(hole);
  }
  for (std::size_t k = 0; k < seen.size(); ++k) {
    if (seen[k] == before[k]) continue;
    shots[which[k]].x = w.PictureX(seen[k].x);
    shots[which[k]].y = w.PictureY(seen[k].y);
  }
  std::stable_sort(holes.begin(), holes.end(),
                   [](const PrintHole& a, const PrintHole& b) { return a.gain > b.gain; });
  for (const PrintHole& hole : holes) {
    if (settings.expectedShots && static_cast<int>(shots.size()) >= *settings.expectedShots) break;
    const double x = w.PictureX(hole.u), y = w.PictureY(hole.v);
    if (x < region.left - 0.5 || y < region.top - 0.5 || x > region.right - 0.5 ||
        y > region.bottom - 0.5)
      continue;
    const HoleLook look = hole.light ? HoleLook::Light : HoleLook::Dark;
    if (settings.look != HoleLook::Auto && look != settings.look) continue;
    const bool found = std::any_of(shots.begin(), shots.end(), [&](const Shot& s) {
      return std::hypot(s.x - x, s.y - y) < 0.5 * diameter;
    });
    if (!found) shots.push_back({x, y, diameter, look, hole.contrast});
  }
}

// In each bull's black, a dark shot where at least two light ones, twice as many, lie wholly in
// it too is the black between light holes (ShotSettings::Bull). Distances are measured on the
// bull seen square-on.
void DropDarkAmongLight(const ShotSettings& settings, std::vector<Shot>& shots) {
  const double radius = HoleDiameterPx(settings) / 2;
  for (const ShotSettings::Bull& bull : settings.bulls) {
    if (bull.blackRadiusPx <= radius) continue;
    const SquareOn frame(bull.flatten, bull.axisRadians);
    const auto inBlack = [&](const Shot& shot) {
      return frame.Distance(shot.x - bull.x, shot.y - bull.y) + radius <= bull.blackRadiusPx;
    };
    int light = 0, dark = 0;
    for (const Shot& shot : shots) {
      if (shot.placed || !inBlack(shot)) continue;
      (shot.look == HoleLook::Light ? light : dark) += 1;
    }
    if (dark == 0 || light < 2 || light < 2 * dark) continue;
    std::erase_if(shots, [&](const Shot& shot) {
      return !shot.placed && shot.look == HoleLook::Dark && inBlack(shot);
    });
  }
}

Found Analyse(const PictureView& picture, const ShotSettings& settings, const Region& region,
              double secondLook, bool screened, const Progress& progress) {
  Found f;
  const double diameter = HoleDiameterPx(settings);
  if (region.right <= region.left || region.bottom <= region.top) return f;
  f.work = MakeWorkingPicture(picture, region, diameter);
  const WorkingPicture& w = f.work;
  f.levels.scale = std::max(1, static_cast<int>(std::lround(std::sqrt(w.scaleX * w.scaleY))));
  f.levels.workDiameterPx = w.diameter;
  const CandidateSettings candidateSettings;
  f.levels.darkThreshold = candidateSettings.minResponse;
  f.levels.lightThreshold = candidateSettings.minResponse;
  f.levels.shotThreshold = ShotThreshold();
  if (!Continue(progress, 0.2)) {
    f.cancelled = true;
    return f;
  }
  PaperLevels(w.bgr, f.levels);
  f.levels.minShotContrast = kLeastStandout + kGrainLift * f.levels.paperNoise;
  f.proposals = Proposals(w.bgr, w.diameter, candidateSettings);
  f.levels.candidates = static_cast<int>(f.proposals.size());
  if (!Continue(progress, 0.35)) {
    f.cancelled = true;
    return f;
  }
  f.judged =
      JudgeProposals(w, f.proposals, secondLook, screened, progress, f.cancelled, &f.firstLook);
  if (f.cancelled) return f;

  std::vector<std::size_t> order(f.judged.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return f.judged[a].probability > f.judged[b].probability;
  });
  const double threshold = ShotThreshold();
  const double minDistance = kMinShotDistance * w.diameter;
  std::vector<cv::Point2d> kept;
  for (const std::size_t i : order) {
    const Judged& j = f.judged[i];
    if (j.probability < threshold) break;
    const bool clash = std::any_of(kept.begin(), kept.end(), [&](const cv::Point2d& k) {
      return std::hypot(k.x - j.point.x, k.y - j.point.y) < minDistance;
    });
    if (clash) continue;
    // A shot's centre lies in the region analysed.
    const double x = w.PictureX(j.point.x);
    const double y = w.PictureY(j.point.y);
    if (x < region.left - 0.5 || y < region.top - 0.5 || x > region.right - 0.5 ||
        y > region.bottom - 0.5) {
      continue;
    }
    if (Standout(w.bgr, j.point.x, j.point.y, w.diameter) < f.levels.minShotContrast) continue;
    const double lighter = DiscAgainstRing(w.bgr, j.point.x, j.point.y, w.diameter);
    const HoleLook look = lighter > 0 ? HoleLook::Light : HoleLook::Dark;
    if (settings.look != HoleLook::Auto && look != settings.look) continue;
    kept.push_back(j.point);
    f.shots.push_back({x, y, diameter, look, std::abs(lighter)});
  }
  DropPrintedCentres(picture, settings, f.levels.paperLevel, f.shots);
  if (settings.resolveGroups) ResolveGroupsIn(w, region, settings, f);
  AddHolesAgainstPrint(w, region, settings, f.shots);
  DropDarkAmongLight(settings, f.shots);
  std::sort(f.shots.begin(), f.shots.end(),
            [](const Shot& a, const Shot& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
  return f;
}

}  // namespace

ShotResult FindShots(const PictureView& picture, const ShotSettings& settings,
                     std::optional<Region> region, const Progress& progress) {
  if (const std::optional<std::string> problem = SettingsProblem(settings)) {
    throw std::invalid_argument(*problem);
  }
  Found f = Analyse(picture, settings, Clip(picture, region), SecondLookFloor(),
                    /*screened=*/true, progress);
  ShotResult result;
  result.look = settings.look;
  result.levels = f.levels;
  if (f.cancelled || !Continue(progress, 1.0)) {
    result.cancelled = true;
    return result;
  }
  result.shots = std::move(f.shots);
  return result;
}

std::optional<Shot> ShotAt(const PictureView& picture, const ShotSettings& settings, double x,
                           double y) {
  if (const std::optional<std::string> problem = SettingsProblem(settings)) {
    throw std::invalid_argument(*problem);
  }
  const double diameter = HoleDiameterPx(settings);
  if (!(x >= 0 && y >= 0 && x < picture.width && y < picture.height)) return std::nullopt;
  const double reach = 3 * diameter;
  const Region around =
      Clip(picture,
           Region{static_cast<int>(std::floor(x - reach)), static_cast<int>(std::floor(y - reach)),
                  static_cast<int>(std::ceil(x + reach)), static_cast<int>(std::ceil(y + reach))});
  // Every place near the click is judged, none set aside by the first look. A shot the analysis
  // keeps, else the most likely place the network points at near the click: the shooter says
  // there is a hole there, so a doubtful one is good enough to centre on.
  const Found f = Analyse(picture, settings, around, kSecondLook, /*screened=*/false, {});
  std::optional<Shot> nearest;
  double best = kSnapDistance * diameter;
  for (const Shot& shot : f.shots) {
    const double distance = std::hypot(shot.x - x, shot.y - y);
    if (distance <= best) {
      best = distance;
      nearest = shot;
    }
  }
  if (nearest) return nearest;
  double bestProbability = kSecondLook;
  for (const Judged& j : f.judged) {
    const double px = f.work.PictureX(j.point.x);
    const double py = f.work.PictureY(j.point.y);
    if (std::hypot(px - x, py - y) > kSnapDistance * diameter) continue;
    if (j.probability < bestProbability) continue;
    bestProbability = j.probability;
    const double lighter = DiscAgainstRing(f.work.bgr, j.point.x, j.point.y, f.work.diameter);
    nearest =
        Shot{px, py, diameter, lighter > 0 ? HoleLook::Light : HoleLook::Dark, std::abs(lighter)};
  }
  return nearest;
}

std::string_view LostAtName(LostAt lostAt) {
  switch (lostAt) {
    case LostAt::Proposals:
      return "proposals";
    case LostAt::Screen:
      return "screen";
    case LostAt::FirstLook:
      return "first look";
    case LostAt::Decision:
      return "decision";
    case LostAt::Later:
      return "later";
    case LostAt::NotLost:
      break;
  }
  return "not lost";
}

std::vector<PlaceTrace> TracePlaces(const PictureView& picture, const ShotSettings& settings,
                                    std::span<const std::pair<double, double>> places,
                                    double reachPx) {
  if (const std::optional<std::string> problem = SettingsProblem(settings)) {
    throw std::invalid_argument(*problem);
  }
  const Found f = Analyse(picture, settings, Clip(picture, std::nullopt), SecondLookFloor(),
                          /*screened=*/true, {});
  const WorkingPicture& w = f.work;
  const auto within = [&](double x, double y, const cv::Point2d& work) {
    return std::hypot(w.PictureX(work.x) - x, w.PictureY(work.y) - y) <= reachPx;
  };
  std::vector<PlaceTrace> traces;
  traces.reserve(places.size());
  for (const auto& [x, y] : places) {
    PlaceTrace trace;
    if (std::any_of(f.shots.begin(), f.shots.end(), [&](const Shot& shot) {
          return std::hypot(shot.x - x, shot.y - y) <= reachPx;
        })) {
      trace.lostAt = LostAt::NotLost;
    } else {
      // The screen answers nothing for a proposal it sets aside: the decision never saw it.
      for (std::size_t i = 0; i < f.proposals.size(); ++i) {
        if (!within(x, y, {f.proposals[i].u, f.proposals[i].v})) continue;
        const bool seen = i < f.firstLook.size() && f.firstLook[i] > 0;
        if (seen || trace.lostAt == LostAt::Proposals) {
          trace.lostAt = seen ? LostAt::FirstLook : LostAt::Screen;
        }
      }
    }
    for (const Judged& j : f.judged) {
      if (!within(x, y, j.point)) continue;
      trace.probability = std::max(trace.probability, j.probability);
      if (trace.lostAt != LostAt::NotLost) trace.lostAt = LostAt::Decision;
    }
    if (trace.lostAt == LostAt::Decision && trace.probability >= ShotThreshold()) {
      trace.lostAt = LostAt::Later;
    }
    traces.push_back(trace);
  }
  return traces;
}

double LightShare(const PictureView& picture, double x, double y, double diameterPx,
                  double paperLevel) {
  const auto grey = [&](int i, int j) {
    const std::uint32_t c = picture.Row(j)[i];
    return (((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF)) / 3.0;
  };
  const double r = diameterPx / 2;
  const int left = std::max(0, static_cast<int>(std::floor(x - 2.5 * r)));
  const int right = std::min(picture.width - 1, static_cast<int>(std::ceil(x + 2.5 * r)));
  const int top = std::max(0, static_cast<int>(std::floor(y - 2.5 * r)));
  const int bottom = std::min(picture.height - 1, static_cast<int>(std::ceil(y + 2.5 * r)));
  std::vector<double> ring;
  for (int j = top; j <= bottom; ++j)
    for (int i = left; i <= right; ++i) {
      const double d = std::hypot(i - x, j - y);
      if (d >= 1.5 * r && d <= 2.5 * r) ring.push_back(grey(i, j));
    }
  if (ring.empty()) return 0;
  std::nth_element(ring.begin(), ring.begin() + static_cast<std::ptrdiff_t>(ring.size() / 2),
                   ring.end());
  const double ink = ring[ring.size() / 2];
  // A third of the way up from the ink: a hole with a grey backing still counts as light.
  const double level = ink + (paperLevel - ink) / 3;
  int inside = 0, light = 0;
  for (int j = top; j <= bottom; ++j)
    for (int i = left; i <= right; ++i) {
      if (std::hypot(i - x, j - y) > r) continue;
      ++inside;
      light += grey(i, j) > level;
    }
  return inside > 0 ? static_cast<double>(light) / inside : 0;
}

}  // namespace holescan::shots
