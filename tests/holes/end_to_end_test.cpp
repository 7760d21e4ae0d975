// The whole analysis, from a target picture to the shot holes, on synthetic scans whose true
// hole centres are known, and on the bundled sample target.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "analysis_fixture.h"
#include "holes/scan.h"
#include "pixel/darkness.h"
#include "targetgen.h"

namespace holescan {
namespace {

using targetgen::MakeTarget;
using targetgen::Target;
using targetgen::TargetOptions;
using targetgen::TrueHole;

const std::filesystem::path kSamples =
    std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "samples";

struct Shot {
  double x, y;
};

struct Outcome {
  std::vector<Shot> shots;
  std::vector<std::string> captions;
  std::vector<Hole> holesKept;  // after rejection
};

// Runs Draw over the whole of the picture.
Outcome Analyse(const Picture& picture) {
  testing::RecordingHost host;
  DarkMap dark(picture.Width(), picture.Height());
  Picture result(picture.Width(), picture.Height(), kResultBackground);
  HoleAnalysis analysis;
  Draw(analysis, picture.View(), WholePicture(picture.Width(), picture.Height()), {dark, result},
       host);
  Outcome outcome;
  const HoleArray& peaks = analysis.Peaks();
  for (Label i = 0; i <= peaks.UpperBound(); ++i) {
    if (!peaks[i].Empty()) outcome.shots.push_back({peaks[i].CenterX, peaks[i].CenterY});
  }
  const HoleArray& holes = analysis.Holes();
  for (Label i = 0; i <= holes.UpperBound(); ++i) {
    if (!holes[i].Empty()) outcome.holesKept.push_back(holes[i]);
  }
  outcome.captions = std::move(host.captions);
  return outcome;
}

double Distance(const Shot& shot, const TrueHole& hole) {
  return std::hypot(shot.x - hole.x, shot.y - hole.y);
}

std::string Describe(const TrueHole& h) {
  std::ostringstream text;
  text << "hole at (" << h.x << ", " << h.y << ") radius " << h.radius;
  return text.str();
}

// Every isolated hole of radius 6..7 has exactly one shot, within one pixel of its centre.
void ExpectIsolatedHolesFound(const std::vector<TrueHole>& holes, const std::vector<Shot>& shots) {
  for (const TrueHole& hole : holes) {
    if (hole.overlapping || hole.radius < 6 || hole.radius > 7) continue;
    int near = 0;
    for (const Shot& shot : shots) {
      if (Distance(shot, hole) <= hole.radius) {
        ++near;
        EXPECT_LE(Distance(shot, hole), 1.0)
            << Describe(hole) << ": shot at (" << shot.x << ", " << shot.y << ")";
      }
    }
    EXPECT_EQ(near, 1) << Describe(hole);
  }
}

// Every shot lies on a true hole: none on bare paper, rings, print or specks.
void ExpectNoStrayShots(const std::vector<TrueHole>& holes, const std::vector<Shot>& shots) {
  for (const Shot& shot : shots) {
    bool onHole = false;
    for (const TrueHole& hole : holes) onHole = onHole || Distance(shot, hole) <= hole.radius;
    EXPECT_TRUE(onHole) << "stray shot at (" << shot.x << ", " << shot.y << ")";
  }
}

bool AnyCaptionStartsWith(const std::vector<std::string>& captions, const std::string& prefix) {
  for (const auto& caption : captions)
    if (caption.starts_with(prefix)) return true;
  return false;
}

TargetOptions HolesOfRadius6To7(std::uint32_t seed) {
  TargetOptions options;
  options.seed = seed;
  options.minRadius = 6;
  options.maxRadius = 7;
  return options;
}

// ---- Synthetic targets ---------------------------------------------------------------------

class SeededTarget : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(SeededTarget, finds_every_isolated_hole_within_one_pixel_and_nothing_else) {
  const Target target = MakeTarget(HolesOfRadius6To7(GetParam()));
  const Outcome outcome = Analyse(target.picture);
  ExpectIsolatedHolesFound(target.holes, outcome.shots);
  ExpectNoStrayShots(target.holes, outcome.shots);
}

TEST_P(SeededTarget, finds_the_holes_of_radius_6_to_7_among_smaller_and_larger_ones) {
  TargetOptions options;  // radii 5..8: the smallest may fall below the peak vote
  options.seed = GetParam() + 100;
  const Target target = MakeTarget(options);
  const Outcome outcome = Analyse(target.picture);
  ExpectIsolatedHolesFound(target.holes, outcome.shots);
  ExpectNoStrayShots(target.holes, outcome.shots);
}

INSTANTIATE_TEST_SUITE_P(Seeds, SeededTarget, ::testing::Values(1u, 2u, 3u, 4u, 5u, 6u));

TEST(EndToEnd, rejects_every_speck_and_reports_no_shot_on_a_target_without_holes) {
  TargetOptions options;
  options.holes = 0;
  options.overlappingPairs = 0;
  options.specks = 60;
  const Outcome outcome = Analyse(MakeTarget(options).picture);
  EXPECT_TRUE(outcome.shots.empty());
  EXPECT_TRUE(outcome.holesKept.empty());
  EXPECT_TRUE(AnyCaptionStartsWith(outcome.captions, "Removed (too small) : "));
}

TEST(EndToEnd, rejects_the_large_dark_region_and_still_finds_the_holes) {
  for (const std::uint32_t seed : {7u, 8u, 9u}) {
    SCOPED_TRACE(seed);
    TargetOptions options = HolesOfRadius6To7(seed);
    options.largeDarkRegion = true;
    const Target target = MakeTarget(options);
    const Outcome outcome = Analyse(target.picture);

    EXPECT_TRUE(AnyCaptionStartsWith(outcome.captions, "Removed (too wide ) : "));
    EXPECT_TRUE(AnyCaptionStartsWith(outcome.captions, "Removed (too tall ) : "));
    for (const Hole& hole : outcome.holesKept) {
      EXPECT_LE(hole.MaxX - hole.MinX, kMaxHoleSpan);
      EXPECT_LE(hole.MaxY - hole.MinY, kMaxHoleSpan);
    }
    ExpectIsolatedHolesFound(target.holes, outcome.shots);
    ExpectNoStrayShots(target.holes, outcome.shots);
  }
}

// ---- The bundled sample --------------------------------------------------------------------

TargetOptions SampleOptions() {  // as in samples/README.md
  TargetOptions options = HolesOfRadius6To7(8);
  options.holes = 8;
  options.overlappingPairs = 1;
  options.specks = 30;
  return options;
}

std::vector<TrueHole> ReadCentres(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);  // header
  std::vector<TrueHole> holes;
  while (std::getline(in, line)) {
    TrueHole h{};
    int overlapping = 0;
    char comma = 0;
    std::istringstream fields(line);
    fields >> h.x >> comma >> h.y >> comma >> h.radius >> comma >> overlapping;
    h.overlapping = overlapping != 0;
    if (fields) holes.push_back(h);
  }
  return holes;
}

TEST(BundledSample, analyses_to_one_shot_within_one_pixel_of_every_true_hole) {
  const auto picture = targetgen::ReadBmp((kSamples / "sample-target.bmp").string());
  ASSERT_TRUE(picture.has_value());
  const std::vector<TrueHole> holes = ReadCentres(kSamples / "sample-target-centres.csv");
  ASSERT_EQ(holes.size(), 10u);
  const Outcome outcome = Analyse(*picture);

  // The overlapping pair is 11.6 px apart: far enough for two clean peaks.
  ASSERT_EQ(outcome.shots.size(), holes.size());
  for (const TrueHole& hole : holes) {
    int near = 0;
    for (const Shot& shot : outcome.shots) near += Distance(shot, hole) <= 1.0 ? 1 : 0;
    EXPECT_EQ(near, 1) << Describe(hole);
  }
}

TEST(BundledSample, is_what_its_regenerate_command_draws) {
  const auto picture = targetgen::ReadBmp((kSamples / "sample-target.bmp").string());
  ASSERT_TRUE(picture.has_value());
  const Target target = MakeTarget(SampleOptions());
  ASSERT_EQ(picture->Width(), target.picture.Width());
  ASSERT_EQ(picture->Height(), target.picture.Height());
  EXPECT_TRUE(std::equal(picture->Data(), picture->Data() + picture->Width() * picture->Height(),
                         target.picture.Data()))
      << "regenerate samples/ with the command in samples/README.md";
  const std::vector<TrueHole> holes = ReadCentres(kSamples / "sample-target-centres.csv");
  ASSERT_EQ(holes.size(), target.holes.size());
  for (std::size_t i = 0; i < holes.size(); ++i) {
    EXPECT_NEAR(holes[i].x, target.holes[i].x, 0.0005);
    EXPECT_NEAR(holes[i].y, target.holes[i].y, 0.0005);
    EXPECT_EQ(holes[i].overlapping, target.holes[i].overlapping);
  }
}

// ---- The generator keeps the promises the checks above rely on ---------------------------

int DarkPixels(const Picture& picture) {
  int dark = 0;
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x) dark += ColourSum(picture.At(x, y)) <= 55 ? 1 : 0;
  return dark;
}

TEST(TargetGenerator, leaves_paper_rings_and_print_light_for_every_seed) {
  for (const std::uint32_t seed : {1u, 2u, 3u, 4u}) {
    TargetOptions options;
    options.seed = seed;
    options.holes = 0;
    options.overlappingPairs = 0;
    options.specks = 0;
    EXPECT_EQ(DarkPixels(MakeTarget(options).picture), 0) << "seed " << seed;
  }
}

TEST(TargetGenerator, draws_holes_dark_out_to_their_radius_and_no_further_than_one_pixel) {
  TargetOptions options;
  options.specks = 0;
  const Target target = MakeTarget(options);
  const Picture& p = target.picture;
  for (int y = 0; y < p.Height(); ++y) {
    for (int x = 0; x < p.Width(); ++x) {
      double nearest = 1e9;  // how far outside the nearest hole's radius
      for (const TrueHole& h : target.holes)
        nearest = std::min(nearest, std::hypot(x - h.x, y - h.y) - h.radius);
      const bool dark = ColourSum(p.At(x, y)) <= 55;
      if (nearest <= 0) {
        EXPECT_TRUE(dark) << x << "," << y;
      } else if (nearest > 1) {
        EXPECT_FALSE(dark) << x << "," << y;
      }
    }
  }
}

TEST(TargetGenerator, keeps_isolated_holes_apart_and_pairs_9_to_13_pixels_apart) {
  TargetOptions options;
  options.overlappingPairs = 3;
  const Target target = MakeTarget(options);
  ASSERT_EQ(target.holes.size(), 16u);
  for (std::size_t i = 0; i < target.holes.size(); ++i) {
    const TrueHole& a = target.holes[i];
    EXPECT_GE(a.radius, options.minRadius);
    EXPECT_LE(a.radius, options.maxRadius);
    for (std::size_t j = i + 1; j < target.holes.size(); ++j) {
      const TrueHole& b = target.holes[j];
      const double apart = std::hypot(a.x - b.x, a.y - b.y);
      const auto firstPaired = static_cast<std::size_t>(options.holes);
      const bool pair = a.overlapping && j == i + 1 && (i - firstPaired) % 2 == 0;
      if (pair) {
        EXPECT_GE(apart, 9.0);
        EXPECT_LE(apart, 13.0);
      } else {
        EXPECT_GE(apart - a.radius - b.radius, targetgen::kHoleClearance);
      }
    }
  }
}

TEST(TargetGenerator, gives_the_same_target_for_the_same_seed_only) {
  const Target first = MakeTarget(HolesOfRadius6To7(5));
  const Target again = MakeTarget(HolesOfRadius6To7(5));
  const Target other = MakeTarget(HolesOfRadius6To7(6));
  const auto size = static_cast<std::size_t>(first.picture.Width() * first.picture.Height());
  EXPECT_TRUE(std::equal(first.picture.Data(), first.picture.Data() + size, again.picture.Data()));
  EXPECT_FALSE(std::equal(first.picture.Data(), first.picture.Data() + size, other.picture.Data()));
  EXPECT_EQ(first.holes[0].x, again.holes[0].x);
}

TEST(TargetGenerator, refuses_options_it_cannot_draw) {
  TargetOptions tooSmall;
  tooSmall.width = 63;
  EXPECT_THROW(MakeTarget(tooSmall), std::invalid_argument);
  TargetOptions radii;
  radii.minRadius = 8;
  radii.maxRadius = 7;
  EXPECT_THROW(MakeTarget(radii), std::invalid_argument);
  TargetOptions crowded;
  crowded.width = 200;
  crowded.height = 200;
  crowded.holes = 100;
  EXPECT_THROW(MakeTarget(crowded), std::runtime_error);
}

TEST(TargetGenerator, draws_a_comb_of_columns_standing_on_a_bar) {
  const Picture comb = targetgen::MakeComb(3, 2);
  const char* const expected[] = {
      ".......",  //
      ".#.#.#.",  //
      ".#.#.#.",  //
      ".#####.",  //
      ".#####.",  //
      ".......",  //
  };
  ASSERT_EQ(comb.Width(), 7);
  ASSERT_EQ(comb.Height(), 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 7; ++x)
      EXPECT_EQ(comb.At(x, y), expected[y][x] == '#' ? Rgb(0, 0, 0) : Rgb(255, 255, 255))
          << x << "," << y;
}

TEST(TargetGenerator, draws_a_disc_of_the_given_diameter_inside_a_white_margin) {
  const Picture disc = targetgen::MakeDisc(100);
  ASSERT_EQ(disc.Width(), 104);
  EXPECT_NEAR(DarkPixels(disc), 3.14159 * 50 * 50, 100);
  for (int i = 0; i < 104; ++i) {
    for (const int edge : {0, 1, 102, 103}) {
      EXPECT_EQ(disc.At(i, edge), Rgb(255, 255, 255));
      EXPECT_EQ(disc.At(edge, i), Rgb(255, 255, 255));
    }
  }
  EXPECT_EQ(disc.At(2, 51), Rgb(0, 0, 0));
  EXPECT_EQ(disc.At(101, 52), Rgb(0, 0, 0));
}

TEST(Bmp, round_trips_every_pixel_of_a_picture_with_padded_rows) {
  Picture picture(5, 3, 0);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
      picture.Set(x, y,
                  Rgb(static_cast<std::uint32_t>(x * 50), static_cast<std::uint32_t>(y * 100),
                      static_cast<std::uint32_t>(x + y)));
  const std::string path = ::testing::TempDir() + "holescan_round_trip.bmp";
  ASSERT_TRUE(targetgen::WriteBmp(picture, path));
  EXPECT_EQ(std::filesystem::file_size(path), 54u + 3u * 16u);
  const auto read = targetgen::ReadBmp(path);
  ASSERT_TRUE(read.has_value());
  ASSERT_EQ(read->Width(), 5);
  ASSERT_EQ(read->Height(), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(read->At(x, y), picture.At(x, y)) << x << "," << y;
  std::filesystem::remove(path);
}

TEST(Bmp, refuses_missing_truncated_and_foreign_files) {
  const std::string dir = ::testing::TempDir();
  EXPECT_FALSE(targetgen::ReadBmp(dir + "holescan_no_such_file.bmp").has_value());

  const std::string truncated = dir + "holescan_truncated.bmp";
  ASSERT_TRUE(targetgen::WriteBmp(Picture(10, 10, Rgb(1, 2, 3)), truncated));
  std::filesystem::resize_file(truncated, 54 + 100);
  EXPECT_FALSE(targetgen::ReadBmp(truncated).has_value());

  const std::string text = dir + "holescan_not_a_picture.bmp";
  std::ofstream(text) << "this is not a bitmap, just some text long enough for a header......";
  EXPECT_FALSE(targetgen::ReadBmp(text).has_value());
  std::filesystem::remove(truncated);
  std::filesystem::remove(text);
}

}  // namespace
}  // namespace holescan
