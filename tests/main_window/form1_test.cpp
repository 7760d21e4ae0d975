#include "main_window/form1.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pixel/darkness.h"
#include "support/recording_window.h"
#include "support/scratch_folder.h"

namespace holescan {
namespace {

namespace fs = std::filesystem;
using fakes::Outline;
using fakes::RecordingWindow;

constexpr std::uint32_t kPaper = Rgb(250, 250, 250);  // darkness byte 6
constexpr std::uint32_t kBlack = Rgb(0, 0, 0);

Picture Paper(int width, int height) {
  return Picture(width, height, kPaper);
}

// A window whose Load command found `picture` under the path "target.bmp".
struct Window {
  explicit Window(const Picture& picture) {
    toolkit.files["target.bmp"] = picture;
    form.TextFilename = "target.bmp";
    form.Form_Load();
  }
  RecordingWindow toolkit;
  Form1 form{toolkit, toolkit};
};

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, std::size_t size, std::uint8_t byte) {
  std::ofstream out(path, std::ios::binary);
  const std::vector<char> bytes(size, static_cast<char>(byte));
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class TempDir {
 public:
  fs::path operator/(const char* name) const { return folder_.Get() / name; }
  const fs::path& path() const { return folder_.Get(); }

 private:
  testing::TemporaryFolder folder_{"form1"};
};

TEST(Form1, load_lays_the_window_out_around_the_picture_and_selects_all_of_it) {
  Window w(Paper(400, 300));
  const RecordingWindow& t = w.toolkit;
  EXPECT_EQ(w.form.Dark().MaxX(), 400);
  EXPECT_EQ(w.form.Dark().MaxY(), 300);
  EXPECT_EQ(w.form.Sel(), (Selection{0, 300, 0, 400}));
  EXPECT_EQ(t.outlines, (std::array<Outline, 4>{Outline{0, 0, 0, 300}, Outline{0, 300, 401, 300},
                                                Outline{400, 0, 400, 301}, Outline{0, 0, 400, 0}}));
  EXPECT_EQ(t.geometry.at(Control::PicTarget), (Geometry{0, 600, 6000, 4500}));
  EXPECT_EQ(t.geometry.at(Control::PicNew), (Geometry{6000, 600, 6000, 4500}));
  EXPECT_EQ(t.geometry.at(Control::TextFilename), (Geometry{840, 5220, 10695, 285}));
  EXPECT_EQ(t.geometry.at(Control::LabelFilename), (Geometry{120, 5220, 630, 195}));
  EXPECT_EQ(t.geometry.at(Control::CmdLoad), (Geometry{11760, 5220, 1215, 315}));
  EXPECT_EQ(t.windowSize, (std::array<float, 2>{12000, 5925}));
  EXPECT_EQ(t.progress.back(), 0.0f);
  EXPECT_TRUE(t.captions.empty());

  w.toolkit.files["small.bmp"] = Paper(200, 100);
  w.form.TextFilename = "small.bmp";
  EXPECT_FALSE(w.form.CmdLoad_Click());
  EXPECT_EQ(t.geometry.at(Control::PicNew), (Geometry{3000, 600, 3000, 1500}));
  EXPECT_EQ(t.geometry.at(Control::CmdLoad).top, 2220);
  EXPECT_EQ(t.windowSize, (std::array<float, 2>{6000, 2925}));
  EXPECT_EQ(w.form.Dark().Bytes().size(), 201u * 101u);
  EXPECT_EQ(w.form.PicNew().Width(), 200);
  EXPECT_EQ(w.form.Sel(), (Selection{0, 100, 0, 200}));
}

TEST(Form1, bad_path_at_start_up_lays_out_the_design_size_and_says_why) {
  RecordingWindow t;
  Form1 form(t, t);
  form.Form_Load();
  EXPECT_EQ(
      t.captions,
      (std::vector<std::string>{"Cannot load D:\\FTP\\Quill\\17-12-99\\3.bmp: no such file"}));
  EXPECT_EQ(t.geometry.at(Control::PicTarget), (Geometry{0, 600, 8295, 6495}));
  EXPECT_EQ(t.windowSize, (std::array<float, 2>{16590, 7920}));
  EXPECT_EQ(form.Sel(), (Selection{0, 433, 0, 553}));
  EXPECT_EQ(form.Dark().MaxX(), 553);
}

TEST(Form1, bad_path_after_a_good_one_keeps_the_picture_and_resets_the_rest) {
  Picture picture = Paper(40, 30);
  for (int y = 5; y < 10; ++y)
    for (int x = 5; x < 10; ++x) picture.Set(x, y, kBlack);
  Window w(picture);
  w.form.CmdDraw_Click();
  w.form.PicTarget_MouseDown(kLeftButton, 0, 3, 4);
  ASSERT_GT(w.form.Analysis().Holes()[0].count, 0u);

  w.form.TextFilename = "missing.bmp";
  EXPECT_EQ(w.form.CmdLoad_Click(), "no such file");
  EXPECT_EQ(w.toolkit.captions.back(), "Cannot load missing.bmp: no such file");
  EXPECT_EQ(w.toolkit.targetChanges, 1);
  EXPECT_EQ(w.form.PicTarget().At(5, 5), kBlack);
  EXPECT_EQ(w.form.Sel(), (Selection{0, 30, 0, 40}));
  EXPECT_EQ(w.form.Analysis().Holes().Size(), 1u);
  EXPECT_TRUE(w.form.Analysis().Holes()[0].Empty());
  EXPECT_EQ(w.form.Progress(), 0.0f);
  const auto& bytes = w.form.Dark().Bytes();
  EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(Form1, presses_move_one_corner_per_axis_and_modifiers_select_everything) {
  Window w(Paper(400, 300));
  Form1& f = w.form;
  f.PicTarget_MouseDown(kLeftButton, 0, 10, 20);
  EXPECT_EQ(f.Sel(), (Selection{20, 300, 10, 400}));
  f.PicTarget_MouseDown(kRightButton, 0, 5, 100);  // 5 is not right of SelLeft 10
  EXPECT_EQ(f.Sel(), (Selection{20, 100, 10, 400}));
  EXPECT_EQ(w.toolkit.outlines[1], (Outline{10, 100, 401, 100}));
  EXPECT_EQ(w.toolkit.outlines[2], (Outline{400, 20, 400, 101}));

  f.PicTarget_MouseDown(kRightButton, kCtrlKey, 50, 50);
  EXPECT_EQ(f.Sel(), (Selection{0, 300, 0, 400}));
  f.PicTarget_MouseDown(kRightButton, 0, 200.5f, 150.5f);  // halves round to even
  f.PicTarget_MouseDown(kLeftButton, 0, 300, 20);          // right of SelRight: only the top moves
  EXPECT_EQ(f.Sel(), (Selection{20, 150, 0, 200}));
  f.PicTarget_MouseDown(kLeftButton, 0, 200, 150);  // exactly on the opposite edges
  EXPECT_EQ(f.Sel(), (Selection{20, 150, 0, 200}));
  f.PicTarget_MouseDown(kLeftButton, 0, 10.5f, 11.5f);
  EXPECT_EQ(f.Sel(), (Selection{12, 150, 10, 200}));

  const int calls = w.toolkit.outlineCalls;
  f.PicTarget_MouseDown(4, 0, 1, 1);
  EXPECT_EQ(f.Sel(), (Selection{12, 150, 10, 200}));
  EXPECT_EQ(w.toolkit.outlineCalls, calls + 4);
  EXPECT_EQ(w.toolkit.outlines[3], (Outline{10, 12, 200, 12}));
}

TEST(Form1, scan_stores_darkness_bytes_paints_them_grey_and_zeroes_column_w_and_row_h) {
  TempDir dir;
  Picture picture = Paper(6, 4);
  picture.Set(1, 1, Rgb(20, 20, 15));  // sum 55: 254, dark
  picture.Set(2, 1, Rgb(20, 20, 16));  // sum 56: 121, not dark
  picture.Set(4, 2, kBlack);
  Window w(picture);
  WriteFile(dir / "fill.dat", 7 * 5, 0x77);
  ASSERT_FALSE(w.form.LoadDarkMap((dir / "fill.dat").string()));

  EXPECT_EQ(w.form.DarknessWeight(4, 2), 1.0f);
  EXPECT_EQ(w.form.DarknessWeight(6, 0), 0.0f);  // one column past the picture
  EXPECT_EQ(w.form.DarknessWeight(0, 4), 0.0f);

  EXPECT_FALSE(w.form.CmdDraw_Click());
  const DarkMap& dark = w.form.Dark();
  EXPECT_EQ(dark.At(1, 1), 254);
  EXPECT_EQ(dark.At(2, 1), 121);
  EXPECT_EQ(dark.At(4, 2), 255);
  EXPECT_EQ(dark.At(0, 0), DarknessByteTable()[750]);
  for (int y = 0; y <= 4; ++y) EXPECT_EQ(dark.At(6, y), 0) << y;
  for (int x = 0; x <= 6; ++x) EXPECT_EQ(dark.At(x, 4), 0) << x;
  EXPECT_EQ(w.form.PicNew().At(2, 1), Rgb(121, 121, 121));
  EXPECT_EQ(w.form.PicNew().At(0, 3), Rgb(6, 6, 6));
  EXPECT_EQ(w.form.PicNew().At(1, 1), kBlack);  // labelled, then voted as a rejected hole
  const std::vector<std::string>& captions = w.toolkit.captions;
  EXPECT_EQ(std::count(captions.begin(), captions.end(), "=-=Made new Hole 2"), 1);
  EXPECT_EQ(std::count(captions.begin(), captions.end(), "=-=Made new Hole 3"), 0);
}

TEST(Form1, progress_grows_per_row_and_is_full_before_and_after_the_finishing_pass) {
  Window w(Paper(20, 20));
  w.form.PicTarget_MouseDown(kLeftButton, 0, 0, 5);
  w.form.PicTarget_MouseDown(kRightButton, 0, 19, 14);
  w.toolkit.progress.clear();
  w.toolkit.log.clear();
  w.form.CmdDraw_Click();

  const std::vector<float>& p = w.toolkit.progress;
  ASSERT_EQ(p.size(), 12u);
  EXPECT_EQ(p.front(), 0.0f);
  for (int row = 1; row <= 10; ++row)
    EXPECT_NEAR(p[static_cast<std::size_t>(row)], row / 10.0, 1e-6);
  EXPECT_EQ(p.back(), 1.0f);
  std::vector<std::string> expected{"progress"};
  for (int row = 0; row < 10; ++row) expected.insert(expected.end(), {"progress", "refresh"});
  expected.insert(expected.end(), {"clear", "set", "progress"});
  EXPECT_EQ(w.toolkit.log, expected);
  EXPECT_EQ(w.toolkit.refreshedRows.front(), (std::array<int, 2>{5, 5}));
  EXPECT_EQ(w.toolkit.refreshedRows.back(), (std::array<int, 2>{14, 14}));
}

TEST(Form1, scan_rectangle_right_of_column_0_does_not_see_the_pixels_left_of_it) {
  Picture picture = Paper(10, 8);
  for (int y = 1; y <= 5; ++y) {
    picture.Set(2, y, kBlack);
    picture.Set(3, y, kBlack);
  }
  Window w(picture);
  w.form.PicTarget_MouseDown(kLeftButton, 0, 3, 0);
  w.form.CmdDraw_Click();
  const HoleArray& holes = w.form.Analysis().Holes();
  ASSERT_EQ(holes.Size(), 1u);
  EXPECT_EQ(holes[0].count, 5u);
  EXPECT_EQ(holes[0].MinX, 3);
  EXPECT_EQ(w.form.Dark().At(2, 1), 0);
  EXPECT_EQ(w.form.PicNew().At(2, 1), kResultBackground);
  EXPECT_EQ(w.form.PicNew().At(3, 1), Rgb(2, 0, 0));  // vote 2.5
  EXPECT_EQ(w.toolkit.captions, (std::vector<std::string>{"=-=Made new Hole 1"}));
}

TEST(Form1, second_draw_clears_the_result_but_keeps_darkness_bytes_outside_its_rectangle) {
  Picture picture = Paper(20, 20);
  for (int y = 14; y <= 16; ++y)
    for (int x = 14; x <= 16; ++x) picture.Set(x, y, kBlack);
  Window w(picture);
  w.form.CmdDraw_Click();
  w.form.PicTarget_MouseDown(kLeftButton, 0, 10, 10);
  w.form.CmdDraw_Click();
  EXPECT_EQ(w.form.PicNew().At(5, 5), kResultBackground);
  EXPECT_EQ(w.form.PicNew().At(12, 12), Rgb(6, 6, 6));
  EXPECT_EQ(w.form.Dark().At(5, 5), 6);
  EXPECT_EQ(w.form.Analysis().Holes().Size(), 1u);
  ASSERT_EQ(w.toolkit.clipboard.size(), 4u);
  EXPECT_EQ(w.toolkit.clipboard[2], RecordingWindow::kCleared);
  EXPECT_EQ(w.toolkit.clipboard[3], w.form.Analysis().ReportText());
  EXPECT_EQ(w.toolkit.clipboard[3], w.toolkit.clipboard[1]);  // the same hole, reported alone
}

TEST(Form1, picture_of_no_pixels_scans_the_single_cell_of_its_map) {
  Window w(Picture(0, 0, kPaper));
  EXPECT_EQ(w.form.Dark().Bytes().size(), 1u);
  EXPECT_FALSE(w.form.CmdDraw_Click());
  EXPECT_EQ(w.toolkit.clipboard.back(), "0\t\r\n\r\n");
}

TEST(Form1, darkness_map_file_is_an_exact_raw_dump_replaced_whole) {
  TempDir dir;
  const fs::path file = dir / "file.dat";
  Picture picture = Paper(400, 300);
  picture.Set(0, 1, kBlack);
  Window w(picture);
  w.form.CmdDraw_Click();
  WriteFile(file, 500000, 0xAA);                  // a larger file from before is not left behind
  WriteFile(file.string() + ".tmp", 1000, 0xBB);  // somebody else's file, left alone

  ASSERT_FALSE(w.form.SaveDarkMap(file.string()));
  const std::vector<std::uint8_t> saved = ReadFile(file);
  ASSERT_EQ(saved.size(), 401u * 301u);
  EXPECT_EQ(saved[401], 255);  // DarkMap(0, 1)
  EXPECT_EQ(saved[0], 6);
  EXPECT_EQ(saved, w.form.Dark().Bytes());
  EXPECT_EQ(ReadFile(file.string() + ".tmp"), std::vector<std::uint8_t>(1000, 0xBB));
  // No scratch file of the save stays behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);

  w.form.CmdLoad_Click();  // the map is all zero again
  ASSERT_FALSE(w.form.LoadDarkMap(file.string()));
  EXPECT_EQ(w.form.Dark().Bytes(), saved);
  ASSERT_FALSE(w.form.SaveDarkMap(file.string()));
  EXPECT_EQ(ReadFile(file), saved);
}

TEST(Form1, darkness_map_load_refuses_a_missing_or_wrong_sized_file_and_keeps_the_map) {
  TempDir dir;
  Picture picture = Paper(8, 6);
  picture.Set(3, 3, kBlack);
  Window w(picture);
  w.form.CmdDraw_Click();
  const std::vector<std::uint8_t> before = w.form.Dark().Bytes();

  const fs::path missing = dir / "missing.dat";
  EXPECT_TRUE(w.form.LoadDarkMap(missing.string()));
  EXPECT_FALSE(fs::exists(missing));

  for (std::size_t size : {std::size_t{62}, std::size_t{64}, std::size_t{0}}) {
    WriteFile(dir / "wrong.dat", size, 0x11);
    const auto reason = w.form.LoadDarkMap((dir / "wrong.dat").string());
    ASSERT_TRUE(reason);
    EXPECT_NE(reason->find("holds " + std::to_string(size) + " bytes"), std::string::npos)
        << *reason;
    EXPECT_EQ(w.form.Dark().Bytes(), before);
  }

  const fs::path nowhere = dir / "no-such-dir" / "file.dat";
  EXPECT_TRUE(w.form.SaveDarkMap(nowhere.string()));
  EXPECT_FALSE(fs::exists(nowhere.parent_path()));
}

TEST(Form1, darkness_map_default_path_is_file_dat_in_the_home_folder) {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') GTEST_SKIP() << "no HOME";
  EXPECT_EQ(DefaultDarkMapPath(), std::string(home) + "/file.dat");
}

// The command line sets its --select rectangle directly: this is why that equals the window.
TEST(Form1, a_right_then_a_left_press_set_every_rectangle_that_fits_exactly) {
  constexpr int kWidth = 7, kHeight = 5;
  RecordingWindow toolkit(Picture(kWidth, kHeight, 0xFFFFFFFFu));
  Form1 form(toolkit, toolkit);
  for (int l = 0; l <= kWidth; ++l)
    for (int r = l + 1; r <= kWidth; ++r)
      for (int t = 0; t <= kHeight; ++t)
        for (int b = t + 1; b <= kHeight; ++b) {
          ASSERT_FALSE(form.CmdLoad_Click());
          form.PicTarget_MouseDown(kRightButton, 0, static_cast<float>(r),
                                   static_cast<float>(b));
          form.PicTarget_MouseDown(kLeftButton, 0, static_cast<float>(l), static_cast<float>(t));
          const Selection expected{.SelTop = t, .SelBottom = b, .SelLeft = l, .SelRight = r};
          ASSERT_EQ(form.Sel(), expected) << l << "," << t << "," << r << "," << b;
        }
}

}  // namespace
}  // namespace holescan
