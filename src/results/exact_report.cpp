#include "results/exact_report.h"

#include <charconv>

namespace holescan::results {

// ---- JSON ---------------------------------------------------------------------------------

void WriteAnalysisJson(JsonWriter& json, const AnalysisRecord& r) {
  json.BeginObject();
  json.Key("picture").BeginObject();
  json.Member("path", r.path).Member("width", r.width).Member("height", r.height);
  json.EndObject();
  const Selection& s = r.selection;
  json.Key("selection").BeginObject();
  json.Member("left", s.SelLeft).Member("top", s.SelTop);
  json.Member("right", s.SelRight).Member("bottom", s.SelBottom);
  json.EndObject();
  json.Key("holes").BeginArray();
  for (Label i = 0; r.holes.Size() != 0 && i <= r.holes.UpperBound(); ++i) {
    const Hole& hole = r.holes[i];
    json.BeginObject();
    json.Member("minX", hole.MinX).Member("maxX", hole.MaxX);
    json.Member("minY", hole.MinY).Member("maxY", hole.MaxY);
    json.Member("points", hole.count);
    json.EndObject();
  }
  json.EndArray();
  json.Key("shots").BeginArray();
  for (Label i = 0; r.shots.Size() != 0 && i <= r.shots.UpperBound(); ++i) {
    const Hole& peak = r.shots[i];
    if (peak.Empty()) continue;
    json.BeginObject();
    json.Member("x", peak.CenterX).Member("y", peak.CenterY).Member("points", peak.count);
    json.Member("minX", peak.MinX).Member("maxX", peak.MaxX);
    json.Member("minY", peak.MinY).Member("maxY", peak.MaxY);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

// ---- Text for people -------------------------------------------------------------------

std::string FormatFloat(float value, char decimalSeparator) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof(text), value).ptr;
  std::string formatted(text, end);
  for (char& c : formatted) {
    if (c == '.') c = decimalSeparator;
  }
  return formatted;
}

std::string SummaryText(const AnalysisRecord& r, char decimalSeparator) {
  std::string lines;
  int shots = 0;
  for (Label i = 0; r.shots.Size() != 0 && i <= r.shots.UpperBound(); ++i) {
    const Hole& peak = r.shots[i];
    if (peak.Empty()) continue;
    ++shots;
    lines += "  shot " + std::to_string(shots) + ": x " +
             FormatFloat(peak.CenterX, decimalSeparator) + "  y " +
             FormatFloat(peak.CenterY, decimalSeparator) + "  " + std::to_string(peak.count) +
             (peak.count == 1 ? " point\n" : " points\n");
  }
  return OneLine(r.path) + ": " + std::to_string(r.width) + " x " + std::to_string(r.height) +
         " pixels, " + std::to_string(shots) + (shots == 1 ? " shot hole\n" : " shot holes\n") +
         lines;
}

}  // namespace holescan::results
