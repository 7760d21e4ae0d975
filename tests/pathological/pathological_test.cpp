// Pictures at the edges of what the analysis was made for, through holescan-cli: 4000 x 4000
// of solid black, of a checkerboard of single dark pixels and of noise, pictures one pixel
// wide or high, a scan rectangle two rows high, and the largest face under heavy grain. Each
// "Draw" must finish within 60 seconds and 1.5 GiB and give what the behaviour says; the facts
// checked are computed here independently of the engine. The pictures are written at test time.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "facegen.h"
#include "limited_run.h"
#include "pixel/darkness.h"
#include "pixel/picture.h"
#include "support/random.h"
#include "support/scratch_folder.h"
#include "targetgen.h"

namespace holescan {
namespace {

using testing::Ending;
using testing::kMiB;

constexpr int kSide = 4000;
constexpr std::uint32_t kBlack = Rgb(0, 0, 0);
constexpr std::uint32_t kPaper = Rgb(235, 230, 220);
const std::chrono::seconds kTimeLimit{60};
constexpr std::uint64_t kMemoryLimit = 1536 * kMiB;

bool Dark(std::uint32_t pixel) {
  return DarknessByteTable()[static_cast<std::size_t>(ColourSum(pixel))] > kDarkThreshold;
}

// The number of holes the analysis ends with, counted independently: the 4-connected dark
// regions within rows top..bottom of the picture with more than 4 pixels and a span of at
// most 150 columns and 150 rows; when there is none, every region stays, emptied (or the
// empty placeholder when there is no region at all).
std::size_t HolesLeft(const Picture& picture, int top, int bottom) {
  const int width = picture.Width();
  const auto at = [&](int x, int y) { return static_cast<std::uint32_t>((y - top) * width + x); };
  std::vector<std::uint32_t> parent(static_cast<std::size_t>((bottom - top + 1) * width));
  std::iota(parent.begin(), parent.end(), 0u);
  const auto find = [&](std::uint32_t i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
  };
  for (int y = top; y <= bottom; ++y)
    for (int x = 0; x < width; ++x) {
      if (!Dark(picture.At(x, y))) continue;
      if (x > 0 && Dark(picture.At(x - 1, y))) parent[find(at(x, y))] = find(at(x - 1, y));
      if (y > top && Dark(picture.At(x, y - 1))) parent[find(at(x, y))] = find(at(x, y - 1));
    }
  struct Extent {
    int count = 0;
    std::int16_t minX = 32767, maxX = -1, minY = 32767, maxY = -1;
  };
  std::vector<Extent> extents(parent.size());
  for (int y = top; y <= bottom; ++y)
    for (int x = 0; x < width; ++x) {
      if (!Dark(picture.At(x, y))) continue;
      Extent& e = extents[find(at(x, y))];
      ++e.count;
      e.minX = std::min(e.minX, static_cast<std::int16_t>(x));
      e.maxX = std::max(e.maxX, static_cast<std::int16_t>(x));
      e.minY = std::min(e.minY, static_cast<std::int16_t>(y));
      e.maxY = std::max(e.maxY, static_cast<std::int16_t>(y));
    }
  const auto regions = static_cast<std::size_t>(
      std::count_if(extents.begin(), extents.end(), [](const Extent& e) { return e.count > 0; }));
  const auto kept =
      static_cast<std::size_t>(std::count_if(extents.begin(), extents.end(), [](const Extent& e) {
        return e.count > 4 && e.maxX - e.minX <= 150 && e.maxY - e.minY <= 150;
      }));
  return kept > 0 ? kept : std::max<std::size_t>(regions, 1);
}

class Pathological : public ::testing::Test {
 protected:
  // Writes the picture, runs holescan-cli on it with `options`, checks the limits and keeps
  // what it wrote; every run also asks for the report (r.txt).
  Ending Analyse(const Picture& picture, std::vector<std::string> options) {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    EXPECT_TRUE(targetgen::WriteBmp(picture, (folder_ / "picture.bmp").string()));
    std::vector<std::string> arguments{HOLESCAN_CLI, "--report", "r.txt"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    arguments.emplace_back("picture.bmp");
    testing::Limits limits;
    limits.time = kTimeLimit;
    limits.addressSpace = 8 * kMemoryLimit;  // a runaway stops; the peak is checked below
    const Ending e = testing::RunLimited(arguments, folder_, {}, limits);
    std::printf("[ measured ] %s: %d x %d, %.1f s, peak %.0f MiB\n", name.c_str(), picture.Width(),
                picture.Height(), e.seconds, static_cast<double>(e.peakBytes) / kMiB);
    RecordProperty("seconds", std::to_string(e.seconds));
    RecordProperty("peak_mib", std::to_string(e.peakBytes / kMiB));
    EXPECT_FALSE(e.timedOut);
    EXPECT_EQ(e.signal, 0);
    EXPECT_EQ(e.status, 0) << e.err;
    EXPECT_EQ(e.err, "");
    EXPECT_LT(e.peakBytes, kMemoryLimit);
    return e;
  }
  // The calibrated analysis of the picture at `dpi`, within the same limits.
  nlohmann::json AnalyseCalibrated(const Picture& picture, int dpi) {
    EXPECT_TRUE(targetgen::WriteBmp(picture, (folder_ / "picture.bmp").string()));
    const std::vector<std::string> arguments{
        HOLESCAN_CLI, "--calibre", "4.5mm", "--dpi", std::to_string(dpi), "--json", "j.json",
        "picture.bmp"};
    testing::Limits limits;
    limits.time = kTimeLimit;
    limits.addressSpace = 8 * kMemoryLimit;
    const Ending e = testing::RunLimited(arguments, folder_, {}, limits);
    std::printf("[ measured ] calibrated at %d ppi: %d x %d, %.1f s, peak %.0f MiB\n", dpi,
                picture.Width(), picture.Height(), e.seconds,
                static_cast<double>(e.peakBytes) / kMiB);
    EXPECT_FALSE(e.timedOut);
    EXPECT_EQ(e.signal, 0);
    EXPECT_EQ(e.status, 0) << e.err;
    EXPECT_LT(e.peakBytes, kMemoryLimit);
    return e.status == 0 ? Json() : nlohmann::json();
  }
  std::string Read(const char* file) const { return testing::ReadFile(folder_ / file); }
  nlohmann::json Json() const { return nlohmann::json::parse(Read("j.json")); }

  testing::TemporaryFolder scratch_{"patho"};
  const std::filesystem::path& folder_ = scratch_.Get();
};

TEST_F(Pathological, all_black_is_one_hole_rejected_twice_and_voted_over_its_whole_box) {
  const Ending e =
      Analyse(Picture(kSide, kSide, kBlack), {"--json", "j.json", "--messages", "m.txt"});
  EXPECT_EQ(e.out, "picture.bmp: 4000 x 4000 pixels, 0 shot holes\n");
  // One hole, rejected as too wide and too tall; compaction keeps the emptied hole with its
  // box, so the vote walks all of it: 4000 rows of 4000 zero votes.
  EXPECT_EQ(Read("m.txt"),
            "=-=Made new Hole 1\nRemoved (too wide ) : 0\nRemoved (too tall ) : 0\n");
  const nlohmann::json holes = Json()["holes"];
  ASSERT_EQ(holes.size(), 1u);
  EXPECT_EQ(holes[0], nlohmann::json::parse(
                          R"({"minX": 0, "maxX": 3999, "minY": 0, "maxY": 3999, "points": 0})"));
  std::string row;
  for (int x = 0; x < kSide; ++x) row += "0\t";
  row += "\r\n";
  const std::string report = Read("r.txt");
  ASSERT_EQ(report.size(), row.size() * kSide + 2);
  for (int y = 0; y < kSide; ++y)
    ASSERT_EQ(report.compare(row.size() * y, row.size(), row), 0) << "row " << y;
  EXPECT_EQ(report.substr(report.size() - 2), "\r\n");
}

TEST_F(Pathological, a_checkerboard_is_eight_million_holes_all_rejected_then_all_voted) {
  Picture board(kSide, kSide, kPaper);
  for (int y = 0; y < kSide; ++y)
    for (int x = y % 2; x < kSide; x += 2) board.Set(x, y, kBlack);
  const Ending e = Analyse(board, {"--save-darkmap", "d.dat"});
  EXPECT_EQ(e.out, "picture.bmp: 4000 x 4000 pixels, 0 shot holes\n");
  // Every hole is one pixel, too small; with every hole emptied, compaction keeps all 8
  // million, and each is voted as a box of one cell with no point in it.
  const std::string report = Read("r.txt");
  const std::string block = "0\t\r\n\r\n";
  ASSERT_EQ(report.size(), block.size() * kSide * kSide / 2);
  for (std::size_t at = 0; at < report.size(); at += block.size())
    ASSERT_EQ(report.compare(at, block.size(), block), 0) << "block " << at / block.size();
  const std::string map = Read("d.dat");
  ASSERT_EQ(map.size(), static_cast<std::size_t>(kSide + 1) * (kSide + 1));
  EXPECT_EQ(static_cast<unsigned char>(map[0]), 255);
  EXPECT_LT(static_cast<unsigned char>(map[1]), kDarkThreshold);
}

// Black, a checkerboard of single pixels and noise at the lowest, a usual and a high
// resolution: the calibrated analysis ends within the limits; paper of one level or of a
// pattern finer than any hole has no shot.
TEST_F(Pathological, the_calibrated_analysis_ends_within_the_limits_on_every_picture) {
  Picture board(kSide, kSide, kPaper);
  for (int y = 0; y < kSide; ++y)
    for (int x = y % 2; x < kSide; x += 2) board.Set(x, y, kBlack);
  Picture noise(kSide, kSide, kPaper);
  testing::Random random(11);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x)
      noise.Set(x, y, Rgb(random.Byte(), random.Byte(), random.Byte()));
  for (const int dpi : {50, 300, 1200}) {
    SCOPED_TRACE(dpi);
    EXPECT_EQ(AnalyseCalibrated(Picture(kSide, kSide, kBlack), dpi)["shots"].size(), 0u);
    EXPECT_EQ(AnalyseCalibrated(board, dpi)["shots"].size(), 0u);
    AnalyseCalibrated(noise, dpi);
  }
}

TEST_F(Pathological, the_json_of_eight_million_holes_is_written_within_the_limits) {
  Picture board(kSide, kSide, kPaper);
  for (int y = 0; y < kSide; ++y)
    for (int x = y % 2; x < kSide; x += 2) board.Set(x, y, kBlack);
  Analyse(board, {"--json", "j.json"});
  // Counted, not parsed: the document is close to a gigabyte.
  std::ifstream json(folder_ / "j.json", std::ios::binary);
  std::size_t holes = 0;
  std::string line;
  while (std::getline(json, line)) holes += line.find("\"points\": ") != std::string::npos;
  EXPECT_EQ(holes, static_cast<std::size_t>(kSide) * kSide / 2);
}

TEST_F(Pathological, noise_with_half_the_pixels_dark_keeps_exactly_the_plausible_regions) {
  Picture noise(kSide, kSide, kPaper);
  testing::Random random(2024);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; x += 64) {
      const std::uint64_t bits = random.Next();
      for (int i = 0; i < 64; ++i)
        if ((bits >> i) & 1u) noise.Set(x + i, y, kBlack);
    }
  Analyse(noise, {"--json", "j.json"});
  EXPECT_EQ(Json()["holes"].size(), HolesLeft(noise, 0, kSide - 1));
}

TEST_F(Pathological, one_pixel_wide_and_one_pixel_high_pictures) {
  // A column and a row of 4000 pixels: a run of 100 dark pixels (kept), a run of 3000 (too
  // long) and single dark pixels (too small).
  for (const bool wide : {false, true}) {
    SCOPED_TRACE(wide ? "4000 x 1" : "1 x 4000");
    Picture line(wide ? kSide : 1, wide ? 1 : kSide, kPaper);
    auto set = [&](int i) { wide ? line.Set(i, 0, kBlack) : line.Set(0, i, kBlack); };
    for (int i = 100; i < 200; ++i) set(i);
    for (int i = 1000; i < 4000; ++i) set(i);
    for (int i = 300; i < 900; i += 50) set(i);
    Analyse(line, {"--json", "j.json"});
    const nlohmann::json holes = Json()["holes"];
    ASSERT_EQ(holes.size(), 1u);
    EXPECT_EQ(holes[0]["points"], 100);
    EXPECT_EQ(holes[0][wide ? "minX" : "minY"], 100);
    EXPECT_EQ(holes[0][wide ? "maxX" : "maxY"], 199);
    EXPECT_EQ(Json()["shots"].size(), 0u);  // a box one pixel across has no peak
    // Votes along the run: half the run's pixels within 6 of the cell, 3.5 at its ends and
    // 6.5 inside; one field per line down a column, all on one line along a row.
    const std::string report = Read("r.txt");
    const std::string separator = wide ? "\t" : "\t\r\n";
    EXPECT_EQ(report.rfind("3.5" + separator + "4" + separator + "4.5" + separator, 0), 0u)
        << report.substr(0, 40);
    EXPECT_NE(report.find("6.5" + separator + "6.5" + separator), std::string::npos);
  }
}

TEST_F(Pathological, black_lines_as_long_as_a_picture_may_be) {
  // 32766 pixels, the longest side: one hole reaching the last coordinate, too long, and
  // voted over its whole box.
  for (const bool wide : {false, true}) {
    SCOPED_TRACE(wide ? "32766 x 1" : "1 x 32766");
    const Ending e =
        Analyse(Picture(wide ? kMaxPictureSide : 1, wide ? 1 : kMaxPictureSide, kBlack),
                {"--json", "j.json"});
    const nlohmann::json holes = Json()["holes"];
    ASSERT_EQ(holes.size(), 1u);
    EXPECT_EQ(holes[0][wide ? "maxX" : "maxY"], kMaxPictureSide - 1);
    EXPECT_EQ(holes[0]["points"], 0);
    const std::string field = wide ? "0\t" : "0\t\r\n";
    EXPECT_EQ(Read("r.txt").size(), field.size() * kMaxPictureSide + (wide ? 4 : 2));
  }
}

TEST_F(Pathological, a_selection_two_rows_high_scans_only_those_rows) {
  targetgen::TargetOptions options;
  options.width = options.height = kSide;
  options.holes = 400;
  options.overlappingPairs = 20;
  options.specks = 300;
  const targetgen::Target made = targetgen::MakeTarget(options);
  const Picture& target = made.picture;
  // The two rows through the centre of the first hole: they cross it, and maybe others.
  const int top = static_cast<int>(made.holes.front().y);
  Analyse(target, {"--select", "0," + std::to_string(top) + ",4000," + std::to_string(top + 1),
                   "--json", "j.json", "--save-darkmap", "d.dat"});
  const nlohmann::json json = Json();
  EXPECT_EQ(json["selection"],
            nlohmann::json({{"left", 0}, {"top", top}, {"right", 4000}, {"bottom", top + 1}}));
  EXPECT_EQ(json["shots"].size(), 0u);  // two rows hold no disc of 100 pixels
  EXPECT_EQ(json["holes"].size(), HolesLeft(target, top, top + 1));
  for (const auto& hole : json["holes"]) {
    EXPECT_GE(hole["points"], 5);
    EXPECT_GE(hole["minY"], top);
    EXPECT_LE(hole["maxY"], top + 1);
  }
  const std::string map = Read("d.dat");
  const std::size_t columns = kSide + 1;
  ASSERT_EQ(map.size(), columns * columns);
  const auto scanned = map.begin() + static_cast<std::ptrdiff_t>(columns) * top;
  EXPECT_TRUE(std::all_of(map.begin(), scanned, [](char c) { return c == 0; }));
  EXPECT_TRUE(std::all_of(scanned + static_cast<std::ptrdiff_t>(2 * columns), map.end(),
                          [](char c) { return c == 0; }));
  EXPECT_TRUE(std::any_of(scanned, scanned + static_cast<std::ptrdiff_t>(2 * columns),
                          [](char c) { return c != 0; }));
}

// The largest face (a metre across) at 150 ppi, 42 megapixels, under grain of 64 grey levels,
// with the face named: its print is modelled over 2,200 x 2,200 working pixels and every place
// of the grain that might be a hole is looked at, within the same time and memory.
TEST_F(Pathological, the_largest_face_under_heavy_grain_with_the_face_named) {
  facegen::FaceOptions options;
  options.face = score::FindFace("issf-300m-rifle");
  options.dpi = 150;
  options.calibreMm = 7.62;
  options.seed = 7;
  options.edgeShots = 4;
  options.scatterShots = 8;
  options.noise = 64;
  const facegen::FaceTarget face = facegen::MakeFace(options);
  ASSERT_TRUE(facegen::WriteBmp(face.picture, (folder_ / "face.bmp").string(), options.dpi));
  const std::vector<std::string> arguments{HOLESCAN_CLI,      "--calibre", "7.62mm", "--face",
                                           "issf-300m-rifle", "--json",    "j.json", "face.bmp"};
  testing::Limits limits;
  limits.time = kTimeLimit;
  limits.addressSpace = 8 * kMemoryLimit;
  const Ending e = testing::RunLimited(arguments, folder_, {}, limits);
  std::printf("[ measured ] face under grain: %d x %d, %.1f s, peak %.0f MiB\n",
              face.picture.Width(), face.picture.Height(), e.seconds,
              static_cast<double>(e.peakBytes) / kMiB);
  EXPECT_FALSE(e.timedOut);
  EXPECT_EQ(e.signal, 0);
  EXPECT_EQ(e.status, 0) << e.err;
  EXPECT_LT(e.peakBytes, kMemoryLimit);
  ASSERT_EQ(e.status, 0);
  EXPECT_EQ(Json()["analysis"]["face"], "issf-300m-rifle");
}

}  // namespace
}  // namespace holescan
