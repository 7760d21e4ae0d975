#include "cli/output_clash.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/scratch_folder.h"

namespace holescan::cli {
namespace {

class OutputClashes : public testing::ScratchFolder {
 protected:
  Options With(std::vector<std::string> pictures) {
    Options options;
    for (std::string& picture : pictures) options.pictures.push_back(Path(picture));
    return options;
  }
};

TEST_F(OutputClashes, every_output_option_is_checked_against_the_pictures_and_each_other) {
  Write("in.bmp", {'B', 'M'});
  std::filesystem::create_symlink(Path("in.bmp"), Path("link.bmp"));
  // Each output of the table, naming the picture through a link.
  for (const results::Output* output : OutputOptions()) {
    Options options = With({"in.bmp"});
    options.File(output->name) = Path("link.bmp");
    const auto clash = OutputClash(options);
    ASSERT_TRUE(clash) << output->option;
    EXPECT_EQ(clash->rfind(std::string(output->option) + " ", 0), 0u) << *clash;
    EXPECT_NE(clash->find("names the picture"), std::string::npos) << *clash;
  }
  Options two = With({"in.bmp"});
  two.File("json") = Path("x.json");
  two.File("csv") = Path("sub/../x.json");
  EXPECT_NE(OutputClash(two).value_or("").find("name the same file"), std::string::npos);
}

TEST_F(OutputClashes, one_file_collecting_every_picture_and_devices_are_no_clash) {
  Write("a.bmp", {'B', 'M'});
  Write("b.bmp", {'B', 'M'});
  Options options = With({"a.bmp", "b.bmp"});
  options.File("csv") = Path("all.csv");
  options.File("json") = "/dev/null";
  options.File("report") = "/dev/null";
  options.File("result") = kStandardOutput;
  EXPECT_EQ(OutputClash(options), std::nullopt);
}

}  // namespace
}  // namespace holescan::cli
