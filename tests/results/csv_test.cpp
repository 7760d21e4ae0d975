#include "results/csv.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace holescan::results {
namespace {

using Row = std::vector<std::string>;

// Reads CSV back as a reader of RFC 4180 would: quoted fields may hold commas, doubled
// quotes and line breaks.
std::vector<Row> ReadCsv(const std::string& text) {
  std::vector<Row> rows;
  Row row;
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.push_back(field);
      field.clear();
    } else if (c == '\n') {
      row.push_back(field);
      field.clear();
      rows.push_back(row);
      row.clear();
    } else {
      field += c;
    }
  }
  EXPECT_TRUE(row.empty() && field.empty()) << "the last row has no line end";
  return rows;
}

const Row kHeader = {"file",  "group",         "shot",          "point.x",    "point.y", "aim.x",
                     "aim.y", "distance",      "distance.unit", "point.unit", "caliber", "target",
                     "score", "score.decimal", "inner.ten",     "bull"};

// 254 ppi: a pixel is 0.1 mm, and pixel (0, 0)'s centre is 0.05 mm from the corner.
calibrated::CalibratedResult Shots(double dpi, double calibreMm, const score::Face* face,
                                   std::optional<score::AimPoint> aim,
                                   std::vector<calibrated::Shot> shots,
                                   std::optional<score::Distance> distance = std::nullopt) {
  calibrated::CalibratedResult result;
  result.settings.dpi = dpi;
  result.settings.calibreMm = calibreMm;
  result.settings.face = face;
  result.settings.distance = distance;
  result.black.centre = aim;
  return calibrated::Rescore(std::move(result), std::move(shots));
}

calibrated::CalibratedResult RifleShots(std::optional<score::Distance> distance = std::nullopt) {
  return Shots(254, 4.5, score::FindFace("issf-air-rifle"), score::AimPoint{1000, 1000},
               {{1025, 1000}, {1000, 980, true}, {970, 1041}}, distance);
}

TEST(CsvWriter, one_row_per_shot_column_by_column) {
  std::ostringstream out;
  CsvWriter writer(out);
  writer.Add("scans/a,\"b\".png", 1, RifleShots(score::ParseDistance("10m")));
  writer.Finish();
  const std::vector<Row> rows = ReadCsv(out.str());
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], kHeader);
  EXPECT_EQ(rows[1],
            (Row{"scans/a,\"b\".png", "1", "1", "102.5500", "100.0500", "100.0500", "100.0500",
                 "10", "m", "mm", "4.5", "ISSF_10mAR", "10", "10.0", "FALSE", ""}));
  EXPECT_EQ(rows[2][3], "100.0500");
  EXPECT_EQ(rows[2][4], "98.0500");
  EXPECT_EQ(rows[2][12], "10");
  EXPECT_EQ(rows[2][13], "10.2");
  EXPECT_EQ(rows[2][14], "TRUE");
  EXPECT_EQ(rows[3][2], "3");
  EXPECT_EQ(rows[3][4], "104.1500");
  EXPECT_EQ(rows[3][12], "8");  // (-3, -4.1) mm: 5.08 mm from the aim
  EXPECT_EQ(rows[3][13], "8.9");
}

// On a sheet each row's aim is its bull's centre, and the bull column names the bull (0 off
// target).
TEST(CsvWriter, a_sheet_gives_each_shot_its_bull_and_that_bull_as_aim) {
  calibrated::CalibratedResult sheet = RifleShots();
  for (const int number : {1, 2}) {
    calibrated::Bull bull;
    bull.number = number;
    bull.x = number == 1 ? 1000 : 3000;
    bull.y = 1000;
    sheet.bulls.push_back(bull);
  }
  sheet.shots.push_back({3010, 1000});
  sheet.shots.push_back({2000, 2500});
  const calibrated::CalibratedResult scored = calibrated::Rescore(sheet, sheet.shots);
  std::ostringstream out;
  CsvWriter writer(out);
  writer.Add("sheet.png", 1, scored);
  writer.Finish();
  const std::vector<Row> rows = ReadCsv(out.str());
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[1][15], "1");
  EXPECT_EQ(rows[4][15], "2");
  EXPECT_EQ(rows[4][5], "300.0500");  // the second bull's centre
  EXPECT_EQ(rows[4][12], "10");
  EXPECT_EQ(rows[5][15], "0");  // off target
  EXPECT_EQ(rows[5][12], "0");
}

TEST(CsvWriter, several_pictures_in_one_file_and_empty_columns_without_face_or_distance) {
  std::ostringstream out;
  CsvWriter writer(out);
  writer.Add("a.png", 1, RifleShots());
  writer.Add("b.png", 2, Shots(508, 5.6, nullptr, std::nullopt, {{0, 0}, {100, 20}}));
  writer.Finish();
  const std::vector<Row> rows = ReadCsv(out.str());
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[0], kHeader);
  for (const Row& row : rows) EXPECT_EQ(row.size(), kHeader.size());
  EXPECT_EQ(rows[3][7], "");
  EXPECT_EQ(rows[3][8], "");
  EXPECT_EQ(rows[4], (Row{"b.png", "2", "1", "0.0250", "0.0250", "2.5250", "0.5250", "", "", "mm",
                          "5.6", "", "", "", "", ""}));
  EXPECT_EQ(rows[5][2], "2");
  EXPECT_EQ(rows[5][3], "5.0250");
}

TEST(CsvWriter, the_edited_column_marks_shots_set_by_hand) {
  std::ostringstream out;
  CsvWriter writer(out, true);
  writer.Add("a.png", 1, RifleShots());
  writer.Finish();
  const std::vector<Row> rows = ReadCsv(out.str());
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].back(), "edited");
  EXPECT_EQ(rows[1].back(), "FALSE");
  EXPECT_EQ(rows[2].back(), "TRUE");
  for (const Row& row : rows) EXPECT_EQ(row.size(), kHeader.size() + 1);
}

TEST(CsvWriter, the_placed_column_marks_shots_placed_for_the_count) {
  calibrated::CalibratedResult result = RifleShots();
  std::vector<calibrated::Shot> shots = result.shots;
  shots[0].placed = true;
  result = calibrated::Rescore(std::move(result), std::move(shots));
  std::ostringstream out;
  CsvWriter writer(out, true, true);
  writer.Add("a.png", 1, result);
  writer.Finish();
  const std::vector<Row> rows = ReadCsv(out.str());
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0][rows[0].size() - 2], "edited");
  EXPECT_EQ(rows[0].back(), "placed");
  EXPECT_EQ(rows[1].back(), "TRUE");
  EXPECT_EQ(rows[2].back(), "FALSE");
  for (const Row& row : rows) EXPECT_EQ(row.size(), kHeader.size() + 2);
}

TEST(CsvWriter, header_alone_without_pictures) {
  std::ostringstream out;
  CsvWriter writer(out);
  writer.Finish();
  EXPECT_EQ(out.str(), std::string(kCsvHeader) + "\n");
}

TEST(CsvField, quotes_only_what_needs_it) {
  EXPECT_EQ(CsvField("plain.png"), "plain.png");
  EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
  EXPECT_EQ(CsvField(" lead"), "\" lead\"");
  EXPECT_EQ(CsvField(""), "");
}

}  // namespace
}  // namespace holescan::results
