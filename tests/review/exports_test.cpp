// File > Export: each file read back.
#include "review/exports.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "results/csv.h"
#include "review/analysis.h"
#include "review/numbers.h"
#include "review/overlay.h"
#include "review/shots_file.h"
#include "review_support.h"
#include "shots/legend.h"

namespace holescan::review {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  std::string field;
  while (std::getline(in, field, ',')) fields.push_back(field);
  if (!line.empty() && line.back() == ',') fields.emplace_back();
  return fields;
}

class Exports : public ::testing::Test {
 protected:
  void SetUp() override {
    // 254 ppi: ten pixels a millimetre; the aim at (400, 300).
    auto picture = std::make_shared<const Picture>(800, 600, Rgb(240, 238, 230));
    ReviewSettings settings;
    settings.dpi = 254;
    settings.face = "issf-air-rifle";
    settings.distance = "10m";
    document_ = std::make_unique<ReviewDocument>(dir_.filePath("card.bmp").toStdString(), settings);
    JobOutput found = holescan::testing::Finished(
        *document_, {{400, 300, false}, {450, 300, false}}, score::AimPoint{400, 300});
    found.picture = picture;
    document_->Apply(found);
    document_->AddShot(400, 330);
    base_ = dir_.filePath("out").toStdString();
  }
  QTemporaryDir dir_;
  std::unique_ptr<ReviewDocument> document_;
  std::string base_;
};

// holescan-cli's --result picture draws in the same colours, meaning the same.
TEST(Overlay, colours_are_those_of_the_command_lines_result_picture) {
  EXPECT_EQ(kFoundColour.rgb(), shots::kFoundColour);
  EXPECT_EQ(kEditedColour.rgb(), shots::kEditedColour);
  EXPECT_EQ(kAimColour.rgb(), shots::kAimColour);
  EXPECT_EQ(kCentreColour.rgb(), shots::kCentreColour);
}

TEST_F(Exports, csv_has_the_point_table_and_the_edited_column) {
  ASSERT_FALSE(ExportCsv(*document_, base_ + ".csv"));
  std::istringstream lines(ReadAll(base_ + ".csv"));
  std::string line;
  std::getline(lines, line);
  // The point table's columns as they were, then the table's mm from the aim beside them.
  EXPECT_EQ(line, std::string(results::kCsvHeader) + ",edited,from.aim.x,from.aim.y,series");
  std::vector<std::vector<std::string>> rows;
  while (std::getline(lines, line)) rows.push_back(Split(line));
  ASSERT_EQ(rows.size(), 3u);
  // Shot 3, 3 mm below the aim: points in mm from the corner, y down.
  const std::vector<std::string>& third = rows[2];
  ASSERT_EQ(third.size(), 20u);
  EXPECT_EQ(third[0], "card.bmp");
  EXPECT_EQ(third[1], "1");
  EXPECT_EQ(third[2], "3");
  EXPECT_NEAR(std::stod(third[3]), 40.05, 1e-9);
  EXPECT_NEAR(std::stod(third[4]), 33.05, 1e-9);
  EXPECT_NEAR(std::stod(third[5]), 40.05, 1e-9);
  EXPECT_NEAR(std::stod(third[6]), 30.05, 1e-9);
  EXPECT_EQ(third[7], "10");
  EXPECT_EQ(third[8], "m");
  EXPECT_EQ(third[11], "ISSF_10mAR");
  EXPECT_EQ(third[12], "9");
  EXPECT_EQ(third[13], "9.8");
  EXPECT_EQ(third[14], "FALSE");
  EXPECT_EQ(third[15], "");  // the bull: one face, no sheet
  EXPECT_EQ(third[16], "TRUE");
  EXPECT_EQ(rows[0][14], "TRUE");  // on the aim: an inner ten
  EXPECT_EQ(rows[0][16], "FALSE");
  // From the aim, right and up: shot 2 is 5 mm right, shot 3 is 3 mm below, as the table says.
  EXPECT_EQ(rows[1][17], "5.0000");
  EXPECT_EQ(rows[1][18], "0.0000");
  EXPECT_EQ(third[17], "0.0000");
  EXPECT_EQ(third[18], "-3.0000");
  EXPECT_EQ(third[19], "1");  // series of 10
  ReviewSettings settings = document_->Settings();
  settings.seriesShots = 2;
  document_->SetSettings(settings);
  ASSERT_FALSE(ExportCsv(*document_, base_ + ".csv"));
  std::istringstream again(ReadAll(base_ + ".csv"));
  std::vector<std::string> series;
  std::getline(again, line);
  while (std::getline(again, line)) series.push_back(Split(line).back());
  EXPECT_EQ(series, (std::vector<std::string>{"1", "1", "2"}));
}

TEST_F(Exports, a_cancelled_export_writes_nothing) {
  int asked = 0;
  const auto problems = ExportAll(*document_, base_, QDateTime::currentDateTime(),
                                  [&](double fraction) { return ++asked < 3 && fraction < 0.5; });
  ASSERT_EQ(problems, std::vector<std::string>{"export cancelled"});
  for (const std::string& path : ExportPathsFor(base_).All())
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path))) << path;
}

TEST_F(Exports, outputs_never_name_a_picture_of_the_session) {
  const std::string card = dir_.filePath("card.bmp").toStdString();
  const std::string other = dir_.filePath("card-shots.png").toStdString();
  std::ofstream(card) << "picture";
  std::ofstream(other) << "picture";
  // The proposal carries -shots, and steps past a picture that is open under that name.
  EXPECT_EQ(ProposedExportBase(card, {card}), dir_.filePath("card-shots").toStdString());
  EXPECT_EQ(ProposedExportBase(card, {card, other}), dir_.filePath("card-shots-2").toStdString());
  const auto clash =
      ExportClash(ExportPathsFor(dir_.filePath("card-shots").toStdString()), {card, other});
  ASSERT_TRUE(clash);
  EXPECT_EQ(*clash, "refused: " + other + " is the open picture card-shots.png");
  // The picture's saved shots, and the same picture through a link, are refused too.
  EXPECT_TRUE(ExportClash(ExportPathsFor(card + ".shots"), {card}));
  const std::string link = dir_.filePath("link.png").toStdString();
  ASSERT_TRUE(QFile::link(QString::fromStdString(other), QString::fromStdString(link)));
  EXPECT_TRUE(ExportClash(ExportPathsFor(dir_.filePath("link").toStdString()), {other}));
  EXPECT_FALSE(ExportClash(ExportPathsFor(base_), {card, other}));
  std::ofstream(base_ + ".pdf") << "an older report";
  EXPECT_EQ(ExistingFiles(ExportPathsFor(base_)), std::vector<std::string>{base_ + ".pdf"});
}

TEST_F(Exports, json_png_and_pdf_read_back) {
  EXPECT_TRUE(ExportAll(*document_, base_, QDateTime(QDate(2026, 12, 9), QTime(4, 30))).empty());
  const nlohmann::json json = nlohmann::json::parse(ReadAll(base_ + ".json"));
  ASSERT_EQ(json["shots"].size(), 3u);
  EXPECT_EQ(json["shots"][1]["x_mm"], 5.0);
  EXPECT_EQ(json["shots"][1]["score"], 9);
  EXPECT_EQ(json["shots"][2]["edited"], true);
  EXPECT_FALSE(json["shots"][1].contains("edited"));
  EXPECT_EQ(json["analysis"]["dpi_source"], "option");
  EXPECT_EQ(json["aim"]["source"], "face");
  EXPECT_EQ(json["total"]["score"], 28);
  EXPECT_EQ(json["group"]["count"], 3);
  EXPECT_EQ(json["analysis"]["dpi"], 254.0);

  QImage png(QString::fromStdString(base_ + ".png"));
  ASSERT_EQ(png.size(), QSize(800, 600));
  EXPECT_EQ(png.dotsPerMeterX(), 10000);  // the picture's 254 ppi
  // The circle of shot 2 (radius 22.5 px) in its two tones, the paper left alone away from it.
  const auto grey = [&](int x, int y) { return qGray(png.pixel(x, y)); };
  EXPECT_LT(grey(450 + 25, 300), 60);                       // the dark outer part of the line
  EXPECT_GT(QColor(png.pixel(450 + 22, 300)).blue(), 200);  // the bright middle, cyan
  EXPECT_LT(QColor(png.pixel(450 + 22, 300)).red(), 100);
  EXPECT_EQ(png.pixel(700, 550), qRgb(240, 238, 230));
  // The edited shot in its own colour.
  EXPECT_GT(QColor(png.pixel(400 + 22, 330)).red(), 200);

  const std::string pdf = ReadAll(base_ + ".pdf");
  EXPECT_TRUE(pdf.starts_with("%PDF-"));
  EXPECT_GT(pdf.size(), 10000u);
  EXPECT_NE(pdf.find("/Title"), std::string::npos);
}

TEST_F(Exports, the_exported_json_reopens_as_saved_shots) {
  ASSERT_FALSE(ExportJson(*document_, base_ + ".json"));
  const ShotsFileRead read = ReadShotsFile(base_ + ".json", 800, 600);
  ASSERT_TRUE(read.file) << read.reason;
  EXPECT_EQ(read.file->settings, document_->Settings());
  EXPECT_EQ(read.file->shots, document_->Shots());
  EXPECT_TRUE(read.file->shots[2].edited);
  EXPECT_FALSE(read.file->shots[0].edited);
}

TEST_F(Exports, an_unwritable_place_gives_one_reason_per_file) {
  const auto problems =
      ExportAll(*document_, dir_.filePath("no/folder").toStdString(), QDateTime::currentDateTime());
  ASSERT_EQ(problems.size(), 4u);
  for (const std::string& problem : problems) EXPECT_TRUE(problem.starts_with("cannot write"));
}

TEST(Report, prints_the_resolution_as_set_and_leaves_score_columns_out_when_unscored) {
  EXPECT_EQ(ResolutionText(299.9994), "300 ppi");
  EXPECT_EQ(ResolutionText(300), "300 ppi");
  EXPECT_EQ(ResolutionText(72.5), "72.5 ppi");
  // Cards at 75 and 600 ppi, at 100 m (long sizes in MOA and mrad), for looking at the page
  // (pdftoppm) when $HOLESCAN_REVIEW_SCREENSHOTS is set.
  const QString folder = qEnvironmentVariable("HOLESCAN_REVIEW_SCREENSHOTS");
  if (folder.isEmpty()) return;
  QTemporaryDir dir;
  for (const double dpi : {75.0, 600.0}) {
    const auto card =
        holescan::testing::WriteCard(dir, "card.bmp", dpi, holescan::testing::FiveShots());
    ReviewSettings settings;
    settings.face = "issf-air-rifle";
    settings.distance = "100m";
    ReviewDocument document(card.path, settings);
    std::atomic<bool> cancel{false};
    std::atomic<double> progress{0};
    JobInput input;
    input.path = card.path;
    input.settings = settings;
    document.Apply(RunJob(input, cancel, progress));
    ASSERT_EQ(document.State(), Stage::Ready) << document.Problem();
    const QString name = QStringLiteral("/report-%1ppi").arg(dpi);
    EXPECT_FALSE(ExportPdf(document, (folder + name + ".pdf").toStdString(),
                           QDateTime(QDate(2026, 12, 9), QTime(21, 0))));
    settings = document.Settings();
    settings.face.clear();
    document.SetSettings(settings);
    EXPECT_FALSE(ExportPdf(document, (folder + name + "-unscored.pdf").toStdString(),
                           QDateTime(QDate(2026, 12, 9), QTime(21, 0))));
  }
}

}  // namespace
}  // namespace holescan::review
