#include "review/shots_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <set>

#include "io/errno_reason.h"
#include "io/json_writer.h"
#include "io/output_file.h"
#include "results/calibrated_report.h"

namespace holescan::review {

namespace {

using nlohmann::json;

// A reason without the file's name; the caller adds "cannot read PATH: ".
struct Refusal {
  std::string reason;
};

const json& Member(const json& object, const char* key, json::value_t type) {
  const auto found = object.find(key);
  if (found == object.end()) throw Refusal{std::string("no \"") + key + "\""};
  const bool numberWanted = type == json::value_t::number_float;
  if (numberWanted ? !found->is_number() : found->type() != type)
    throw Refusal{std::string("\"") + key + "\" is not " +
                  (numberWanted                     ? "a number"
                   : type == json::value_t::string  ? "a string"
                   : type == json::value_t::boolean ? "true or false"
                   : type == json::value_t::array   ? "a list"
                                                    : "an object")};
  return *found;
}

double Number(const json& object, const char* key) {
  const double value = Member(object, key, json::value_t::number_float).get<double>();
  if (!std::isfinite(value)) throw Refusal{std::string("\"") + key + "\" is not finite"};
  return value;
}

std::string Text(const json& object, const char* key) {
  return Member(object, key, json::value_t::string).get<std::string>();
}

calibrated::ResolutionSource SourceOf(const json& object) {
  const auto source = calibrated::ParseResolutionSource(Text(object, "dpi_source"));
  if (!source) throw Refusal{"\"dpi_source\" is not file, option or face"};
  return *source;
}

shots::HoleLook LookOf(const json& object) {
  const auto look = shots::ParseHoleLook(Text(object, "holes"));
  if (!look) throw Refusal{"\"holes\" is not auto, dark or light"};
  return *look;
}

// A whole number of the object's, clamped to what a count can be; `fallback` when absent.
int WholeNumber(const json& object, const char* key, int fallback) {
  if (!object.contains(key)) return fallback;
  const json& value = Member(object, key, json::value_t::number_float);
  if (!value.is_number_integer())
    throw Refusal{"\"" + std::string(key) + "\" is not a whole number"};
  return static_cast<int>(std::clamp<long long>(value.get<long long>(), -1, 1000000));
}

// The settings of a calibrated JSON document (the command line's --json, the review's export).
ReviewSettings SettingsOfAnalysis(const json& analysis) {
  ReviewSettings settings;
  settings.calibreMm = Number(analysis, "calibre_mm");
  settings.dpi = Number(analysis, "dpi");
  settings.dpiSource = SourceOf(analysis);
  settings.look = LookOf(analysis);
  if (analysis.contains("face") && !analysis["face"].is_null())
    settings.face = Text(analysis, "face");
  if (analysis.contains("distance") && !analysis["distance"].is_null()) {
    const json& distance = Member(analysis, "distance", json::value_t::object);
    char value[32];
    std::snprintf(value, sizeof value, "%g", Number(distance, "value"));
    settings.distance = value + Text(distance, "unit");
  }
  return settings;
}

ReviewSettings SettingsOfFile(const json& settings) {
  ReviewSettings read;
  read.calibreMm = Number(settings, "calibre_mm");
  read.dpi = Number(settings, "dpi");
  read.look = LookOf(settings);
  read.face = Text(settings, "face");
  read.distance = Text(settings, "distance");
  read.seriesShots = WholeNumber(settings, "series", read.seriesShots);
  read.expectedShots = WholeNumber(settings, "expected_shots", read.expectedShots);
  if (settings.contains("dpi_source")) read.dpiSource = SourceOf(settings);
  return read;
}

ShotsFile Parse(const std::string& bytes, int width, int height) {
  const json document = json::parse(bytes, nullptr, false);
  if (document.is_discarded()) throw Refusal{"not a JSON file"};
  // A calibrated JSON document reopens as it is: its analysis gives the settings.
  const bool analysis = document.is_object() && document.contains("analysis") &&
                        document["analysis"].is_object() &&
                        document["analysis"].value("mode", "") == "calibrated";
  const bool saved = document.is_object() && document.contains("format");
  if (saved ? document["format"] != kShotsFormat : !analysis)
    throw Refusal{"not a holescan-review shots file"};
  ShotsFile file;
  if (saved) {
    const json& version = Member(document, "version", json::value_t::number_float);
    if (!version.is_number_integer() ||
        (version.get<long long>() != 1 && version.get<long long>() != 2))
      throw Refusal{"a version this program does not know"};
    if (version.get<long long>() == 2 && !analysis) throw Refusal{"no \"analysis\""};
    file.settings = SettingsOfFile(Member(document, "settings", json::value_t::object));
  } else {
    file.settings = SettingsOfAnalysis(document["analysis"]);
  }
  if (auto problem = SettingsProblem(file.settings)) throw Refusal{*problem};

  if (saved && document.contains("report")) {
    const json& report = Member(document, "report", json::value_t::object);
    const auto text = [&](const char* key) {
      return report.contains(key) ? Text(report, key) : std::string();
    };
    file.info = {text("shooter"), text("event"), text("date"), text("note")};
  }
  const json& shots = Member(document, "shots", json::value_t::array);
  if (shots.size() > kMaxSavedShots) throw Refusal{"too many shots"};
  file.shots.reserve(shots.size());
  std::set<int> numbers;
  for (const json& shot : shots) {
    if (!shot.is_object()) throw Refusal{"a shot is not an object"};
    // The calibrated JSON marks only the shots set by hand.
    const bool edited = analysis && !shot.contains("edited")
                            ? false
                            : Member(shot, "edited", json::value_t::boolean).get<bool>();
    ReviewShot read{Number(shot, "x"), Number(shot, "y"), edited};
    if (shot.contains("look")) {
      const auto look = shots::ParseHoleLook(Text(shot, "look"));
      if (!look || *look == shots::HoleLook::Auto) throw Refusal{"\"look\" is not dark or light"};
      read.look = *look;
    }
    if (shot.contains("contrast")) read.contrast = Number(shot, "contrast");
    if (shot.contains("placed"))
      read.placed = Member(shot, "placed", json::value_t::boolean).get<bool>();
    if (shot.contains("number")) {
      const json& number = Member(shot, "number", json::value_t::number_float);
      if (!number.is_number_integer() || number.get<long long>() < 1 ||
          number.get<long long>() > kMaxShotNumber)
        throw Refusal{"a shot's \"number\" is not a whole number from 1 to " +
                      std::to_string(kMaxShotNumber)};
      read.number = static_cast<int>(number.get<long long>());
      if (!numbers.insert(read.number).second)
        throw Refusal{"shot number " + std::to_string(read.number) + " is there twice"};
    }
    if (read.x < -0.5 || read.y < -0.5 || read.x > width - 0.5 || read.y > height - 0.5) {
      char text[96];
      std::snprintf(text, sizeof text, "shot %zu lies outside the picture", file.shots.size() + 1);
      throw Refusal{text};
    }
    file.shots.push_back(read);
  }
  // A shot without a number (every shot of a file from before numbers were kept) has its
  // place's; each number once.
  for (std::size_t i = 0; i < file.shots.size(); ++i) {
    ReviewShot& shot = file.shots[i];
    if (shot.number > 0) continue;
    shot.number = static_cast<int>(i) + 1;
    if (!numbers.insert(shot.number).second)
      throw Refusal{"shot number " + std::to_string(shot.number) + " is there twice"};
  }
  if (document.contains("bulls")) {
    const json& bulls = Member(document, "bulls", json::value_t::array);
    if (bulls.size() > kMaxSavedBulls) throw Refusal{"too many bulls"};
    const score::Face* face = FaceOf(file.settings);
    for (const json& bull : bulls) {
      if (!bull.is_object()) throw Refusal{"a bull is not an object"};
      calibrated::Bull read;
      read.number = static_cast<int>(file.bulls.size() + 1);
      if (Number(bull, "bull") != read.number)
        throw Refusal{"the bulls are not numbered 1, 2, ..."};
      const json& aim = Member(bull, "aim", json::value_t::object);
      read.x = Number(aim, "x");
      read.y = Number(aim, "y");
      if (read.x < -0.5 || read.y < -0.5 || read.x > width - 0.5 || read.y > height - 0.5)
        throw Refusal{"bull " + std::to_string(read.number) + "'s aim lies outside the picture"};
      if (bull.contains("sighter"))
        read.sighter = Member(bull, "sighter", json::value_t::boolean).get<bool>();
      if (face != nullptr) read.radiusPx = face->blackDiameterMm / 2 * file.settings.dpi / 25.4;
      file.bulls.push_back(read);
    }
  }
  return file;
}

}  // namespace

std::string ShotsFilePath(const std::string& picturePath) {
  return picturePath + ".shots.json";
}

std::optional<std::string> WriteShotsFile(const std::string& path, const std::string& pictureName,
                                          const ShotsFile& file) {
  // Without the document's result, the shots measured under the settings.
  calibrated::CalibratedResult measured;
  if (file.result == nullptr) {
    measured.settings = CalibratedOf(file.settings);
    measured = calibrated::Rescore(std::move(measured), file.shots);
  }
  const calibrated::CalibratedResult& result = file.result ? *file.result : measured;
  OutputFile out(path, OutputFile::Devices::Refuse);
  if (!out.IsOpen()) return out.OpenError();
  {
    JsonWriter json([&](std::string_view bytes) { out.Write(bytes); });
    results::WriteCalibratedJson(json, {pictureName, &result, true}, [&](JsonWriter& first) {
      first.Member("format", kShotsFormat).Member("version", 2);
      first.Key("settings")
          .BeginObject()
          .Member("calibre_mm", file.settings.calibreMm)
          .Member("dpi", file.settings.dpi)
          .Member("holes", shots::HoleLookName(file.settings.look))
          .Member("face", file.settings.face)
          .Member("distance", file.settings.distance)
          .Member("dpi_source", calibrated::ResolutionSourceName(file.settings.dpiSource))
          .Member("series", file.settings.seriesShots)
          .Member("expected_shots", file.settings.expectedShots)
          .EndObject();
      first.Key("report")
          .BeginObject()
          .Member("shooter", file.info.shooter)
          .Member("event", file.info.event)
          .Member("date", file.info.date)
          .Member("note", file.info.note)
          .EndObject();
    });
  }
  out.Write("\n");
  return out.Commit();
}

ShotsFileRead ReadShotsFile(const std::string& path, int width, int height) {
  ShotsFileRead read;
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return read;
    read.exists = true;
    read.reason = "cannot read " + path + ": " + ErrnoReason(errno);
    return read;
  }
  read.exists = true;
  const auto refuse = [&](const std::string& reason) {
    read.reason = "cannot read " + path + ": " + reason;
    return read;
  };
  if (!S_ISREG(status.st_mode)) return refuse("not a regular file");
  if (static_cast<std::size_t>(status.st_size) > kMaxShotsFileBytes) return refuse("too large");
  std::FILE* stream = std::fopen(path.c_str(), "rb");
  if (!stream) return refuse(ErrnoReason(errno));
  // One byte past the size found, so a file that grew since is seen.
  std::string bytes(static_cast<std::size_t>(status.st_size) + 1, '\0');
  const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), stream);
  const bool failed = std::ferror(stream) != 0;
  std::fclose(stream);
  if (failed) return refuse("read error");
  if (got > static_cast<std::size_t>(status.st_size)) return refuse("changed while read");
  bytes.resize(got);
  try {
    read.file = Parse(bytes, width, height);
  } catch (const Refusal& refusal) {
    return refuse(refusal.reason);
  } catch (const nlohmann::json::exception&) {
    return refuse("damaged file");
  }
  return read;
}

}  // namespace holescan::review
