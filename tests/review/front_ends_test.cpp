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

}  // namespace
}  // namespace holescan::review
