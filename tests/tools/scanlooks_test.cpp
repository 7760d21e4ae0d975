// The looks of real targets: every look drawn from its seed alike every time, its holes where
// the truth says (also after a photograph's perspective), its print where the non-holes
// say, and its truth file read back by holescan-eval.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "eval/truth.h"
#include "scangen.h"

namespace holescan::scangen {
namespace {

LookOptions Options(PictureLook look, std::uint32_t seed) {
  LookOptions o;
  o.look = look;
  o.seed = seed;
  o.dpi = 150;
  return o;
}

bool Same(const Picture& a, const Picture& b) {
  const std::size_t n = static_cast<std::size_t>(a.Width()) * a.Height();
  return a.Width() == b.Width() && a.Height() == b.Height() &&
         std::equal(a.Data(), a.Data() + n, b.Data());
}

double Luma(std::uint32_t p) {
  return (((p >> 16) & 0xFFu) + ((p >> 8) & 0xFFu) + (p & 0xFFu)) / 3.0;
}

// The mean grey of the disc of `radius` round (x, y), and of the ring from 1.0 to 1.4 times
// the hole's diameter round it.
struct Contrast {
  double inside = 0, around = 0;
};
Contrast Measure(const Picture& picture, double x, double y, double radius, double d) {
  Contrast c;
  int in = 0, out = 0;
  const int reach = static_cast<int>(std::ceil(1.4 * d));
  for (int j = -reach; j <= reach; ++j) {
    for (int i = -reach; i <= reach; ++i) {
      const int px = static_cast<int>(std::lround(x)) + i;
      const int py = static_cast<int>(std::lround(y)) + j;
      if (px < 0 || py < 0 || px >= picture.Width() || py >= picture.Height()) continue;
      const double r = std::hypot(px - x, py - y);
      if (r <= radius) {
        c.inside += Luma(picture.At(px, py));
        ++in;
      } else if (r >= d && r <= 1.4 * d) {
        c.around += Luma(picture.At(px, py));
        ++out;
      }
    }
  }
  c.inside /= std::max(in, 1);
  c.around /= std::max(out, 1);
  return c;
}

TEST(MakeLookScan, draws_every_look_alike_from_its_seed_and_otherwise_from_another) {
  for (PictureLook look : kPictureLooks) {
    SCOPED_TRACE(PictureLookName(look));
    const LookScan a = MakeLookScan(Options(look, 3));
    const LookScan b = MakeLookScan(Options(look, 3));
    const LookScan c = MakeLookScan(Options(look, 4));
    ASSERT_EQ(a.picture.Width(), 531);
    EXPECT_TRUE(Same(a.picture, b.picture));
    EXPECT_FALSE(Same(a.picture, c.picture));
    ASSERT_EQ(a.holes.size(), b.holes.size());
    for (std::size_t i = 0; i < a.holes.size(); ++i) EXPECT_EQ(a.holes[i].x, b.holes[i].x);
    EXPECT_EQ(ParsePictureLook(PictureLookName(look)), look);
  }
  EXPECT_FALSE(ParsePictureLook("classic"));
}

TEST(MakeLookScan, gives_the_holes_the_pictures_own_look) {
  for (PictureLook look :
       {PictureLook::Ragged, PictureLook::Flap, PictureLook::Cluster, PictureLook::Paster,
        PictureLook::Outlined, PictureLook::EdgeWhite, PictureLook::Tinted}) {
    const LookScan scan = MakeLookScan(Options(look, 7));
    SCOPED_TRACE(PictureLookName(look));
    EXPECT_EQ(scan.holes.size(), 10u);
    const auto own = std::count_if(scan.holes.begin(), scan.holes.end(), [&](const MarkedHole& h) {
      return h.look == PictureLookName(look);
    });
    EXPECT_GE(own, 7);
  }
  // Clusters: every shot has another within a calibre.
  const LookScan cluster = MakeLookScan(Options(PictureLook::Cluster, 8));
  for (const MarkedHole& a : cluster.holes) {
    double nearest = 1e9;
    for (const MarkedHole& b : cluster.holes)
      if (&a != &b) nearest = std::min(nearest, std::hypot(a.x - b.x, a.y - b.y));
    EXPECT_LE(nearest, cluster.holeDiameterPx * 0.95);
    EXPECT_GE(nearest, cluster.holeDiameterPx * 0.34);
  }
}

// A dark hole shows darker than the paper round it where the truth puts it; in a photograph
// too, where perspective has moved it.
TEST(MakeLookScan, puts_dark_holes_where_the_truth_says_also_in_a_photograph) {
  for (PictureLook look : {PictureLook::Letters, PictureLook::Ragged, PictureLook::Photo,
                           PictureLook::Cluster, PictureLook::Dots}) {
    for (std::uint32_t seed : {21u, 22u}) {
      const LookScan scan = MakeLookScan(Options(look, seed));
      SCOPED_TRACE(std::string(PictureLookName(look)) + " " + std::to_string(seed));
      ASSERT_FALSE(scan.holes.empty());
      int dark = 0, seen = 0;
      for (const MarkedHole& h : scan.holes) {
        if (h.look == "grey") continue;
        const Contrast c =
            Measure(scan.picture, h.x, h.y, 0.25 * scan.holeDiameterPx, scan.holeDiameterPx);
        ++seen;
        dark += c.around - c.inside > 60;
      }
      // Clusters darken their own surroundings; print may pass near a hole.
      EXPECT_GE(dark, seen * 8 / 10) << dark << " of " << seen;
    }
  }
}

TEST(MakeLookScan, shows_the_holes_of_each_background_look_as_that_look_shows) {
  const double d = 150 * 4.5 / 25.4;
  const LookScan tape = MakeLookScan(Options(PictureLook::Tape, 31));
  for (const MarkedHole& h : tape.holes) {
    if (h.look != "tape") continue;
    const Contrast c = Measure(tape.picture, h.x, h.y, 0.25 * d, d);
    EXPECT_GT(c.around - c.inside, 30);  // darker than the tape
    EXPECT_LT(c.around, 200);            // and the tape is grey, not paper
  }
  const LookScan white = MakeLookScan(Options(PictureLook::EdgeWhite, 32));
  int lightInside = 0;
  for (const MarkedHole& h : white.holes) {
    // Across the black's edge: the part in the black shows the white backing.
    lightInside += Measure(white.picture, h.x, h.y, 0.45 * d, d).inside > 90;
  }
  EXPECT_GE(lightInside, 7);
  const LookScan dark = MakeLookScan(Options(PictureLook::DarkOnDark, 33));
  for (const MarkedHole& h : dark.holes) {
    if (h.look != "dark-on-dark") continue;
    const Contrast c = Measure(dark.picture, h.x, h.y, 0.25 * d, d);
    EXPECT_LT(c.around, 110);  // in dark print
    EXPECT_LT(c.inside, c.around);
  }
}

TEST(MakeLookScan, prints_something_at_every_non_hole_and_keeps_it_off_the_holes) {
  for (PictureLook look : {PictureLook::Letters, PictureLook::Digits, PictureLook::Logos,
                           PictureLook::Dots, PictureLook::RingNumbers}) {
    const LookScan scan = MakeLookScan(Options(look, 41));
    SCOPED_TRACE(PictureLookName(look));
    EXPECT_GE(scan.nonHoles.size(), 5u);
    const double d = scan.holeDiameterPx;
    for (const NonHole& n : scan.nonHoles) {
      const Contrast c = Measure(scan.picture, n.x, n.y, 0.6 * d, d);
      double darkest = 255;
      for (int j = -static_cast<int>(d / 2); j <= static_cast<int>(d / 2); ++j) {
        for (int i = -static_cast<int>(d / 2); i <= static_cast<int>(d / 2); ++i) {
          const int x = std::clamp(static_cast<int>(n.x) + i, 0, scan.picture.Width() - 1);
          const int y = std::clamp(static_cast<int>(n.y) + j, 0, scan.picture.Height() - 1);
          darkest = std::min(darkest, Luma(scan.picture.At(x, y)));
        }
      }
      // Print, dark on paper or light on the black.
      EXPECT_TRUE(darkest < 150 || c.inside > 150) << n.kind << " at " << n.x << "," << n.y;
      for (const MarkedHole& h : scan.holes) {
        EXPECT_GT(std::hypot(h.x - n.x, h.y - n.y), 0.6 * d) << n.kind;
      }
    }
  }
}

TEST(TruthJson, is_read_back_as_the_truth_of_the_scan) {
  const LookScan scan = MakeLookScan(Options(PictureLook::Mixed, 51));
  const std::string text = TruthJson("mixed-51", "mixed-51.bmp", "mixed", scan.holeDiameterPx,
                                     scan.holes, scan.nonHoles);
  const eval::TruthRead read = eval::ParseTruth(text, "x");
  ASSERT_TRUE(read.truth) << read.reason;
  EXPECT_EQ(read.truth->name, "mixed-51");
  EXPECT_EQ(read.truth->image, "mixed-51.bmp");
  EXPECT_EQ(read.truth->look, "mixed");
  EXPECT_NEAR(read.truth->holeDiameterPx, scan.holeDiameterPx, 1e-3);
  ASSERT_EQ(read.truth->holes.size(), scan.holes.size());
  for (std::size_t i = 0; i < scan.holes.size(); ++i) {
    EXPECT_NEAR(read.truth->holes[i].x, scan.holes[i].x, 1e-3);
    EXPECT_EQ(read.truth->holes[i].look, scan.holes[i].look);
    EXPECT_FALSE(read.truth->holes[i].uncertain);
  }
  const eval::TruthRead none = eval::ParseTruth(TruthJson("e", "e.bmp", "x", 9, {}, {}), "x");
  ASSERT_TRUE(none.truth) << none.reason;
  EXPECT_TRUE(none.truth->holes.empty());
}

TEST(MakeLookScan, refuses_what_it_cannot_draw) {
  LookOptions o = Options(PictureLook::Letters, 1);
  o.holes = 0;
  EXPECT_THROW(MakeLookScan(o), std::invalid_argument);
  o = Options(PictureLook::Letters, 1);
  o.dpi = 20;  // a hole of 3.5 pixels
  EXPECT_THROW(MakeLookScan(o), std::invalid_argument);
}

}  // namespace
}  // namespace holescan::scangen
