#include "results/calibrated_report.h"

#include <gtest/gtest.h>

#include <array>

#include <nlohmann/json.hpp>
#include <sstream>

#include "results/csv.h"

namespace holescan::results {
namespace {

// Two shots on an air-rifle face at 254 ppi (10 pixels a millimetre), aimed at (500, 500).
struct Scored {
  calibrated::CalibratedResult result;
  CalibratedRecord record;

  Scored() {
    result.width = 1000;
    result.height = 800;
    result.selection = {0, 800, 0, 1000};
    result.settings.dpi = 254;
    result.settings.face = score::FindFace("issf-air-rifle");
    result.settings.distance = score::Distance{10, score::DistanceUnit::Metre, 10};
    result.levels = shots::Levels{};
    result.black.centre = score::AimPoint{500, 500};
    result =
        calibrated::Rescore(std::move(result), {{510, 500, false, shots::HoleLook::Light, 80.04},
                                                {500, 475, true, shots::HoleLook::Dark, 60}});
    record = {"scan.png", &result};
  }
};

TEST(CalibratedReport, json_holds_pixels_millimetres_scores_and_the_group) {
  const Scored s;
  std::string text;
  {
    JsonWriter json([&](std::string_view bytes) { text += bytes; });
    WriteCalibratedJson(json, s.record);
  }
  const auto j = nlohmann::ordered_json::parse(text);
  std::vector<std::string> keys;
  for (const auto& [key, value] : j.items()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"picture", "selection", "analysis", "aim", "shots",
                                            "total", "group"}));
  EXPECT_EQ(j["analysis"]["dpi_source"], "file");
  EXPECT_EQ(j["analysis"]["face"], "issf-air-rifle");
  EXPECT_EQ(j["aim"]["source"], "face");
  const auto& first = j["shots"][0];
  EXPECT_EQ(first["x_mm"], 1.0);  // right of the aim
  EXPECT_EQ(first["contrast"], 80.04);
  EXPECT_EQ(first["score"], 10);
  EXPECT_FALSE(first.contains("edited"));
  const auto& second = j["shots"][1];
  EXPECT_EQ(second["y_mm"], 2.5);  // up is positive
  EXPECT_EQ(j["group"]["centre_y_mm"], 1.25);
  EXPECT_EQ(second["decimal"], 10.0);
  EXPECT_EQ(second["edited"], true);
  EXPECT_EQ(j["total"]["score"], 20);
  EXPECT_EQ(j["group"]["count"], 2);
  EXPECT_TRUE(j["group"].contains("extreme_spread_moa"));
  EXPECT_FALSE(j["aim"].contains("warning"));
}

// Shots the review numbers itself (numbers kept through a delete): the JSON gives a number
// where it is not the shot's place, and the summary, the CSV and a bull's list use them; shots
// without one (the command line's) are numbered by place and write no number.
TEST(CalibratedReport, shots_numbered_by_the_review_keep_their_numbers) {
  Scored s;
  const auto json = [&] {
    std::string text;
    {
      JsonWriter writer([&](std::string_view bytes) { text += bytes; });
      WriteCalibratedJson(writer, s.record);
    }
    return nlohmann::json::parse(text);
  };
  EXPECT_FALSE(json()["shots"][0].contains("number"));
  s.result.shots[0].number = 1;  // its place: nothing to say
  s.result.shots[1].number = 4;
  calibrated::Bull bull;
  bull.number = 1;
  bull.x = bull.y = 500;
  s.result.bulls.push_back(bull);
  s.result = calibrated::Rescore(s.result, s.result.shots);
  const auto j = json();
  EXPECT_FALSE(j["shots"][0].contains("number"));
  EXPECT_EQ(j["shots"][1]["number"], 4);
  EXPECT_EQ(j["bulls"][0]["shots"], nlohmann::json::array({1, 4}));
  const std::string summary = CalibratedSummary(s.record, '.');
  EXPECT_NE(summary.find("\n     4 "), std::string::npos) << summary;
  EXPECT_EQ(summary.find("\n     2 "), std::string::npos) << summary;
  std::ostringstream csv;
  CsvWriter writer(csv);
  writer.Add("scan.png", 1, s.result);
  EXPECT_NE(csv.str().find("\nscan.png,1,4,"), std::string::npos) << csv.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t from = 0; from < text.size();) {
    const std::size_t to = text.find('\n', from);
    lines.push_back(text.substr(from, to - from));
    from = to + 1;
  }
  return lines;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(CalibratedReport, warnings_follow_the_group_when_there_are_some) {
  Scored s;
  s.result.warnings = {"no point of aim: nothing round"};
  std::string text;
  {
    JsonWriter json([&](std::string_view bytes) { text += bytes; });
    WriteCalibratedJson(json, s.record);
  }
  const auto j = nlohmann::ordered_json::parse(text);
  EXPECT_EQ(j.back(), nlohmann::ordered_json::array({"no point of aim: nothing round"}));
}

// A shot placed for the count is marked in the JSON and the summary; a count given that
// differs from the shots found is said in both, and the JSON gives both counts whenever one
// is given.
TEST(CalibratedReport, placed_shots_and_a_count_that_differs_are_said) {
  Scored s;
  std::vector<calibrated::Shot> shots = s.result.shots;
  shots[1].placed = true;
  s.result = calibrated::Rescore(std::move(s.result), std::move(shots));
  s.result.settings.expectedShots = 3;
  std::string text;
  {
    JsonWriter json([&](std::string_view bytes) { text += bytes; });
    WriteCalibratedJson(json, s.record);
  }
  const auto j = nlohmann::ordered_json::parse(text);
  EXPECT_FALSE(j["shots"][0].contains("placed"));
  EXPECT_EQ(j["shots"][1]["placed"], true);
  EXPECT_EQ(j["expected"], 3);
  EXPECT_EQ(j["found"], 2);
  const std::string summary = CalibratedSummary(s.record, '.');
  EXPECT_NE(summary.find("\n  expected 3 shots, found 2: check the count on the target\n"),
            std::string::npos)
      << summary;
  EXPECT_NE(summary.find("(placed, not seen)\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find("  1 shot was not seen: placed where"), std::string::npos) << summary;

  s.result.settings.expectedShots = 2;
  EXPECT_EQ(CalibratedSummary(s.record, '.').find("expected"), std::string::npos);
  s.result.settings.expectedShots.reset();
  text.clear();
  {
    JsonWriter json([&](std::string_view bytes) { text += bytes; });
    WriteCalibratedJson(json, s.record);
  }
  EXPECT_FALSE(nlohmann::ordered_json::parse(text).contains("expected"));
}

TEST(CalibratedReport, summary_is_a_table_of_shots_then_total_and_group) {
  const Scored s;
  const std::string summary = CalibratedSummary(s.record, ',');
  const std::vector<std::string> lines = Lines(summary);
  ASSERT_GE(lines.size(), 3u);
  // The first lines say what the numbers are: the axes, the unit and the origin.
  EXPECT_EQ(lines[0], "scan.png: 2 shots, x right and y up in mm from the point of aim");
  EXPECT_EQ(lines[1],
            "  point of aim: the centre of the face's black, at x 500,0 px, y 500,0 px on the "
            "picture");
  EXPECT_EQ(lines[2],
            "  ISSF 10 m air rifle, calibre 4,5 mm, 254 ppi (from the file), 1000 x 800 pixels");
  EXPECT_TRUE(Has(summary, "     1     1,00     0,00     10     10,6")) << summary;
  EXPECT_TRUE(Has(summary, "(edited)"));
  EXPECT_TRUE(Has(summary, "  total 20, decimal "));
  EXPECT_TRUE(Has(summary, "mm      MOA     mrad")) << summary;
  EXPECT_TRUE(Has(summary, "    centre x ")) << summary;
  EXPECT_TRUE(Has(summary, "    extreme spread ")) << summary;
}

// The same shots measured again under other settings (no face: the group's centre is the aim).
calibrated::CalibratedResult Again(calibrated::CalibratedResult result,
                                   const calibrated::CalibratedSettings& settings,
                                   const calibrated::BlackSearch& black = {}) {
  return calibrated::Rescore(std::move(result), settings, black);
}

TEST(CalibratedReport, summary_never_writes_minus_zero) {
  Scored s;
  // A shot a hair left of and below the aim: -0.004 mm each way.
  std::vector<calibrated::Shot> shots = s.result.shots;
  shots[0].x = 500 - 0.04;
  shots[0].y = 500 + 0.04;
  s.result = calibrated::Rescore(std::move(s.result), std::move(shots));
  ASSERT_EQ(s.result.aim.source, score::AimSource::Face);
  const std::string summary = CalibratedSummary(s.record, '.');
  EXPECT_FALSE(Has(summary, "-0.00")) << summary;
  EXPECT_FALSE(Has(summary, "-0.0 ")) << summary;
  EXPECT_TRUE(Has(summary, "     1     0.00     0.00     10     10.9  inner ten")) << summary;
}

TEST(CalibratedReport, summary_leaves_out_rows_that_say_nothing) {
  Scored s;
  // The group's centre as the point of aim, without a face: its centre is 0, 0 by definition.
  calibrated::CalibratedSettings settings = s.result.settings;
  settings.face = nullptr;
  s.result = Again(std::move(s.result), settings);
  std::string summary = CalibratedSummary(s.record, '.');
  EXPECT_TRUE(Has(summary, "  point of aim: the group's centre, at x 505.0 px, y 487.5 px"))
      << summary;
  EXPECT_FALSE(Has(summary, "centre x")) << summary;
  EXPECT_FALSE(Has(summary, "centre y")) << summary;
  EXPECT_FALSE(Has(summary, "score")) << summary;
  EXPECT_TRUE(Has(summary, "    extreme spread ")) << summary;

  // One shot has no spread: no group rows at all, with its centre the aim.
  std::vector<calibrated::Shot> one(s.result.shots.begin(), s.result.shots.begin() + 1);
  s.result = calibrated::Rescore(std::move(s.result), std::move(one));
  summary = CalibratedSummary(s.record, '.');
  EXPECT_EQ(Lines(summary).back(), "     1     0.00     0.00") << summary;
  EXPECT_EQ(Lines(summary)[0], "scan.png: 1 shot, x right and y up in mm from the point of aim");
}

TEST(CalibratedReport, summary_of_no_shots_says_so_in_words) {
  Scored s;
  calibrated::CalibratedSettings settings = s.result.settings;
  settings.face = nullptr;
  s.result = Again(std::move(s.result), settings);
  s.result = calibrated::Rescore(std::move(s.result), std::vector<calibrated::Shot>{});
  EXPECT_EQ(CalibratedSummary(s.record, '.'),
            "scan.png: no shot holes found\n"
            "  calibre 4.5 mm, 254 ppi (from the file), 1000 x 800 pixels\n");
}

TEST(CalibratedReport, a_face_not_found_is_said_in_the_summary_and_the_json) {
  Scored s;
  const calibrated::CalibratedSettings settings = s.result.settings;
  s.result = Again(std::move(s.result), settings,
                   {std::nullopt, "no point of aim: no black aiming mark found", std::nullopt});
  const std::string summary = CalibratedSummary(s.record, '.');
  EXPECT_EQ(Lines(summary)[1],
            "  point of aim: the group's centre, as the face's black was not found");
  EXPECT_FALSE(Has(summary, "centre x")) << summary;
  std::string text;
  {
    JsonWriter json([&](std::string_view bytes) { text += bytes; });
    WriteCalibratedJson(json, s.record);
  }
  const auto j = nlohmann::json::parse(text);
  EXPECT_EQ(j["aim"]["source"], "group-black-not-found");
  EXPECT_EQ(j["warnings"], nlohmann::json::array({"no point of aim: no black aiming mark found"}));
  EXPECT_FALSE(j.contains("total"));
}

// A sheet of two bulls (the second a sighter) measured on its face: every shot names its bull,
// the bulls array gives each bull's aim, shots, total and group, the summary one line a bull,
// and the face's measure is in the analysis.
TEST(CalibratedReport, a_sheet_names_each_shots_bull_and_lists_the_bulls) {
  Scored s;
  for (const int number : {1, 2}) {
    calibrated::Bull bull;
    bull.number = number;
    bull.x = number == 1 ? 500 : 900;
    bull.y = 500;
    bull.sighter = number == 2;
    s.result.bulls.push_back(bull);
  }
  s.result.settings.dpiSource = calibrated::ResolutionSource::Face;
  s.result.faceMeasure = calibrated::FaceMeasure{};
  s.result.faceMeasure->dpi = 254;
  std::vector<calibrated::Shot> shots = s.result.shots;
  shots.push_back({900, 500});  // the sighter's ten
  shots.push_back({700, 100});  // on neither bull
  s.result = calibrated::Rescore(s.result, shots);
  std::string text;
  {
    JsonWriter json([&](std::string_view bytes) { text += bytes; });
    WriteCalibratedJson(json, s.record);
  }
  const auto j = nlohmann::json::parse(text);
  EXPECT_EQ(j["analysis"]["dpi_source"], "face");
  EXPECT_EQ(j["analysis"]["face_measure"]["dpi"], 254.0);
  EXPECT_TRUE(j["analysis"]["face_measure"]["file_dpi"].is_null());
  ASSERT_EQ(j["shots"].size(), 4u);
  EXPECT_EQ(j["shots"][0]["bull"], 1);
  EXPECT_EQ(j["shots"][2]["bull"], 2);
  EXPECT_EQ(j["shots"][3]["bull"], 0);
  EXPECT_EQ(j["shots"][3]["score"], 0);
  ASSERT_EQ(j["bulls"].size(), 2u);
  EXPECT_EQ(j["bulls"][1]["aim"]["x"], 900.0);
  EXPECT_EQ(j["bulls"][1]["sighter"], true);
  EXPECT_EQ(j["bulls"][1]["shots"], nlohmann::json::array({3}));
  EXPECT_EQ(j["bulls"][1]["total"]["score"], 10);
  EXPECT_EQ(j["bulls"][0]["group"]["count"], 2);
  EXPECT_EQ(j["total"]["score"], 20);  // the sighter's 10 left out
  const std::string summary = CalibratedSummary(s.record, '.');
  EXPECT_NE(summary.find("sheet of 2 bulls (reading order), 1 shot off target (scored 0)"),
            std::string::npos)
      << summary;
  EXPECT_NE(summary.find("bull  2: 1 shot, score 10, decimal 10.9 (sighter, not in the total)"),
            std::string::npos)
      << summary;
  EXPECT_NE(summary.find("measured on the face's black"), std::string::npos) << summary;
  EXPECT_EQ(summary.find("expected"), std::string::npos) << summary;

  // The count given is each record bull's: the sighter has none, and the sheet's is the
  // record bulls' together.
  s.result.settings.expectedShots = 3;
  text.clear();
  {
    JsonWriter json([&](std::string_view bytes) { text += bytes; });
    WriteCalibratedJson(json, s.record);
  }
  const auto counted = nlohmann::json::parse(text);
  EXPECT_EQ(counted["expected"], 3);
  EXPECT_EQ(counted["found"], 2);
  EXPECT_EQ(counted["bulls"][0]["expected"], 3);
  EXPECT_EQ(counted["bulls"][0]["found"], 2);
  EXPECT_FALSE(counted["bulls"][1].contains("expected"));
  const std::string short_ = CalibratedSummary(s.record, '.');
  EXPECT_NE(short_.find(", expected 3: check the count\n    bull  2"),
            std::string::npos)
      << short_;
  EXPECT_NE(short_.find("expected 3 shots, found 2: check the count on the target"),
            std::string::npos)
      << short_;
  s.result.settings.expectedShots = 2;
  EXPECT_EQ(CalibratedSummary(s.record, '.').find("expected"), std::string::npos);
}

}  // namespace
}  // namespace holescan::results
