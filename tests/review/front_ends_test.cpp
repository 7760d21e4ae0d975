// The command line and the review window on the same picture and settings: one calibrated
// analysis, so the same record, field by field.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <atomic>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli.h"
#include "review/analysis.h"
#include "review/exports.h"
#include "review/numbers.h"
#include "review_support.h"

namespace holescan::review {
namespace {

nlohmann::json ReadJson(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return nlohmann::json::parse(bytes.str());
}

TEST(FrontEnds, the_command_line_and_the_review_give_the_same_record) {
  QTemporaryDir dir;
  const auto card =
      holescan::testing::WriteCard(dir, "card.bmp", 150, holescan::testing::FiveShots());
  // The rifle face is found and scores; the pistol's black is not on the card: a warning,
  // the group's centre as the aim, and still every output.
  for (const char* face : {"issf-air-rifle", "issf-air-pistol"}) {
    const std::string fromCli = dir.filePath("cli.json").toStdString();
    ASSERT_EQ(cli::Run({"-q", "--calibre", "4.5mm", "--face", face, "--distance", "10m", "--json",
                        fromCli, card.path}),
              cli::kExitOk);

    JobInput input;
    input.path = card.path;
    input.settings.dpi = 300;  // the file's 150 wins, as on the command line
    input.settings.face = face;
    input.settings.distance = "10m";
    std::atomic<bool> cancel{false};
    std::atomic<double> progress{0};
    ReviewDocument document(card.path, input.settings);
    document.Apply(RunJob(input, cancel, progress));
    ASSERT_EQ(document.State(), Stage::Ready) << document.Problem();
    const std::string fromReview = dir.filePath("review.json").toStdString();
    ASSERT_FALSE(ExportJson(document, fromReview));

    const nlohmann::json cli = ReadJson(fromCli), review = ReadJson(fromReview);
    // Five shots on the card; the learned decision may take one printed mark for a sixth.
    EXPECT_GE(cli["shots"].size(), 5u) << face;
    EXPECT_LE(cli["shots"].size(), 6u) << face;
    EXPECT_EQ(cli["analysis"]["dpi"], 150.0);
    EXPECT_EQ(cli["analysis"]["dpi_source"], "file");
    for (const auto& [key, value] : cli.items())
      EXPECT_EQ(value, review[key]) << face << " " << key;
    EXPECT_EQ(cli.size(), review.size());
    if (std::string(face) == "issf-air-rifle") {
      EXPECT_EQ(cli["aim"]["source"], "face");
      EXPECT_TRUE(cli.contains("total"));
    } else {
      EXPECT_EQ(cli["aim"]["source"], "group-black-not-found");
      EXPECT_FALSE(cli.contains("total"));
      ASSERT_EQ(cli["warnings"].size(), 1u);
      EXPECT_EQ(document.Problem(), cli["warnings"][0].get<std::string>());
    }
  }
}

// A card photographed 30 degrees from square-on, its resolution given: the review measures the
// shots on the face rectified from the black's ellipse, as the command line does, whether the
// face is set before the shots are found or chosen after.
TEST(FrontEnds, a_tilted_photo_is_rectified_in_the_review_as_on_the_command_line) {
  QTemporaryDir dir;
  facegen::FaceOptions options;
  options.face = score::FindFace("issf-air-pistol");
  options.dpi = 150;
  options.numbers = false;
  options.tiltDeg = 30;
  options.tiltAxisDeg = 60;
  options.noise = 3;
  options.shots = {{0, 0}, {20, 0}, {0, 30}, {-45, 10}};
  const facegen::FaceTarget card = facegen::MakeFace(options);
  const std::string path = dir.filePath("photo.bmp").toStdString();
  ASSERT_TRUE(facegen::WriteBmp(card.picture, path, 0));
  const std::string fromCli = dir.filePath("cli.json").toStdString();
  ASSERT_EQ(cli::Run({"-q", "--calibre", "4.5mm", "--dpi", "150", "--face", "issf-air-pistol",
                      "--json", fromCli, path}),
            cli::kExitOk);
  const nlohmann::json cli = ReadJson(fromCli);
  ASSERT_TRUE(cli["analysis"].contains("face_measure"));
  EXPECT_NEAR(cli["analysis"]["face_measure"]["tilt_deg"].get<double>(), 30, 1);
  ASSERT_TRUE(cli.contains("total"));

  std::atomic<bool> cancel{false};
  std::atomic<double> progress{0};
  JobInput input;
  input.path = path;
  input.settings.dpi = 150;
  input.settings.face = "issf-air-pistol";
  ReviewDocument document(path, input.settings);
  document.Apply(RunJob(input, cancel, progress));
  ASSERT_EQ(document.State(), Stage::Ready) << document.Problem();
  const std::string fromReview = dir.filePath("review.json").toStdString();
  ASSERT_FALSE(ExportJson(document, fromReview));
  const nlohmann::json review = ReadJson(fromReview);
  for (const auto& [key, value] : cli.items()) EXPECT_EQ(value, review[key]) << key;

  // The shots found without a face, the face chosen after: the picture is analysed again with
  // it, its black found as the ellipse it is, and every shot found and scored as on the command
  // line.
  JobInput bare = input;
  bare.settings.face.clear();
  ReviewDocument later(path, bare.settings);
  later.Apply(RunJob(bare, cancel, progress));
  ASSERT_EQ(later.State(), Stage::Ready) << later.Problem();
  ReviewSettings withFace = later.Settings();
  withFace.face = "issf-air-pistol";
  ASSERT_EQ(later.SetSettings(withFace), ReviewDocument::Rework::Shots);
  JobInput aim;
  aim.kind = JobKind::Shots;
  aim.path = path;
  aim.picture = later.PictureData();
  aim.settings = later.Settings();
  aim.generation = later.Generation();
  later.Begin(JobKind::Shots);
  later.Apply(RunJob(aim, cancel, progress));
  ASSERT_EQ(later.State(), Stage::Ready) << later.Problem();
  EXPECT_TRUE(later.Problem().empty()) << later.Problem();
  const std::string fromLater = dir.filePath("later.json").toStdString();
  ASSERT_FALSE(ExportJson(later, fromLater));
  const nlohmann::json after = ReadJson(fromLater);
  EXPECT_EQ(after["total"], cli["total"]);
  double tilt = 0;  // what the numbers say of the angle the photo was taken at
  for (const StatLine& line : StatLines(later))
    if (line.label == "Photographed") tilt = line.value.section(QChar(0xb0), 0, 0).toDouble();
  EXPECT_NEAR(tilt, 30, 1);
  ASSERT_EQ(after["shots"].size(), cli["shots"].size());
  for (std::size_t i = 0; i < cli["shots"].size(); ++i) {
    EXPECT_EQ(after["shots"][i]["score"], cli["shots"][i]["score"]) << i;
    EXPECT_NEAR(after["shots"][i]["x_mm"].get<double>(), cli["shots"][i]["x_mm"].get<double>(),
                1e-6)
        << i;
  }
}

}  // namespace
}  // namespace holescan::review
