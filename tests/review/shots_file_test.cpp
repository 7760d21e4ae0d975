// PICTURE.shots.json: what is saved reads back the same; a damaged or foreign file is refused
// with a reason.
#include "review/shots_file.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "results/calibrated_report.h"

namespace holescan::review {
namespace {

std::string WriteText(const QTemporaryDir& dir, const char* name, const std::string& text) {
  const std::string path = dir.filePath(name).toStdString();
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TEST(ShotsFile, what_is_saved_reads_back_the_same) {
  QTemporaryDir dir;
  ShotsFile file;
  file.settings = {5.6,
                   612.5,
                   shots::HoleLook::Light,
                   "issf-air-pistol",
                   "25yd",
                   calibrated::ResolutionSource::File,
                   6,
                   60};
  file.shots = {{10.125, 20.0 / 3, false, shots::HoleLook::Light, 81.25},
                {0, 99.5, true},
                {-0.5, -0.5, true}};
  file.shots[0].placed = true;  // placed for the count, not seen
  file.info = {"A. \"Shooter\"", "club evening", "2026-12-09", "new pellets,\nwind"};
  const std::string path = ShotsFilePath(dir.filePath("a, b.png").toStdString());
  EXPECT_TRUE(path.ends_with("a, b.png.shots.json"));
  ASSERT_FALSE(WriteShotsFile(path, "a, b.png", file));
  const ShotsFileRead read = ReadShotsFile(path, 100, 100);
  ASSERT_TRUE(read.file) << read.reason;
  EXPECT_EQ(read.file->settings, file.settings);
  EXPECT_EQ(read.file->shots, file.shots);
  ASSERT_EQ(read.file->shots.size(), 3u);
  EXPECT_TRUE(read.file->shots[0].placed);
  EXPECT_FALSE(read.file->shots[1].placed);
  EXPECT_EQ(read.file->info, file.info);

  EXPECT_FALSE(ReadShotsFile(dir.filePath("none.json").toStdString(), 100, 100).exists);
  EXPECT_TRUE(WriteShotsFile(dir.filePath("no/such/folder.json").toStdString(), "x", file)
                  ->starts_with("cannot write"));
}

TEST(ShotsFile, damaged_or_foreign_files_are_refused_with_a_reason) {
  QTemporaryDir dir;
  const std::string good =
      R"({"format": "holescan-review shots", "version": 1, "settings": {"calibre_mm": 4.5,
      "dpi": 300, "holes": "auto", "face": "", "distance": ""}, "shots": [SHOTS]})";
  const auto with = [&](const std::string& shots) {
    std::string text = good;
    return text.replace(text.find("SHOTS"), 5, shots);
  };
  const std::string valid = with("");
  struct Case {
    const char* text;
    std::string content;
    const char* reason;
  };
  const Case cases[] = {
      {"empty", "", "not a JSON file"},
      {"truncated", good.substr(0, 60), "not a JSON file"},
      {"foreign", R"({"shots": []})", "not a holescan-review shots file"},
      {"array", "[1, 2]", "not a holescan-review shots file"},
      {"version", std::string(valid).replace(valid.find("1,"), 1, "3"), "a version"},
      {"type", with(R"({"x": "1", "y": 2, "edited": false})"), "\"x\" is not a number"},
      {"missing", with(R"({"x": 1, "y": 2})"), "no \"edited\""},
      {"outside", with(R"({"x": 1, "y": 2, "edited": false}, {"x": 1, "y": 100, "edited": true})"),
       "shot 2 lies outside the picture"},
      {"not object", with("3"), "a shot is not an object"},
      {"dpi", std::string(valid).replace(valid.find("300"), 3, "-30"), "resolution"},
      {"huge", std::string(valid).replace(valid.find("300"), 3, "1e999"), "not a JSON file"},
      {"holes", std::string(valid).replace(valid.find("auto"), 4, "grey"), "\"holes\""},
  };
  for (const Case& c : cases) {
    const std::string path = WriteText(dir, c.text, c.content);
    const ShotsFileRead read = ReadShotsFile(path, 100, 100);
    EXPECT_TRUE(read.exists) << c.text;
    EXPECT_FALSE(read.file) << c.text;
    EXPECT_TRUE(read.reason.starts_with("cannot read " + path + ": ")) << read.reason;
    EXPECT_NE(read.reason.find(c.reason), std::string::npos) << c.text << ": " << read.reason;
    EXPECT_EQ(read.reason.find('\n'), std::string::npos) << c.text;
  }
  const ShotsFileRead folder = ReadShotsFile(dir.path().toStdString(), 100, 100);
  EXPECT_NE(folder.reason.find("not a regular file"), std::string::npos);
}

// Files saved before the file became the calibrated JSON: every shot with its "edited", the
// settings and the report beside them.
TEST(ShotsFile, a_file_of_the_older_layout_still_opens) {
  QTemporaryDir dir;
  const std::string path = WriteText(dir, "old.shots.json", R"({
    "format": "holescan-review shots", "version": 1, "picture": "target.png",
    "settings": {"calibre_mm": 5.6, "dpi": 600, "holes": "light", "face": "issf-air-pistol",
                 "distance": "25yd", "dpi_source": "user", "series": 5, "expected_shots": 20},
    "shots": [{"x": 12.5, "y": 40, "edited": false, "look": "light", "contrast": 33.5},
              {"x": 80, "y": 7.25, "edited": true, "placed": true}],
    "report": {"shooter": "B. Shooter", "note": "wind"}})");
  const ShotsFileRead read = ReadShotsFile(path, 100, 100);
  ASSERT_TRUE(read.file) << read.reason;
  const ReviewSettings expected{5.6, 600, shots::HoleLook::Light, "issf-air-pistol", "25yd",
                                calibrated::ResolutionSource::Option, 5, 20};
  EXPECT_EQ(read.file->settings, expected);
  const std::vector<ReviewShot> shots = {{12.5, 40, false, shots::HoleLook::Light, 33.5},
                                         {80, 7.25, true}};
  EXPECT_EQ(read.file->shots, shots);
  EXPECT_TRUE(read.file->shots[1].placed);
  EXPECT_EQ(read.file->info, (ReportInfo{"B. Shooter", "", "", "wind"}));
}

// What is saved is the calibrated JSON of the document's result, member for member, with the
// review's format, settings and report before it: the command line's readers read it too.
TEST(ShotsFile, the_saved_file_is_the_calibrated_json_with_the_settings_beside_it) {
  QTemporaryDir dir;
  ShotsFile file;
  file.settings.dpi = 254;
  file.settings.face = "issf-air-rifle";
  file.settings.seriesShots = 2;
  file.shots = {{400, 300, false}, {450.125, 300, true}};
  file.info = {"C. Shooter", "", "", ""};
  calibrated::CalibratedResult result;
  result.settings = CalibratedOf(file.settings);
  result.settings.aim = score::AimPoint{400, 300};
  result = calibrated::Rescore(std::move(result), file.shots);
  file.result = &result;
  const std::string path = dir.filePath("t.png.shots.json").toStdString();
  ASSERT_FALSE(WriteShotsFile(path, "t.png", file));

  std::string exported;
  {
    JsonWriter json([&](std::string_view bytes) { exported += bytes; });
    results::WriteCalibratedJson(json, {"t.png", &result});
  }
  const nlohmann::json saved = nlohmann::json::parse(ReadAll(path));
  const nlohmann::json plain = nlohmann::json::parse(exported);
  EXPECT_EQ(saved["format"], kShotsFormat);
  EXPECT_EQ(saved["version"], 2);
  EXPECT_EQ(saved["settings"]["series"], 2);
  EXPECT_EQ(saved["report"]["shooter"], "C. Shooter");
  for (const auto& [key, value] : plain.items()) EXPECT_EQ(saved[key], value) << key;
  EXPECT_EQ(saved.size(), plain.size() + 4);
  // The scores the file holds are the result's, not measured again.
  EXPECT_EQ(saved["shots"][1]["score"], result.shots[1].score->score);
  EXPECT_EQ(saved["shots"][1]["edited"], true);

  const ShotsFileRead read = ReadShotsFile(path, 800, 600);
  ASSERT_TRUE(read.file) << read.reason;
  EXPECT_EQ(read.file->settings, file.settings);
  EXPECT_EQ(read.file->shots, file.shots);
  EXPECT_EQ(read.file->info, file.info);
}

}  // namespace
}  // namespace holescan::review
