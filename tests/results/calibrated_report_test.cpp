#include "results/calibrated_report.h"

#include <gtest/gtest.h>

#include <array>

#include <nlohmann/json.hpp>

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

TEST(CalibratedReport, summary_is_a_table_of_shots_then_total_and_group) {
  const Scored s;
  const std::string summary = CalibratedSummary(s.record, ',');
  EXPECT_EQ(summary.substr(0, summary.find('\n')), "scan.png: 1000 x 800 pixels, 2 shot holes");
  EXPECT_NE(summary.find("     1     1,00     0,00     10     10,6"), std::string::npos) << summary;
  EXPECT_NE(summary.find("(edited)"), std::string::npos);
  EXPECT_NE(summary.find("  total 20, decimal "), std::string::npos);
  EXPECT_NE(summary.find("mm      MOA     mrad"), std::string::npos) << summary;
}

}  // namespace
}  // namespace holescan::results
