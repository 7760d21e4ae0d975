// A sheet of several bulls under review: the table's bull column, a statistics line per bull,
// every bull's aim in the picture, and the report, on a generated A-17 sheet.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QGraphicsScene>
#include <QLabel>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <map>

#include "results/result_picture.h"
#include "review/analysis.h"
#include "shots/legend.h"
#include "review/exports.h"
#include "review/numbers.h"
#include "review/report_panels.h"
#include "review/review_window.h"
#include "review/shot_table_model.h"
#include "review/shots_file.h"
#include "review/shot_view.h"
#include "review_support.h"

namespace holescan::review {
namespace {

constexpr double kDpi = 150;

// Bull 1 holds two shots, every other record bull one, the first sighter (bull 6) three, and
// one shot lies below bull 1 on no bull. Written as a BMP that records 150 ppi.
std::string WriteSheet(const QTemporaryDir& dir) {
  facegen::FaceOptions options;
  options.face = score::FindFace("nra-a17");
  options.sheet = true;
  options.dpi = kDpi;
  options.calibreMm = 5.6;
  options.numbers = false;
  options.seed = 5;
  using facegen::HoleLook;
  options.shots = {{-4, 0, HoleLook::Light, 0}, {4, 2, HoleLook::Light, 0}};
  for (const int bull : {1, 2, 3, 4, 7, 8, 9, 10, 11})
    options.shots.push_back({2, -3, HoleLook::Light, bull});
  for (const auto& [x, y] : {std::pair{-5.0, 0.0}, {5.0, 0.0}, {0.0, 5.0}})
    options.shots.push_back({x, y, HoleLook::Light, 5});
  options.shots.push_back({0, 40, HoleLook::Light, 0});
  const facegen::FaceTarget sheet = facegen::MakeFace(options);
  const std::string path = dir.filePath("sheet.bmp").toStdString();
  EXPECT_TRUE(facegen::WriteBmp(sheet.picture, path, kDpi)) << path;
  return path;
}

ReviewSettings SheetSettings() {
  ReviewSettings settings;
  settings.face = "nra-a17";
  settings.calibreMm = 5.6;
  settings.dpi = kDpi;
  settings.expectedShots = 1;
  return settings;
}

class Sheet : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new QTemporaryDir;
    path_ = WriteSheet(*dir_);
    document_ = new ReviewDocument(path_, SheetSettings());
    std::atomic<bool> cancel{false};
    std::atomic<double> progress{0};
    JobInput input;
    input.path = path_;
    input.settings = SheetSettings();
    document_->Apply(RunJob(input, cancel, progress));
  }
  static void TearDownTestSuite() {
    delete document_;
    delete dir_;
  }
  void SetUp() override {
    ASSERT_EQ(document_->State(), Stage::Ready) << document_->Problem();
    ASSERT_EQ(document_->Result().bulls.size(), 12u);
    ASSERT_EQ(document_->Shots().size(), 15u);
  }
  static inline QTemporaryDir* dir_ = nullptr;
  static inline std::string path_;
  static inline ReviewDocument* document_ = nullptr;
};

TEST_F(Sheet, the_table_has_a_bull_column_naming_each_shots_bull) {
  ASSERT_TRUE(IsSheet(*document_));
  ShotTableModel model;
  model.SetDocument(document_);
  ASSERT_EQ(model.columnCount(), static_cast<int>(ShotColumns().size()) + 1);
  EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "bull");
  EXPECT_EQ(ShotColumns(true).join(','),
            "#,bull,x mm,y mm,score,decimal,series,subtotal,edited");
  std::map<QString, int> shotsOn;
  for (int r = 0; r < model.rowCount(); ++r) {
    ++shotsOn[model.index(r, 1).data().toString()];
    // The other columns moved one place on, whole.
    EXPECT_EQ(model.index(r, 0).data().toString(), QString::number(r + 1));
    EXPECT_FALSE(model.index(r, 2).data().toString().isEmpty()) << r;
  }
  EXPECT_EQ(shotsOn["1"], 2);
  EXPECT_EQ(shotsOn["6 (sighter)"], 3);
  EXPECT_EQ(shotsOn["off"], 1);
  for (const char* bull : {"2", "3", "4", "5", "8", "9", "10", "11", "12"})
    EXPECT_EQ(shotsOn[bull], 1) << bull;
  EXPECT_EQ(shotsOn.count("7 (sighter)"), 0u);
}

TEST_F(Sheet, statistics_give_a_line_per_bull_after_the_sheets_total) {
  const std::vector<StatLine> lines = StatLines(*document_);
  const auto total = std::find_if(lines.begin(), lines.end(),
                                  [](const StatLine& line) { return line.label == "Total"; });
  ASSERT_NE(total, lines.end());
  ASSERT_GE(lines.end() - total, 13);
  for (int b = 1; b <= 12; ++b) {
    const StatLine& line = total[b];
    EXPECT_EQ(line.label, QStringLiteral("Bull %1").arg(b));
    EXPECT_EQ(line.value.contains("sighter"), b == 6 || b == 7) << b;
    // Only bull 1's count differs from the one shot given; a sighter never says so.
    EXPECT_EQ(line.value.contains("expected 1"), b == 1) << line.value.toStdString();
  }
  const calibrated::Bull& first = document_->Result().bulls[0];
  ASSERT_TRUE(first.total);
  EXPECT_TRUE(total[1].value.startsWith(
      QStringLiteral("2 shots, %1 (%2)")
          .arg(first.total->score)
          .arg(QString::number(first.total->decimal, 'f', 1))))
      << total[1].value.toStdString();
  EXPECT_TRUE(total[6].value.startsWith("3 shots")) << total[6].value.toStdString();
  EXPECT_TRUE(total[7].value.startsWith("0 shots")) << total[7].value.toStdString();
  EXPECT_TRUE(total[2].value.startsWith("1 shot,")) << total[2].value.toStdString();
}

TEST_F(Sheet, the_report_prints_the_sheet) {
  // The page is looked at (pdftoppm) when $HOLESCAN_REVIEW_SCREENSHOTS is set.
  const QString folder = qEnvironmentVariable("HOLESCAN_REVIEW_SCREENSHOTS");
  const std::string pdf = (folder.isEmpty() ? dir_->filePath("sheet") : folder + "/report-sheet")
                              .toStdString() + ".pdf";
  EXPECT_FALSE(ExportPdf(*document_, pdf, QDateTime(QDate(2026, 12, 10), QTime(4, 0))));
  EXPECT_TRUE(QFileInfo(QString::fromStdString(pdf)).size() > 10000);
}

// Rectangles that share more than an edge.
bool Overlap(const QRectF& a, const QRectF& b) {
  const QRectF both = a.intersected(b);
  return both.width() > 1e-6 && both.height() > 1e-6;
}

// The report's band of the sheet at 300 ppi: every bull's face, beside each bull with shots the
// close-up of its own group (enlarged, its shots all there), and the legend under the scan
// over nothing: neither the scan (whose bull 1 it used to hide) nor a drawing.
TEST_F(Sheet, the_reports_band_has_a_close_up_per_bull_with_shots_and_nothing_overlaps) {
  const double mm = 300 / 25.4;
  const QRectF space(15 * mm, 40 * mm, 180 * mm, 120 * mm);
  const Picture& scan = *document_->PictureData();
  const ReportBand band = LayOutBand(*document_, space, QSizeF(scan.Width(), scan.Height()),
                                     3, mm);
  const calibrated::CalibratedResult& result = document_->Result();
  std::size_t closeUps = 0;
  for (const calibrated::Bull& bull : result.bulls) {
    const auto of = [&](bool closeUp) {
      return std::find_if(band.drawings.begin(), band.drawings.end(),
                          [&](const PlacedDrawing& one) {
                            return one.bull == bull.number && one.closeUp == closeUp;
                          });
    };
    const auto face = of(false);
    ASSERT_NE(face, band.drawings.end()) << "bull " << bull.number;
    EXPECT_NE(face->drawing.face, nullptr) << "bull " << bull.number;
    const auto closeUp = of(true);
    if (bull.shots.empty()) {
      EXPECT_EQ(closeUp, band.drawings.end()) << "bull " << bull.number;
      continue;
    }
    ASSERT_NE(closeUp, band.drawings.end()) << "bull " << bull.number << "'s close-up";
    ++closeUps;
    EXPECT_EQ(closeUp->drawing.shots.size(), bull.shots.size()) << "bull " << bull.number;
    EXPECT_GT(closeUp->scale.ratio, face->scale.ratio) << "bull " << bull.number;
    EXPECT_TRUE(closeUp->drawing.label.contains(closeUp->scale.text))
        << closeUp->drawing.label.toStdString();
    // Beside its face, on the same row.
    EXPECT_DOUBLE_EQ(closeUp->box.top(), face->box.top()) << "bull " << bull.number;
    EXPECT_NEAR(closeUp->box.left(), face->box.right(), 1e-6) << "bull " << bull.number;
  }
  EXPECT_EQ(closeUps, 11u);
  ASSERT_FALSE(band.legend.isEmpty());
  EXPECT_FALSE(Overlap(band.legend, band.scan));
  for (std::size_t i = 0; i < band.drawings.size(); ++i) {
    const QRectF& box = band.drawings[i].box;
    EXPECT_FALSE(Overlap(band.legend, box)) << "drawing " << i;
    EXPECT_FALSE(Overlap(band.scan, box)) << "drawing " << i;
    for (std::size_t j = i + 1; j < band.drawings.size(); ++j)
      EXPECT_FALSE(Overlap(box, band.drawings[j].box)) << "drawings " << i << " and " << j;
    EXPECT_TRUE(space.contains(box)) << "drawing " << i;
  }
  EXPECT_TRUE(space.contains(band.scan));
  EXPECT_TRUE(space.contains(band.legend));
  EXPECT_LE(band.bottom, space.bottom() + 1e-6);
}

// Saved, the sheet reopens with its bulls: the same column and lines; a damaged bull is
// refused with its reason.
// The result picture (the command line's --result, the exported PNG and the report's scan)
// marks every bull's aim and the centre of each bull's own shots, not one sheet-wide pair.
TEST_F(Sheet, the_result_picture_marks_each_bulls_aim_and_group_centre) {
  const calibrated::CalibratedResult& result = document_->Result();
  ASSERT_GE(result.bulls.size(), 10u);
  const Picture marked = results::ResultPicture(document_->PictureData()->View(),
                                                {document_->Path(), &result});
  // A pixel of the colour within `reach` pixels of (x, y).
  const auto near = [&](double x, double y, int reach, std::uint32_t colour) {
    const QColor want = QColor::fromRgb(colour);
    for (int dy = -reach; dy <= reach; ++dy)
      for (int dx = -reach; dx <= reach; ++dx) {
        const int px = static_cast<int>(std::lround(x)) + dx;
        const int py = static_cast<int>(std::lround(y)) + dy;
        if (px < 0 || py < 0 || px >= marked.Width() || py >= marked.Height()) continue;
        const QColor got = QColor::fromRgb(marked.Row(py)[px]);
        if (std::abs(got.red() - want.red()) < 40 && std::abs(got.green() - want.green()) < 40 &&
            std::abs(got.blue() - want.blue()) < 40)
          return true;
      }
    return false;
  };
  int centres = 0;
  for (const calibrated::Bull& bull : result.bulls) {
    EXPECT_TRUE(near(bull.x, bull.y, 3, shots::kAimColour)) << "bull " << bull.number;
    if (const auto centre = results::BullGroupCentre(result, bull)) {
      ++centres;
      EXPECT_TRUE(near(centre->x, centre->y, 3, shots::kCentreColour)) << "bull " << bull.number;
    }
  }
  EXPECT_GE(centres, 10);
  // The legend, which the bulls leave no free corner for, hides no bull's black.
  const Picture bare = results::ResultPicture(document_->PictureData()->View(),
                                              {document_->Path(), &result}, 1, false);
  for (const calibrated::Bull& bull : result.bulls) {
    int hidden = 0;
    const int reach = static_cast<int>(std::ceil(bull.radiusPx));
    for (int dy = -reach; dy <= reach; ++dy) {
      for (int dx = -reach; dx <= reach; ++dx) {
        const int px = static_cast<int>(std::lround(bull.x)) + dx;
        const int py = static_cast<int>(std::lround(bull.y)) + dy;
        if (dx * dx + dy * dy > reach * reach || px < 0 || py < 0 || px >= bare.Width() ||
            py >= bare.Height())
          continue;
        hidden += marked.Row(py)[px] != bare.Row(py)[px];
      }
    }
    // Both pictures carry the same marks: what differs is the legend's, at most a sliver of
    // the black's edge between the points it keeps clear of.
    EXPECT_LT(hidden, 0.05 * bull.radiusPx * bull.radiusPx) << "bull " << bull.number;
  }
  // Bull 1's centre lies between its two shots, 1 mm from its aim.
  const auto first = results::BullGroupCentre(result, result.bulls.front());
  ASSERT_TRUE(first);
  EXPECT_NEAR(std::hypot(result.bulls.front().x - first->x, result.bulls.front().y - first->y) /
                  kDpi * 25.4,
              1, 0.3);
}

TEST_F(Sheet, saved_shots_bring_the_bulls_back) {
  ShotsFile file;
  file.settings = document_->Settings();
  file.shots = document_->Shots();
  file.result = &document_->Result();
  const std::string saved = ShotsFilePath(path_);
  ASSERT_FALSE(WriteShotsFile(saved, "sheet.bmp", file));
  ReviewDocument reopened(path_, SheetSettings());
  std::atomic<bool> cancel{false};
  std::atomic<double> progress{0};
  JobInput input;
  input.path = path_;
  input.settings = SheetSettings();
  reopened.Apply(RunJob(input, cancel, progress));
  ASSERT_EQ(reopened.Result().bulls.size(), 12u) << reopened.Problem();
  EXPECT_TRUE(reopened.Result().bulls[5].sighter);
  EXPECT_TRUE(reopened.Result().bulls[6].sighter);
  EXPECT_FALSE(reopened.Result().bulls[7].sighter);
  const auto bullsOf = [](const ReviewDocument& document) {
    QStringList bulls;
    for (const ShotRow& row : ShotRows(document)) bulls << row.bull;
    return bulls;
  };
  EXPECT_EQ(bullsOf(reopened), bullsOf(*document_));
  const auto linesOf = [](const ReviewDocument& document) {
    QStringList lines;
    for (const StatLine& line : StatLines(document)) lines << line.label + ": " + line.value;
    return lines;
  };
  EXPECT_EQ(linesOf(reopened), linesOf(*document_));

  const nlohmann::json json = nlohmann::json::parse(std::ifstream(saved));
  const auto refusal = [&](const nlohmann::json& damaged) {
    std::ofstream(saved, std::ios::trunc) << damaged.dump();
    return ReadShotsFile(saved, 10000, 10000).reason;
  };
  nlohmann::json damaged = json;
  damaged["bulls"][1]["bull"] = 3;
  EXPECT_TRUE(refusal(damaged).ends_with("the bulls are not numbered 1, 2, ..."))
      << refusal(damaged);
  damaged = json;
  damaged["bulls"][11]["aim"]["x"] = 20000;
  EXPECT_TRUE(refusal(damaged).ends_with("bull 12's aim lies outside the picture"))
      << refusal(damaged);
  damaged = json;
  damaged["bulls"][0]["sighter"] = "no";
  EXPECT_TRUE(refusal(damaged).ends_with("\"sighter\" is not true or false")) << refusal(damaged);
  std::remove(saved.c_str());
}

// The window on the sheet: the table's bull column, the bulls' lines, and each bull's aim
// drawn, numbered, in place of the one aim.
TEST(SheetWindow, shows_the_bull_column_the_bull_lines_and_every_bulls_aim) {
  QSettings stored;
  stored.clear();
  stored.setValue("settings/dpi", kDpi);
  stored.setValue("settings/face", "nra-a17");
  stored.setValue("settings/calibre_mm", 5.6);
  QTemporaryDir dir;
  const std::string path = WriteSheet(dir);
  ReviewWindow window;
  window.resize(1400, 900);
  window.show();
  window.OpenFiles({path});
  holescan::testing::WaitIdle(window.Analysis());
  ReviewDocument* document = window.Current();
  ASSERT_NE(document, nullptr);
  ASSERT_EQ(document->State(), Stage::Ready) << document->Problem();
  ASSERT_EQ(document->Result().bulls.size(), 12u);
  auto* table = window.findChild<QTableView*>("shots");
  EXPECT_EQ(table->model()->headerData(1, Qt::Horizontal).toString(), "bull");
  const QString stats = window.findChild<QLabel*>("statistics")->text();
  EXPECT_TRUE(stats.contains("Bull 12")) << stats.toStdString();
  EXPECT_TRUE(stats.contains("sighter")) << stats.toStdString();
  // The picture, the shots and twelve numbered crosses (the shots' mean over the whole sheet
  // is no group's centre: not drawn).
  const QGraphicsScene& scene = *window.View()->scene();
  EXPECT_EQ(scene.items().size(), 1 + static_cast<qsizetype>(document->Shots().size()) + 12);
  holescan::testing::Screenshot(window, "sheet");

  // Another face has no bulls: the column goes; undone, the sheet's bulls come back with it.
  auto* face = window.findChild<QComboBox*>("face");
  face->setCurrentIndex(face->findData(QStringLiteral("issf-air-rifle")));
  emit face->activated(face->currentIndex());
  holescan::testing::WaitIdle(window.Analysis());
  EXPECT_TRUE(document->Result().bulls.empty());
  EXPECT_EQ(table->model()->columnCount(), static_cast<int>(ShotColumns().size()));
  EXPECT_FALSE(window.findChild<QLabel*>("statistics")->text().contains("Bull 1"));
  ASSERT_TRUE(document->UndoStack().canUndo());
  document->UndoStack().undo();
  EXPECT_EQ(document->Result().bulls.size(), 12u);
  EXPECT_EQ(table->model()->columnCount(), static_cast<int>(ShotColumns(true).size()));
  EXPECT_EQ(table->model()->headerData(1, Qt::Horizontal).toString(), "bull");
}

}  // namespace
}  // namespace holescan::review
