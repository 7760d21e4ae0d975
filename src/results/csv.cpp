#include "results/csv.h"

#include <charconv>
#include <cmath>

namespace holescan::results {

namespace {

// Fixed decimals, or the shortest form that reads back exactly when decimals < 0; never
// the locale's separators.
std::string Number(double value, int decimals) {
  char buffer[64];
  const auto result = decimals < 0 ? std::to_chars(buffer, buffer + sizeof buffer, value)
                                   : std::to_chars(buffer, buffer + sizeof buffer, value,
                                                   std::chars_format::fixed, decimals);
  std::string text(buffer, result.ptr);
  // A negative zero (an aim on the corner pixel's centre rounded) is written as zero.
  if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
  return text;
}

// Positions in mm from the top-left corner of pixel (0, 0), 0.1 um steps.
std::string Corner(double px, double mmPerPixel) {
  return Number((px + 0.5) * mmPerPixel, 4);
}

}  // namespace

std::string CsvField(std::string_view text) {
  const bool blankEnds = !text.empty() && (text.front() == ' ' || text.front() == '\t' ||
                                           text.back() == ' ' || text.back() == '\t');
  if (!blankEnds && text.find_first_of(",\"\r\n") == std::string_view::npos) {
    return std::string(text);
  }
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

void CsvWriter::Header() {
  if (headerWritten_) return;
  out_ << kCsvHeader << (columns_.edited ? ",edited" : "") << (columns_.placed ? ",placed" : "")
       << (columns_.fromAim ? ",from.aim.x,from.aim.y" : "")
       << (columns_.seriesShots > 0 ? ",series" : "") << '\n';
  headerWritten_ = true;
}

void CsvWriter::Add(std::string_view file, int group, const calibrated::CalibratedResult& result) {
  Header();
  const calibrated::CalibratedSettings& settings = result.settings;
  const score::Distance* distance = settings.distance ? &*settings.distance : nullptr;
  const double mmPerPixel = score::MmPerPixel(settings.dpi);
  // Everything but the point and the score is the same on every row of the picture.
  const std::string name = CsvField(file);
  const std::string aim =
      Corner(result.aim.x, mmPerPixel) + ',' + Corner(result.aim.y, mmPerPixel) + ',';
  std::string rest;
  if (distance) {
    rest +=
        Number(distance->value, -1) + ',' + std::string(score::DistanceUnitName(distance->unit));
  } else {
    rest += ',';
  }
  rest += ",mm," + Number(settings.calibreMm, -1) + ',';
  // The face names the target only when the shots are scored on it.
  if (result.total && settings.face) rest += CsvField(settings.face->shotGroupsName);
  rest += ',';

  // The series count the shots in their order; the shot's column gives its own number.
  int place = 0;
  for (const calibrated::Shot& shot : result.shots) {
    const int number = calibrated::ShotNumber(shot, static_cast<std::size_t>(place++));
    // On a sheet, each shot's aim is its own bull's centre.
    std::string shotAim = aim;
    if (shot.sheetBull > 0 && static_cast<std::size_t>(shot.sheetBull) <= result.bulls.size()) {
      const calibrated::Bull& bull = result.bulls[static_cast<std::size_t>(shot.sheetBull - 1)];
      shotAim = Corner(bull.x, mmPerPixel) + ',' + Corner(bull.y, mmPerPixel) + ',';
    }
    out_ << name << ',' << std::to_string(group) << ',' << std::to_string(number) << ','
         << Corner(shot.x, mmPerPixel) << ',' << Corner(shot.y, mmPerPixel) << ',' << shotAim
         << rest;
    if (shot.score) {
      out_ << std::to_string(shot.score->score) << ',' << Number(shot.score->tenths / 10.0, 1)
           << ',' << (shot.score->innerTen ? "TRUE" : "FALSE");
    } else {
      out_ << ",,";
    }
    out_ << ',';
    if (!result.bulls.empty()) out_ << std::to_string(shot.sheetBull);
    if (columns_.edited) out_ << (shot.edited ? ",TRUE" : ",FALSE");
    if (columns_.placed) out_ << (shot.placed ? ",TRUE" : ",FALSE");
    if (columns_.fromAim) out_ << ',' << Number(shot.xMm, 4) << ',' << Number(shot.yMm, 4);
    if (columns_.seriesShots > 0)
      out_ << ',' << std::to_string((place - 1) / columns_.seriesShots + 1);
    out_ << '\n';
  }
}

void CsvWriter::Finish() {
  Header();
  out_.flush();
}

}  // namespace holescan::results
