#include "cli/outputs.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <random>

#include "cli/headless_toolkit.h"
#include "io/qt/picture_loader.h"
#include "support/picture_writers.h"
#include "support/scratch_folder.h"

namespace holescan::cli {
namespace {

TEST(Outputs, json_floats_are_the_shortest_decimal_of_the_single_precision_value) {
  EXPECT_EQ(Json(4.0f / 3.0f).dump(), "1.3333334");
  EXPECT_EQ(Json(0.1f).dump(), "0.1");
  EXPECT_EQ(Json(2403.5f).dump(), "2403.5");
  EXPECT_EQ(Json(12.0f).dump(), "12.0");
  // Every centre reads back as the same float, with no more digits than the shortest form.
  std::mt19937 random(7);
  std::uniform_int_distribution<int> counts(1, 5000);
  for (int i = 0; i < 20000; ++i) {
    const int count = counts(random);
    const int sum = std::uniform_int_distribution<int>(0, 32766 * count)(random);
    const float centre = static_cast<float>(static_cast<double>(sum) / count);
    const std::string text = Json(centre).dump();
    ASSERT_EQ(std::strtof(text.c_str(), nullptr), centre) << text;
    std::string shortest = FormatFloat(centre, '.');
    if (shortest.find('.') == std::string::npos) shortest += ".0";
    ASSERT_EQ(text.size(), shortest.size()) << text << " vs " << shortest;
  }
}

TEST(Outputs, user_separator_leaves_the_process_locale_alone) {
  ASSERT_EQ(::setenv("LC_ALL", "C", 1), 0);
  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  EXPECT_EQ(UserDecimalSeparator(), '.');
  EXPECT_EQ(std::string(std::setlocale(LC_NUMERIC, nullptr)), before);
  ::unsetenv("LC_ALL");
}

// A white picture with one black disc: one hole, at least one shot hole.
Picture DiscPicture() {
  Picture picture(40, 30, 0xFFFFFFFFu);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      if ((x - 15) * (x - 15) + (y - 12) * (y - 12) <= 36) picture.Set(x, y, 0xFF000000u);
  return picture;
}

TEST(Outputs, json_holds_the_picture_rectangle_holes_and_shots_in_order) {
  HeadlessToolkit toolkit([](const std::string&) { return PictureFile{true, DiscPicture(), {}}; });
  Form1 form(toolkit);
  form.TextFilename = "scans/disc.bmp";
  ASSERT_FALSE(form.CmdLoad_Click());
  ASSERT_FALSE(form.CmdDraw_Click());
  const Json j = AnalysisJson("scans/disc.bmp", form);

  EXPECT_EQ(j.dump(), Json::parse(j.dump()).dump());
  std::vector<std::string> keys;
  for (const auto& [key, value] : j.items()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"picture", "selection", "holes", "shots"}));
  EXPECT_EQ(j["picture"].dump(), R"({"path":"scans/disc.bmp","width":40,"height":30})");
  EXPECT_EQ(j["selection"].dump(), R"({"left":0,"top":0,"right":40,"bottom":30})");

  const HoleArray& holes = form.Analysis().Holes();
  ASSERT_EQ(j["holes"].size(), holes.Size());
  EXPECT_EQ(j["holes"][0].dump(), Json({{"minX", holes[0].MinX},
                                        {"maxX", holes[0].MaxX},
                                        {"minY", holes[0].MinY},
                                        {"maxY", holes[0].MaxY},
                                        {"points", holes[0].count}})
                                      .dump());
  EXPECT_EQ(holes[0].count, 113u);  // the disc

  const HoleArray& peaks = form.Analysis().Peaks();
  std::size_t shots = 0;
  for (Label i = 0; i <= peaks.UpperBound(); ++i) {
    if (peaks[i].Empty()) continue;
    const Json& shot = j["shots"][shots++];
    EXPECT_EQ(shot["x"].get<float>(), peaks[i].CenterX);
    EXPECT_EQ(shot["y"].get<float>(), peaks[i].CenterY);
    EXPECT_EQ(shot["points"].get<std::uint32_t>(), peaks[i].count);
    EXPECT_EQ(shot["maxY"].get<int>(), peaks[i].MaxY);
  }
  EXPECT_GE(shots, 1u);
  EXPECT_EQ(j["shots"].size(), shots);
}

class OutputFiles : public testing::ScratchFolder {};

TEST_F(OutputFiles, write_failures_name_the_file_and_the_reason) {
  EXPECT_EQ(WriteBytes(Path("no/such/folder/r.txt"), "x"),
            "cannot write " + Path("no/such/folder/r.txt") + ": no such file or directory");
  // The device accepts the open and fails when the buffered bytes reach it.
  EXPECT_EQ(WriteBytes("/dev/full", "x"), "cannot write /dev/full: no space left on device");
  EXPECT_EQ(WritePicture(DiscPicture(), PictureFormat::Png, "/dev/full"),
            "cannot write /dev/full: no space left on device");
  EXPECT_EQ(WriteBytes(Path("r.txt"), std::string("a\0b", 3)), std::nullopt);
  EXPECT_EQ(testing::ReadFile(Path("r.txt")), std::string("a\0b", 3));
}

TEST_F(OutputFiles, result_picture_reads_back_pixel_for_pixel) {
  Picture picture(13, 7, 0);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 13; ++x) picture.Set(x, y, Rgb(x * 19, y * 31, (x * y) & 0xFF));
  for (const auto& [name, format] :
       {std::pair{"r.png", PictureFormat::Png}, std::pair{"r.bmp", PictureFormat::Bmp}}) {
    ASSERT_EQ(WritePicture(picture, format, Path(name)), std::nullopt);
    const PictureFile back = LoadPictureFile(Path(name));
    ASSERT_TRUE(back.loaded) << back.reason;
    const std::string head = testing::ReadFile(Path(name)).substr(0, 2);
    EXPECT_EQ(head, format == PictureFormat::Png ? "\x89P" : "BM");
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 13; ++x) ASSERT_EQ(back.picture.At(x, y), picture.At(x, y)) << name;
  }
}

}  // namespace
}  // namespace holescan::cli
