#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "shots/shots.h"

namespace holescan::shots {
namespace {

TEST(ParseCalibreMm, reads_millimetres_inches_and_bare_numbers) {
  EXPECT_DOUBLE_EQ(*ParseCalibreMm("4.5mm"), 4.5);
  EXPECT_DOUBLE_EQ(*ParseCalibreMm("5.6 mm"), 5.6);
  EXPECT_DOUBLE_EQ(*ParseCalibreMm("9MM"), 9);
  EXPECT_DOUBLE_EQ(*ParseCalibreMm(" 4.5 "), 4.5);
  EXPECT_NEAR(*ParseCalibreMm("0.177in"), 4.4958, 1e-9);
  EXPECT_NEAR(*ParseCalibreMm(".22in"), 5.588, 1e-9);
  EXPECT_NEAR(*ParseCalibreMm(".22 IN"), 5.588, 1e-9);
}

TEST(ParseCalibreMm, refuses_anything_else_with_what_is_accepted) {
  for (const char* bad :
       {"",      "mm",        "in",  "abc",   "4,5mm",
        "-4.5",  "+4.5",      "1e1", "4.5.1", ".",
        "4.5cm", "4.5 mm mm", "0",   "0mm",   "1.9mm",
        "25.1",  "2in",       "nan", "inf",   "99999999999999999999999999999999999"}) {
    std::string reason;
    EXPECT_FALSE(ParseCalibreMm(bad, &reason)) << bad;
    EXPECT_NE(reason.find("4.5mm"), std::string::npos) << bad;
    EXPECT_NE(reason.find(".22in"), std::string::npos) << bad;
    EXPECT_EQ(reason.find('\n'), std::string::npos) << bad;
  }
  EXPECT_FALSE(ParseCalibreMm("x", nullptr));
}

TEST(ParseHoleLook, reads_the_three_words_and_names_them_back) {
  for (HoleLook look : {HoleLook::Auto, HoleLook::Dark, HoleLook::Light}) {
    EXPECT_EQ(ParseHoleLook(HoleLookName(look)), look);
  }
  EXPECT_EQ(ParseHoleLook("DARK"), HoleLook::Dark);
  EXPECT_FALSE(ParseHoleLook("black"));
  EXPECT_FALSE(ParseHoleLook(""));
}

TEST(SettingsProblem, names_unusable_resolutions_and_calibres) {
  EXPECT_DOUBLE_EQ(HoleDiameterPx({4.5, 254, HoleLook::Auto}), 45);
  EXPECT_FALSE(SettingsProblem({4.5, 75, HoleLook::Auto}));
  EXPECT_TRUE(SettingsProblem({4.5, 0, HoleLook::Auto}));
  EXPECT_TRUE(SettingsProblem({-1, 300, HoleLook::Auto}));
  EXPECT_NE(SettingsProblem({4.5, 20, HoleLook::Auto})->find("at least 6"), std::string::npos);
  EXPECT_TRUE(SettingsProblem({25, 20000, HoleLook::Auto}));
  const PictureView empty;
  EXPECT_THROW(FindShots(empty, {4.5, 0, HoleLook::Auto}), std::invalid_argument);
  EXPECT_THROW(ShotAt(empty, {4.5, 0, HoleLook::Auto}, 0, 0), std::invalid_argument);
}

}  // namespace
}  // namespace holescan::shots
