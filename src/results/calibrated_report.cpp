#include "results/calibrated_report.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <vector>

namespace holescan::results {
namespace {

// Reports keep a thousandth (a micrometre, a thousandth of a pixel): more digits are noise.
// Divided, not multiplied, by the scale, so that 2.55 is written 2.55.
double Rounded(double value, double scale = 1000) {
  return std::round(value * scale) / scale + 0.0;  // + 0.0: no "-0.0"
}

void WriteGroup(JsonWriter& json, const score::GroupStats& g, const score::Distance* distance) {
  json.Key("group").BeginObject();
  json.Member("count", g.count);
  json.Member("centre_x_mm", Rounded(g.centreX)).Member("centre_y_mm", Rounded(g.centreY));
  const struct {
    const char* name;
    double score::GroupStats::*size;
  } sizes[] = {{"extreme_spread", &score::GroupStats::extremeSpread},
               {"extreme_spread_edge", &score::GroupStats::extremeSpreadEdge},
               {"mean_radius", &score::GroupStats::meanRadius},
               {"sd_x", &score::GroupStats::sdX},
               {"sd_y", &score::GroupStats::sdY},
               {"cep50", &score::GroupStats::cep50},
               {"max_radius", &score::GroupStats::maxRadius}};
  for (const auto& size : sizes) json.Member(std::string(size.name) + "_mm", Rounded(g.*size.size));
  if (distance != nullptr) {
    for (const auto& [unit, angle] :
         {std::pair{"_moa", &score::Moa}, std::pair{"_mrad", &score::Mrad}}) {
      json.Member(std::string("centre_x") + unit, Rounded(angle(g.centreX, *distance)));
      json.Member(std::string("centre_y") + unit, Rounded(angle(g.centreY, *distance)));
      for (const auto& size : sizes)
        json.Member(std::string(size.name) + unit, Rounded(angle(g.*size.size, *distance)));
    }
  }
  json.EndObject();
}

std::string Format(const char* format, double value, char separator) {
  char text[64];
  std::snprintf(text, sizeof(text), format, value);
  std::string out(text);
  for (char& c : out) {
    if (c == '.') c = separator;
  }
  return out;
}

// `value` with `digits` decimals; a value that rounds to zero has no sign ("0.00", never
// "-0.00").
std::string Fixed(double value, int digits, char separator) {
  char text[64];
  std::snprintf(text, sizeof(text), "%.*f", digits, value);
  std::string out(text);
  if (out.front() == '-' && out.find_first_of("123456789") == std::string::npos) out.erase(0, 1);
  for (char& c : out) {
    if (c == '.') c = separator;
  }
  return out;
}

std::string Padded(std::string text, std::size_t width) {
  if (text.size() < width) text.insert(0, width - text.size(), ' ');
  return text;
}

std::string Counted(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Where the resolution came from, for people.
std::string ResolutionSource(std::string_view source) {
  if (source == "file") return "from the file";
  if (source == "face") return "measured on the face's black";
  return "as given";
}

}  // namespace

void WriteCalibratedJson(JsonWriter& json, const CalibratedRecord& record,
                         const std::function<void(JsonWriter&)>& first) {
  const calibrated::CalibratedResult& r = *record.result;
  const calibrated::CalibratedSettings& settings = r.settings;
  json.BeginObject();
  if (first) first(json);
  json.Key("picture").BeginObject();
  json.Member("path", record.path).Member("width", r.width).Member("height", r.height);
  json.EndObject();
  json.Key("selection").BeginObject();
  json.Member("left", r.selection.SelLeft).Member("top", r.selection.SelTop);
  json.Member("right", r.selection.SelRight).Member("bottom", r.selection.SelBottom);
  json.EndObject();

  json.Key("analysis").BeginObject();
  json.Member("mode", "calibrated");
  json.Member("calibre_mm", Rounded(settings.calibreMm));
  json.Member("dpi", Rounded(settings.dpi));
  json.Member("dpi_source", calibrated::ResolutionSourceName(settings.dpiSource));
  if (r.faceMeasure) {
    const calibrated::FaceMeasure& m = *r.faceMeasure;
    json.Key("face_measure").BeginObject();
    json.Key("dpi");
    if (m.dpi > 0) {
      json.Double(Rounded(m.dpi));
    } else {
      json.Null();
    }
    json.Key("file_dpi");
    if (m.fileDpi) {
      json.Double(Rounded(*m.fileDpi));
    } else {
      json.Null();
    }
    json.Member("chosen", m.chosen);
    if (m.chosen) json.Member("match", Rounded(m.match)).Member("runner_up", Rounded(m.runnerUp));
    json.Member("blacks", m.blacks);
    if (m.stretch != 1) {
      json.Member("tilt_deg", Rounded(m.tiltDeg)).Member("tilt_axis_deg", Rounded(m.tiltAxisDeg));
      json.Member("ellipse_residual_px", Rounded(m.ellipseResidualPx));
    }
    json.EndObject();
  }
  json.Member("holes", shots::HoleLookName(settings.look));
  json.Key("face");
  if (settings.face != nullptr) {
    json.String(settings.face->name);
  } else {
    json.Null();
  }
  json.Member("gauge_mm", Rounded(settings.gaugeMm));
  json.Key("distance");
  if (settings.distance) {
    json.BeginObject();
    json.Member("value", settings.distance->value);
    json.Member("unit", score::DistanceUnitName(settings.distance->unit));
    json.Member("metres", Rounded(settings.distance->metres));
    json.EndObject();
  } else {
    json.Null();
  }
  json.Key("levels");
  if (r.levels) {
    const shots::Levels& l = *r.levels;
    json.BeginObject();
    json.Member("scale", l.scale);
    json.Member("work_diameter_px", Rounded(l.workDiameterPx));
    json.Member("paper_level", Rounded(l.paperLevel));
    json.Member("paper_noise", Rounded(l.paperNoise));
    json.Member("dark_threshold", Rounded(l.darkThreshold));
    json.Member("light_threshold", Rounded(l.lightThreshold));
    json.Member("min_shot_contrast", Rounded(l.minShotContrast));
    json.Member("shot_threshold", Rounded(l.shotThreshold));
    json.Member("candidates", l.candidates);
    json.EndObject();
  } else {
    json.Null();
  }
  json.EndObject();

  json.Key("aim").BeginObject();
  json.Member("x", Rounded(r.aim.x)).Member("y", Rounded(r.aim.y));
  json.Member("source", score::AimSourceName(r.aim.source));
  json.EndObject();

  json.Key("shots").BeginArray();
  int place = 0;
  for (const calibrated::Shot& shot : r.shots) {
    ++place;
    json.BeginObject();
    const auto kept = [&](double value) { return record.exactShots ? value : Rounded(value); };
    json.Member("x", kept(shot.x)).Member("y", kept(shot.y));
    json.Member("diameter_px", Rounded(shot.diameterPx));
    json.Member("look", shots::HoleLookName(shot.look));
    json.Member("contrast", kept(shot.contrast));
    json.Member("x_mm", Rounded(shot.xMm)).Member("y_mm", Rounded(shot.yMm));
    if (shot.score) {
      json.Member("score", shot.score->score);
      json.Member("decimal", Rounded(shot.score->decimal, 10));
      json.Member("inner_ten", shot.score->innerTen);
    }
    // The review's own number (the same through deletes), where it is not the shot's place.
    if (shot.number > 0 && shot.number != place) json.Member("number", shot.number);
    if (shot.edited) json.Member("edited", true);
    if (shot.placed) json.Member("placed", true);
    if (!r.bulls.empty()) json.Member("bull", shot.sheetBull);
    json.EndObject();
  }
  json.EndArray();

  if (!r.bulls.empty()) {
    json.Key("bulls").BeginArray();
    for (const calibrated::Bull& bull : r.bulls) {
      json.BeginObject();
      json.Member("bull", bull.number);
      json.Key("aim").BeginObject();
      json.Member("x", Rounded(bull.x)).Member("y", Rounded(bull.y));
      json.EndObject();
      json.Member("sighter", bull.sighter);
      json.Key("shots").BeginArray();
      for (const std::size_t i : bull.shots)
        json.Int(calibrated::ShotNumber(r.shots[i], i));
      json.EndArray();
      if (bull.total) {
        json.Key("total").BeginObject();
        json.Member("score", bull.total->score);
        json.Member("decimal", Rounded(bull.total->decimal, 10));
        json.Member("inner_tens", bull.total->innerTens);
        json.EndObject();
      }
      WriteGroup(json, bull.group, settings.distance ? &*settings.distance : nullptr);
      if (settings.expectedShots && !bull.sighter) {
        json.Member("expected", *settings.expectedShots);
        json.Member("found", static_cast<std::int64_t>(bull.shots.size()));
      }
      json.EndObject();
    }
    json.EndArray();
  }

  if (r.total) {
    json.Key("total").BeginObject();
    json.Member("score", r.total->score);
    json.Member("decimal", Rounded(r.total->decimal, 10));
    json.Member("inner_tens", r.total->innerTens);
    json.EndObject();
  }
  WriteGroup(json, r.group, settings.distance ? &*settings.distance : nullptr);
  if (const auto count = calibrated::ExpectedCount(r)) {
    json.Member("expected", count->expected);
    json.Member("found", count->found);
  }
  if (!r.warnings.empty()) {
    json.Key("warnings").BeginArray();
    for (const std::string& warning : r.warnings) json.String(warning);
    json.EndArray();
  }
  json.EndObject();
}

std::string CalibratedSummary(const CalibratedRecord& record, char separator) {
  const calibrated::CalibratedResult& r = *record.result;
  const score::Distance* distance = r.settings.distance ? &*r.settings.distance : nullptr;
  const auto mm = [&](double value) { return Fixed(value, 2, separator); };
  const auto px = [&](double value) { return Fixed(value, 1, separator) + " px"; };
  const std::size_t n = r.shots.size();
  std::string text = std::string(record.path) + ": ";
  text += n == 0 ? "no shot holes found\n"
                 : Counted(n, "shot", "shots") + ", x right and y up in mm from the point of aim\n";

  // Where the point of aim is, when there is one to tell.
  const std::string at = ", at x " + px(r.aim.x) + ", y " + px(r.aim.y) + " on the picture";
  switch (r.aim.source) {
    case score::AimSource::Face:
      text += "  point of aim: the centre of the face's black" + at + "\n";
      break;
    case score::AimSource::Given:
      text += "  point of aim: as given" + at + "\n";
      break;
    case score::AimSource::BlackNotFound:
      text += "  point of aim: the group's centre, as the face's black was not found\n";
      break;
    case score::AimSource::Group:
      if (n > 0) text += "  point of aim: the group's centre" + at + "\n";
      break;
  }
  text += "  ";
  if (r.settings.face != nullptr) text += std::string(r.settings.face->title) + ", ";
  text += "calibre " + Format("%g", r.settings.calibreMm, separator) + " mm, " +
          Format("%g", r.settings.dpi, separator) + " ppi (" +
          ResolutionSource(calibrated::ResolutionSourceName(r.settings.dpiSource)) + "), " +
          std::to_string(r.width) + " x " + std::to_string(r.height) + " pixels\n";
  if (const auto differs = calibrated::CountDiffers(r)) {
    const auto expected = static_cast<std::size_t>(std::max(0, differs->expected));
    text += "  expected " + Counted(expected, "shot", "shots") + ", found " +
            std::to_string(differs->found) + ": check the count on the target\n";
  }
  if (r.faceMeasure && r.faceMeasure->chosen && r.settings.face != nullptr) {
    text += "  face: " + std::string(r.settings.face->name) + ", chosen by its rings (match " +
            Fixed(r.faceMeasure->match, 3, separator) + ", next best " +
            Fixed(r.faceMeasure->runnerUp, 3, separator) + ")\n";
  }
  if (r.faceMeasure && r.faceMeasure->dpi > 0 &&
      r.settings.dpiSource == calibrated::ResolutionSource::Face) {
    text += "  resolution measured on " +
            Counted(static_cast<std::size_t>(r.faceMeasure->blacks), "black", "blacks") + ": " +
            Fixed(r.faceMeasure->dpi, 1, separator) + " ppi; the file stores " +
            (r.faceMeasure->fileDpi ? Fixed(*r.faceMeasure->fileDpi, 1, separator) + " ppi"
                                    : std::string("none")) +
            "\n";
  }
  if (r.faceMeasure && r.faceMeasure->stretch != 1) {
    text += "  photographed " + Fixed(r.faceMeasure->tiltDeg, 1, separator) +
            " degrees from square-on (foreshortened along " +
            Fixed(r.faceMeasure->tiltAxisDeg, 0, separator) +
            " degrees), rectified from the black's ellipse (fit residual " +
            Fixed(r.faceMeasure->ellipseResidualPx, 2, separator) + " px)\n";
  }
  if (!r.bulls.empty()) {
    std::size_t off = 0;
    for (const calibrated::Shot& shot : r.shots) off += shot.sheetBull == 0;
    text += "  sheet of " + Counted(r.bulls.size(), "bull", "bulls") + " (reading order)";
    if (off > 0) text += ", " + Counted(off, "shot", "shots") + " off target (scored 0)";
    text += "\n";
    for (const calibrated::Bull& bull : r.bulls) {
      text += "    bull " + Padded(std::to_string(bull.number), 2) + ": " +
              Counted(bull.shots.size(), "shot", "shots");
      if (bull.total) {
        text += ", score " + std::to_string(bull.total->score) + ", decimal " +
                Fixed(bull.total->decimal, 1, separator);
      }
      if (bull.sighter) text += " (sighter, not in the total)";
      if (const auto differs = calibrated::CountDiffers(r, bull))
        text += ", expected " + std::to_string(differs->expected) + ": check the count";
      text += "\n";
    }
  }
  if (n == 0) return text;

  text += "  shot     x mm     y mm";
  if (r.total) text += "  score  decimal";
  if (!r.bulls.empty()) text += "  bull";
  text += "\n";
  for (std::size_t i = 0; i < n; ++i) {
    const calibrated::Shot& s = r.shots[i];
    text += Padded(std::to_string(calibrated::ShotNumber(s, i)), 6) + Padded(mm(s.xMm), 9) + Padded(mm(s.yMm), 9);
    if (s.score) {
      text += Padded(std::to_string(s.score->score), 7) +
              Padded(Fixed(s.score->decimal, 1, separator), 9);
    }
    if (!r.bulls.empty()) text += Padded(s.sheetBull > 0 ? std::to_string(s.sheetBull) : "off", 6);
    if (s.score && s.score->innerTen) text += "  inner ten";
    if (s.edited) text += "  (edited)";
    if (s.placed) text += "  (placed, not seen)";
    text += "\n";
  }
  std::size_t placed = 0;
  for (const calibrated::Shot& s : r.shots) placed += s.placed ? 1 : 0;
  if (placed > 0) {
    text += "  " + Counted(placed, "shot", "shots") +
            (placed == 1 ? " was" : " were") +
            " not seen: placed where the group's torn area is least explained, to make the "
            "count given\n";
  }
  if (r.total) {
    text += "  total " + std::to_string(r.total->score) + ", decimal " +
            Fixed(r.total->decimal, 1, separator) + ", " +
            Counted(static_cast<std::size_t>(r.total->innerTens), "inner ten", "inner tens") + "\n";
  }

  // The group: its centre unless that is the point of aim (0 and 0 by definition), its sizes
  // from two shots on (one shot has none).
  const score::GroupStats& g = r.group;
  struct Row {
    const char* name;
    double value;
  };
  std::vector<Row> rows;
  if (r.aim.source != score::AimSource::Group && r.aim.source != score::AimSource::BlackNotFound) {
    rows.push_back({"centre x", g.centreX});
    rows.push_back({"centre y", g.centreY});
  }
  if (g.count >= 2) {
    const Row sizes[] = {{"extreme spread", g.extremeSpread},
                         {"  edge to edge", g.extremeSpreadEdge},
                         {"mean radius", g.meanRadius},
                         {"sd x", g.sdX},
                         {"sd y", g.sdY},
                         {"cep50", g.cep50},
                         {"max radius", g.maxRadius}};
    rows.insert(rows.end(), std::begin(sizes), std::end(sizes));
  }
  if (rows.empty()) return text;
  std::string head = "  group of " + Counted(static_cast<std::size_t>(g.count), "shot", "shots");
  head.resize(std::max<std::size_t>(head.size(), 25), ' ');
  text += head + Padded("mm", 8);
  if (distance != nullptr) text += Padded("MOA", 9) + Padded("mrad", 9);
  text += "\n";
  for (const Row& row : rows) {
    std::string line = std::string("    ") + row.name;
    line.resize(25, ' ');
    line += Padded(mm(row.value), 8);
    if (distance != nullptr) {
      line += Padded(mm(score::Moa(row.value, *distance)), 9);
      line += Padded(mm(score::Mrad(row.value, *distance)), 9);
    }
    text += line + "\n";
  }
  return text;
}

}  // namespace holescan::results
