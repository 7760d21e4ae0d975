#include "eval/report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>

#include "io/json_writer.h"

namespace holescan::eval {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string Fixed(double v, int places) {
  if (std::isnan(v)) return "n/a";
  char text[64];
  std::snprintf(text, sizeof(text), "%.*f", places, v);
  return text;
}

// The largest error, or NaN without a TP (as the script reports it).
double MaxPx(const Score& s) {
  return s.tp > 0 ? s.maxErrPx : kNaN;
}
double MaxD(const Score& s) {
  return s.tp > 0 ? s.maxErrD : kNaN;
}

std::string Row(int nameWidth, const std::string& name, double d, const Score& s) {
  char line[512];
  std::snprintf(line, sizeof(line), "%-*s %5s %5d %4d %4d %4d %4d %6s %6s %7s %7s %6s %6s\n",
                nameWidth, name.substr(0, static_cast<std::size_t>(nameWidth)).c_str(),
                Fixed(d, 1).c_str(), s.truth, s.detections, s.tp, s.fp, s.fn,
                Fixed(s.Recall(), 2).c_str(), Fixed(s.Precision(), 2).c_str(),
                Fixed(s.MeanErrPx(), 1).c_str(), Fixed(MaxPx(s), 1).c_str(),
                Fixed(s.MeanErrD(), 2).c_str(), Fixed(MaxD(s), 2).c_str());
  return line;
}

void ScoreMembers(JsonWriter& json, const Score& s) {
  json.Member("detections", s.detections)
      .Member("truth", s.truth)
      .Member("uncertain", s.uncertain)
      .Member("TP", s.tp)
      .Member("FP", s.fp)
      .Member("FN", s.fn)
      .Member("neutral", s.neutral)
      .Member("ignored", s.ignored)
      .Member("recall", s.Recall())
      .Member("precision", s.Precision())
      .Member("mean_err_px", s.MeanErrPx())
      .Member("max_err_px", MaxPx(s))
      .Member("mean_err_D", s.MeanErrD())
      .Member("max_err_D", MaxD(s));
}

void LookMap(JsonWriter& json, const std::map<std::string, Score>& looks) {
  json.BeginObject();
  for (const auto& [look, score] : looks) {
    json.Key(look).BeginObject();
    ScoreMembers(json, score);
    json.EndObject();
  }
  json.EndObject();
}

}  // namespace

Score Total(std::span<const PictureOutcome> outcomes) {
  Score total;
  for (const PictureOutcome& o : outcomes) total.Add(o.score.score);
  return total;
}

std::string FormatTable(std::span<const PictureOutcome> outcomes) {
  int width = 16;
  for (const PictureOutcome& o : outcomes) {
    width = std::max(width, static_cast<int>(o.truth.name.size()));
  }
  width = std::min(width, 40);
  char head[512];
  std::snprintf(head, sizeof(head), "%-*s %5s %5s %4s %4s %4s %4s %6s %6s %7s %7s %6s %6s\n", width,
                "image", "D", "truth", "det", "TP", "FP", "FN", "recall", "prec", "err_px",
                "max_px", "err_D", "max_D");
  std::string text = head;
  for (const PictureOutcome& o : outcomes) {
    text += Row(width, o.truth.name, o.truth.holeDiameterPx, o.score.score);
  }
  text += Row(width, "TOTAL", kNaN, Total(outcomes));
  return text;
}

std::string FormatLookTable(const std::string& title, const std::map<std::string, Score>& looks,
                            bool withFalse) {
  int width = static_cast<int>(title.size());
  for (const auto& entry : looks) width = std::max(width, static_cast<int>(entry.first.size()));
  char line[512];
  std::snprintf(line, sizeof(line), "%-*s %5s %5s %5s %5s %6s %6s %7s %6s\n", width, title.c_str(),
                "truth", "TP", "FP", "FN", "recall", "prec", "err_px", "err_D");
  std::string text = line;
  for (const auto& [look, s] : looks) {
    std::snprintf(line, sizeof(line), "%-*s %5d %5d %5s %5d %6s %6s %7s %6s\n", width, look.c_str(),
                  s.truth, s.tp, withFalse ? std::to_string(s.fp).c_str() : "-", s.fn,
                  Fixed(s.Recall(), 2).c_str(), withFalse ? Fixed(s.Precision(), 2).c_str() : "-",
                  Fixed(s.MeanErrPx(), 1).c_str(), Fixed(s.MeanErrD(), 3).c_str());
    text += line;
  }
  return text;
}

namespace {

struct MissedCounts {
  int missed = 0;
  std::array<int, 5> lost{};  // by shots::LostAt, Proposals to Later (a missed hole is lost)
  double bestDecision = 0;    // the likeliest place judged too unlikely

  void Add(const shots::PlaceTrace& trace) {
    ++missed;
    const auto stage = static_cast<std::size_t>(trace.lostAt);
    if (stage < lost.size()) ++lost[stage];
    if (trace.lostAt == shots::LostAt::Decision) {
      bestDecision = std::max(bestDecision, trace.probability);
    }
  }
};

std::string MissedRow(int width, const std::string& name, const MissedCounts& c) {
  char line[256];
  std::snprintf(line, sizeof(line), "%-*s %6d %9d %6d %10d %8d %5d %6s\n", width,
                name.substr(0, static_cast<std::size_t>(width)).c_str(), c.missed, c.lost[0],
                c.lost[1], c.lost[2], c.lost[3], c.lost[4],
                c.lost[3] > 0 ? Fixed(c.bestDecision, 2).c_str() : "n/a");
  return line;
}

}  // namespace

std::string FormatMissedTable(std::span<const PictureOutcome> outcomes) {
  int width = 16;
  for (const PictureOutcome& o : outcomes) {
    width = std::max(width, static_cast<int>(o.truth.name.size()));
  }
  char line[256];
  std::snprintf(line, sizeof(line), "%-*s %6s %9s %6s %10s %8s %5s %6s\n", width, "missed at",
                "missed", "proposals", "screen", "first_look", "decision", "later", "best_p");
  std::string text = line;
  MissedCounts total;
  for (const PictureOutcome& o : outcomes) {
    if (o.missedAt.empty()) continue;
    MissedCounts counts;
    for (const shots::PlaceTrace& trace : o.missedAt) {
      counts.Add(trace);
      total.Add(trace);
    }
    text += MissedRow(width, o.truth.name, counts);
  }
  text += MissedRow(width, "TOTAL", total);
  return text;
}

std::string ReportJson(std::span<const PictureOutcome> outcomes, const ReportSettings& settings,
                       bool byLook) {
  std::string text;
  {
    JsonWriter json([&](std::string_view bytes) { text.append(bytes); });
    json.BeginObject();
    json.Key("settings").BeginObject();
    json.Member("calibre_mm", settings.calibreMm);
    if (settings.dpi > 0) {
      json.Member("dpi", settings.dpi);
    } else {
      json.Member("dpi", "from D");
    }
    json.Member("look", settings.look).Member("tolerance", settings.tolerance);
    json.EndObject();

    json.Key("pictures").BeginArray();
    for (const PictureOutcome& o : outcomes) {
      json.BeginObject();
      json.Member("name", o.truth.name)
          .Member("truth_file", o.truthPath)
          .Member("picture", o.picturePath);
      if (!o.truth.look.empty()) json.Member("look", o.truth.look);
      json.Member("D", o.truth.holeDiameterPx).Member("dpi", o.dpi);
      if (!o.error.empty()) json.Member("error", o.error);
      ScoreMembers(json, o.score.score);
      json.Key("missed").BeginArray();
      for (int j : o.score.missed) json.Int(j);
      json.EndArray();
      json.Key("missed_looks").BeginArray();
      for (const std::string& look : o.score.missedLooks) json.String(look);
      json.EndArray();
      if (!o.missedAt.empty()) {
        json.Key("missed_at").BeginArray();
        for (std::size_t k = 0; k < o.missedAt.size() && k < o.score.missed.size(); ++k) {
          json.BeginObject()
              .Member("hole", o.score.missed[k])
              .Member("stage", std::string(shots::LostAtName(o.missedAt[k].lostAt)))
              .Member("probability", o.missedAt[k].probability)
              .EndObject();
        }
        json.EndArray();
      }
      json.Key("shots").BeginArray();
      for (std::size_t i = 0; i < o.detections.size(); ++i) {
        json.BeginObject()
            .Member("x", o.detections[i].x)
            .Member("y", o.detections[i].y)
            .Member("hole", i < o.score.detectionHole.size() ? o.score.detectionHole[i] : -1)
            .EndObject();
      }
      json.EndArray();
      json.EndObject();
    }
    json.EndArray();

    json.Key("total").BeginObject();
    ScoreMembers(json, Total(outcomes));
    json.EndObject();

    if (byLook) {
      std::vector<Truth> truths;
      std::vector<PictureScore> scores;
      for (const PictureOutcome& o : outcomes) {
        truths.push_back(o.truth);
        scores.push_back(o.score);
      }
      json.Key("by_hole_look");
      LookMap(json, ScoreByHoleLook(truths, scores));
      json.Key("by_picture_look");
      LookMap(json, ScoreByPictureLook(truths, scores));
    }
    json.EndObject();
  }
  text += '\n';
  return text;
}

}  // namespace holescan::eval
