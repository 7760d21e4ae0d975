// File > Export: each file read back.
#include "review/exports.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "results/csv.h"
#include "review/analysis.h"
#include "review/numbers.h"
#include "review/overlay.h"
#include "review/report_panels.h"
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

// A page count of a PDF: its page objects, not the tree that holds them.
std::size_t PdfPages(const std::string& pdf) {
  std::size_t pages = 0;
  for (std::size_t at = pdf.find("/Type /Page"); at != std::string::npos;
       at = pdf.find("/Type /Page", at + 1))
    if (pdf.compare(at, 12, "/Type /Pages") != 0) ++pages;
  return pages;
}

TEST_F(Exports, one_pdf_has_a_page_per_picture_and_a_name_that_is_no_input) {
  const QDateTime when(QDate(2026, 12, 9), QTime(4, 30));
  const std::string path = dir_.filePath("all.pdf").toStdString();
  ReviewDocument second(dir_.filePath("second.bmp").toStdString(), document_->Settings());
  JobOutput found =
      holescan::testing::Finished(second, {{300, 200, false}}, score::AimPoint{400, 300});
  found.picture = document_->PictureData();
  second.Apply(found);
  ASSERT_FALSE(ExportReports({document_.get(), &second, document_.get()}, path, when));
  EXPECT_EQ(PdfPages(ReadAll(path)), 3u);
  ASSERT_FALSE(ExportReports({&second}, path, when));
  EXPECT_EQ(PdfPages(ReadAll(path)), 1u);
  // The single report is one page too.
  ASSERT_FALSE(ExportPdf(*document_, path, when));
  EXPECT_EQ(PdfPages(ReadAll(path)), 1u);

  // Cancelled: nothing written, the file there kept.
  std::ofstream(path, std::ios::trunc) << "kept";
  EXPECT_EQ(ExportReports({document_.get(), &second}, path, when,
                          [](double fraction) { return fraction < 0.4; }),
            "export cancelled");
  EXPECT_EQ(ReadAll(path), "kept");

  // The name proposed carries a suffix and steps past an open picture of that name.
  const std::string card = dir_.filePath("card.bmp").toStdString();
  EXPECT_EQ(ProposedReportsPath({card}), dir_.filePath("card-all-shots.pdf").toStdString());
  const std::string taken = dir_.filePath("card-all-shots.pdf").toStdString();
  EXPECT_EQ(ProposedReportsPath({card, taken}),
            dir_.filePath("card-all-shots-2.pdf").toStdString());
  EXPECT_TRUE(ExportClash(ReportsPaths(card), {card}));
}

// The face drawn from its table: each ring where its diameter puts it, black on the white,
// white on the black.
TEST(ReportDrawing, draws_the_faces_rings_at_their_diameters) {
  const score::Face& rifle = *score::FindFace("issf-air-rifle");
  constexpr double kPxPerMm = 20;
  QImage image(1200, 1200, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    DrawFaceRings(painter, rifle, QPointF(600, 600), kPxPerMm);
  }
  // The darkest and lightest grey within a pixel of `radius` mm right of the centre.
  const auto darkest = [&](double radiusMm) {
    int grey = 255;
    const int x = static_cast<int>(600 + radiusMm * kPxPerMm);
    for (int dx = -1; dx <= 1; ++dx) grey = std::min(grey, qGray(image.pixel(x + dx, 600)));
    return grey;
  };
  const auto lightest = [&](double radiusMm) {
    int grey = 0;
    const int x = static_cast<int>(600 + radiusMm * kPxPerMm);
    for (int dx = -1; dx <= 1; ++dx) grey = std::max(grey, qGray(image.pixel(x + dx, 600)));
    return grey;
  };
  for (int ring = rifle.lowestRing; ring <= 10; ++ring) {
    const double radius = rifle.RingDiameterMm(ring) / 2;
    const double black = rifle.blackDiameterMm / 2;
    if (std::abs(radius - black) < 0.1) continue;  // the black's own edge
    if (radius > black) {
      EXPECT_LT(darkest(radius), 110) << "ring " << ring;
      EXPECT_GT(darkest(radius + 0.6), 230) << "ring " << ring;
      EXPECT_GT(darkest(radius - 0.6), 230) << "ring " << ring;
    } else if (radius > 1) {
      EXPECT_GT(lightest(radius), 150) << "ring " << ring;
      EXPECT_LT(lightest(radius + 0.6), 25) << "ring " << ring;
      EXPECT_LT(lightest(radius - 0.6), 25) << "ring " << ring;
    }
  }
  EXPECT_GT(darkest(rifle.OuterDiameterMm() / 2 + 1), 250);  // nothing beyond the face
}

TEST(ReportDrawing, scales_are_round_and_fit_the_face_or_the_group) {
  TargetDrawing drawing;
  drawing.face = score::FindFace("issf-air-rifle");  // 45.5 mm across
  EXPECT_EQ(FaceScale(drawing, 62).text, "1:1");
  EXPECT_EQ(FaceScale(drawing, 40).text, "1:1.5");
  drawing.face = score::FindFace("issf-air-pistol");  // 155.5 mm across
  EXPECT_EQ(FaceScale(drawing, 62).text, "1:3");
  // A group of 6 mm with a 4.5 mm calibre: enlarged, and never past the box.
  drawing.shots = {{1, 1, "1"}, {7, 1, "2"}, {4, 5, "3"}};
  const DrawingScale closeUp = CloseUpScale(drawing, 62);
  EXPECT_EQ(closeUp.text, "4:1");
  EXPECT_EQ(closeUp.centreMm, QPointF(4, 3));
  EXPECT_EQ(RatioText(1 / 2.5), "1:2.5");
}

// The report page at ten pixels a millimetre: beside the scan, the scored face at 1:1 (its
// outer ring 45.5 mm across) above the close-up; unscored, no face at all.
TEST_F(Exports, the_report_draws_the_face_to_scale_only_when_scored) {
  const QDateTime when(QDate(2026, 12, 9), QTime(4, 30));
  // The dark pixels of the drawings' column, from under the header to above the close-up.
  struct Dark {
    int count = 0, left = 1 << 30, right = -1, top = 1 << 30, bottom = -1;
  };
  const auto dark = [](const QImage& page) {
    Dark found;
    for (int y = 370; y < 980; ++y)
      for (int x = 1260; x < 1940; ++x)
        if (qGray(page.pixel(x, y)) < 60) {
          ++found.count;
          found.left = std::min(found.left, x);
          found.right = std::max(found.right, x);
          found.top = std::min(found.top, y);
          found.bottom = std::max(found.bottom, y);
        }
    return found;
  };
  const Dark scored = dark(ReportImage(*document_, when, 254));
  EXPECT_GT(scored.count, 60000);  // the black, 30.5 mm across
  EXPECT_NEAR(scored.right - scored.left + 1, 455, 4);
  EXPECT_NEAR(scored.bottom - scored.top + 1, 455, 4);
  ReviewSettings settings = document_->Settings();
  settings.face.clear();
  document_->SetSettings(settings);
  EXPECT_LT(dark(ReportImage(*document_, when, 254)).count, 15000);
}

// One card's band: the scan, its legend under it, the whole face above the close-up of the
// group on the right; no two of them overlap, and all keep within the band.
TEST_F(Exports, the_reports_band_puts_the_legend_where_it_covers_nothing) {
  const double mm = 10;
  const QRectF space(150, 400, 1800, 1400);
  const ReportBand band = LayOutBand(*document_, space, QSizeF(800, 600), 4, mm);
  ASSERT_EQ(band.drawings.size(), 2u);
  EXPECT_FALSE(band.drawings[0].closeUp);
  EXPECT_TRUE(band.drawings[1].closeUp);
  EXPECT_EQ(band.drawings[1].drawing.shots.size(), 3u);
  std::vector<QRectF> boxes = {band.scan, band.legend};
  for (const PlacedDrawing& one : band.drawings) boxes.push_back(one.box);
  ASSERT_GE(band.legend.height(), 4 * 3 * mm);  // a line a legend entry
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    EXPECT_TRUE(space.contains(boxes[i])) << i;
    for (std::size_t j = i + 1; j < boxes.size(); ++j) {
      const QRectF both = boxes[i].intersected(boxes[j]);
      EXPECT_FALSE(both.width() > 1e-6 && both.height() > 1e-6) << i << " and " << j;
    }
  }
  // The scan as large as the column and the legend allow, at its own aspect.
  EXPECT_NEAR(band.scan.width() / band.scan.height(), 800.0 / 600, 1e-9);
  EXPECT_GT(band.scan.width(), 1000);
}

TEST(Report, prints_the_resolution_as_set_and_leaves_score_columns_out_when_unscored) {
  EXPECT_EQ(ResolutionText(299.9994), "300 ppi");
  EXPECT_EQ(ResolutionText(300), "300 ppi");
  EXPECT_EQ(ResolutionText(72.5), "72.5 ppi");
  ReviewSettings measured;
  measured.dpi = 299.9994;
  measured.face = "issf-air-pistol";
  EXPECT_EQ(ReportSettingsLine(measured).toStdString(),
            "calibre 4.5 mm, 300 ppi, holes auto, face ISSF 10 m air pistol");
  measured.dpiSource = calibrated::ResolutionSource::Face;
  EXPECT_EQ(
      ReportSettingsLine(measured).toStdString(),
      "calibre 4.5 mm, 300 ppi (measured on the face), holes auto, face ISSF 10 m air pistol");
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
  // A tight group on a 75-ppi card, for its close-up.
  using facegen::HoleLook;
  const auto card = holescan::testing::WriteCard(dir, "group.bmp", 75,
                                                 {{-2, 1, HoleLook::Light},
                                                  {1, -2, HoleLook::Light},
                                                  {3, 2, HoleLook::Light},
                                                  {-1, 4, HoleLook::Light},
                                                  {2, 0.5, HoleLook::Light}});
  ReviewSettings settings;
  settings.face = "issf-air-rifle";
  ReviewDocument document(card.path, settings);
  std::atomic<bool> cancel{false};
  std::atomic<double> progress{0};
  JobInput input;
  input.path = card.path;
  input.settings = settings;
  document.Apply(RunJob(input, cancel, progress));
  ASSERT_EQ(document.State(), Stage::Ready) << document.Problem();
  EXPECT_FALSE(ExportPdf(document, (folder + "/report-75ppi-group.pdf").toStdString(),
                         QDateTime(QDate(2026, 12, 9), QTime(21, 0))));

  // $HOLESCAN_REVIEW_REPORT_PICTURES, "PICTURE[=FACE];..." (generated pictures), into one PDF
  // of all of them, report-all.pdf.
  std::vector<std::unique_ptr<ReviewDocument>> documents;
  for (const QString& item :
       qEnvironmentVariable("HOLESCAN_REVIEW_REPORT_PICTURES").split(';', Qt::SkipEmptyParts)) {
    ReviewSettings each;
    each.face = item.section('=', 1).toStdString();
    const std::string path = item.section('=', 0, 0).toStdString();
    auto opened = std::make_unique<ReviewDocument>(path, each);
    JobInput job;
    job.path = path;
    job.settings = each;
    opened->Apply(RunJob(job, cancel, progress));
    ASSERT_EQ(opened->State(), Stage::Ready) << path << ": " << opened->Problem();
    documents.push_back(std::move(opened));
  }
  std::vector<const ReviewDocument*> all;
  for (const auto& one : documents) all.push_back(one.get());
  if (!all.empty()) {
    EXPECT_FALSE(ExportReports(all, (folder + "/report-all.pdf").toStdString(),
                               QDateTime(QDate(2026, 12, 9), QTime(21, 0))));
  }
}

}  // namespace
}  // namespace holescan::review
