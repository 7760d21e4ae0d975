#include "cli/outputs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>

#include <nlohmann/json.hpp>

#include "holes/scan.h"
#include "io/qt/picture_loader.h"
#include "support/json_floats.h"
#include "support/picture_writers.h"
#include "support/scratch_folder.h"

namespace holescan::cli {
namespace {

using Json = testing::FloatJson;

template <class Write>
std::string Written(Write write) {
  std::string text;
  {
    JsonWriter json([&](std::string_view bytes) { text += bytes; });
    write(json);
  }
  return text;
}

TEST(Outputs, json_floats_are_the_shortest_decimal_of_the_single_precision_value) {
  const auto number = [](float value) { return Written([&](JsonWriter& j) { j.Float(value); }); };
  EXPECT_EQ(number(4.0f / 3.0f), "1.3333334");
  EXPECT_EQ(number(0.1f), "0.1");
  EXPECT_EQ(number(2403.5f), "2403.5");
  EXPECT_EQ(number(12.0f), "12.0");
  // Every centre reads back as the same float, written as it has always been written.
  std::mt19937 random(7);
  std::uniform_int_distribution<int> counts(1, 5000);
  for (int i = 0; i < 20000; ++i) {
    const int count = counts(random);
    const int sum = std::uniform_int_distribution<int>(0, 32766 * count)(random);
    const float centre = static_cast<float>(static_cast<double>(sum) / count);
    const std::string text = number(centre);
    ASSERT_EQ(std::strtof(text.c_str(), nullptr), centre) << text;
    ASSERT_EQ(text, Json(centre).dump());
  }
}

TEST(Outputs, json_strings_and_nesting_are_laid_out_as_before) {
  const std::string path = std::string("a\"b\\c\n\x01\xC3\xA9\xFF\xE2\x82", 13) + "x\xF0\x9F\x98";
  const std::string written = Written([&](JsonWriter& j) {
    j.BeginObject().Member("path", path).Key("empty").BeginArray().EndArray();
    j.Key("none").BeginObject().EndObject().Key("list").BeginArray().Int(1);
    j.BeginObject().Member("k", true).EndObject().EndArray().EndObject();
  });
  Json expected;
  expected["path"] = path;
  expected["empty"] = Json::array();
  expected["none"] = Json::object();
  expected["list"] = {1, {{"k", true}}};
  EXPECT_EQ(written, expected.dump(2, ' ', false, Json::error_handler_t::replace));
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
  const Picture picture = DiscPicture();
  DarkMap dark(picture.Width(), picture.Height());
  Picture result(picture.Width(), picture.Height(), kResultBackground);
  HoleAnalysis analysis;
  ScanObserver quiet;
  const Selection whole = WholePicture(40, 30);
  Draw(analysis, picture.View(), whole, {dark, result}, quiet);
  const std::string path = "scans/disc.bmp";
  const Json j = Json::parse(Written([&](JsonWriter& json) {
    WriteAnalysisJson(json, {path, 40, 30, whole, analysis.Holes(), analysis.Peaks()});
  }));

  std::vector<std::string> keys;
  for (const auto& [key, value] : j.items()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"picture", "selection", "holes", "shots"}));
  EXPECT_EQ(j["picture"].dump(), R"({"path":"scans/disc.bmp","width":40,"height":30})");
  EXPECT_EQ(j["selection"].dump(), R"({"left":0,"top":0,"right":40,"bottom":30})");

  const HoleArray& holes = analysis.Holes();
  ASSERT_EQ(j["holes"].size(), holes.Size());
  EXPECT_EQ(j["holes"][0].dump(), Json({{"minX", holes[0].MinX},
                                        {"maxX", holes[0].MaxX},
                                        {"minY", holes[0].MinY},
                                        {"maxY", holes[0].MaxY},
                                        {"points", holes[0].count}})
                                      .dump());
  EXPECT_EQ(holes[0].count, 113u);  // the disc

  const HoleArray& peaks = analysis.Peaks();
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

// Small pictures go through Qt's writer, from a megapixel on through our own encoder: both
// read back pixel for pixel, with the same stored resolution.
TEST_F(OutputFiles, result_picture_reads_back_pixel_for_pixel) {
  std::optional<Resolution> qtResolution;
  for (const auto& [width, height] : {std::pair{13, 7}, std::pair{1100, 1000}}) {
    Picture picture(width, height, 0);
    std::minstd_rand noise(7);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        picture.Set(x, y, Rgb(x * 19 & 0xFF, y * 31 & 0xFF, (x * y + noise()) & 0xFF));
    for (const auto& [name, format] :
         {std::pair{"r.png", PictureFormat::Png}, std::pair{"r.bmp", PictureFormat::Bmp}}) {
      ASSERT_EQ(WritePicture(picture, format, Path(name)), std::nullopt);
      const PictureFile back = LoadPictureFile(Path(name));
      ASSERT_TRUE(back.loaded) << back.reason;
      const std::string head = testing::ReadFile(Path(name)).substr(0, 2);
      EXPECT_EQ(head, format == PictureFormat::Png ? "\x89P" : "BM");
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) ASSERT_EQ(back.picture.At(x, y), picture.At(x, y)) << name;
      if (format != PictureFormat::Png) continue;
      if (width == 13) qtResolution = back.resolution;
      ASSERT_TRUE(back.resolution);
      EXPECT_EQ(back.resolution, qtResolution);
    }
    EXPECT_EQ(WritePicture(picture, PictureFormat::Png, "/dev/full"),
              "cannot write /dev/full: no space left on device");
  }
}

}  // namespace
}  // namespace holescan::cli
