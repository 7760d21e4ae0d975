#include "cli/options.h"

#include <gtest/gtest.h>

namespace holescan::cli {
namespace {

ParsedArguments Parse(std::vector<std::string> arguments) {
  return ParseArguments(arguments);
}

std::string ErrorOf(std::vector<std::string> arguments) {
  return Parse(arguments).error;
}

TEST(Options, reads_every_option_in_both_spellings) {
  const ParsedArguments p =
      Parse({"--report", "r.txt", "--result=out.BMP", "--messages", "m.txt", "--json=j.json",
             "--save-darkmap", "d.dat", "-q", "--select", "1,2,30,40", "a.bmp"});
  ASSERT_EQ(p.error, "");
  const Options& o = p.options;
  EXPECT_EQ(o.File("report"), "r.txt");
  EXPECT_EQ(o.File("result"), "out.BMP");
  EXPECT_EQ(o.resultFormat, PictureFormat::Bmp);
  EXPECT_EQ(o.File("messages"), "m.txt");
  EXPECT_EQ(o.File("json"), "j.json");
  EXPECT_EQ(o.File("darkmap"), "d.dat");
  EXPECT_TRUE(o.quiet);
  EXPECT_EQ(o.select, (Selection{.SelTop = 2, .SelBottom = 40, .SelLeft = 1, .SelRight = 30}));
  EXPECT_EQ(o.pictures, std::vector<std::string>{"a.bmp"});
  EXPECT_EQ(Parse({"--result", "x.png", "a"}).options.resultFormat, PictureFormat::Png);
  EXPECT_EQ(Parse({"--result", "-", "a"}).options.resultFormat, PictureFormat::Png);
}

TEST(Options, pictures_may_look_like_options_after_a_double_dash) {
  const ParsedArguments p = Parse({"a.bmp", "--", "--odd.bmp", "-"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.pictures, (std::vector<std::string>{"a.bmp", "--odd.bmp", "-"}));
}

TEST(Options, help_and_version_need_no_picture) {
  EXPECT_TRUE(Parse({"--help"}).options.help);
  EXPECT_TRUE(Parse({"-h"}).options.help);
  EXPECT_TRUE(Parse({"--version"}).options.version);
  EXPECT_EQ(Parse({"--help"}).error, "");
  EXPECT_EQ(ErrorOf({}), "no picture given (see --help)");
  EXPECT_EQ(ErrorOf({"-q"}), "no picture given (see --help)");
}

TEST(Options, select_needs_four_numbers_of_a_rectangle_the_right_way_round) {
  const std::string syntax = ": expected four whole numbers L,T,R,B";
  for (const char* bad :
       {"1,2,3", "1,2,3,4,5", "a,b,c,d", "1,,2,3", " 1,2,3,4", "1,2,3,4 ", "1.5,2,3,4", ""}) {
    EXPECT_EQ(ErrorOf({"--select", bad, "a.bmp"}), std::string("--select ") + bad + syntax);
  }
  const std::string order = ": needs 0 <= L < R <= W and 0 <= T < B <= H (at most 32766)";
  for (const char* bad : {"5,0,5,9", "6,0,5,9", "0,9,5,9", "-1,0,5,9", "0,0,32767,9"}) {
    EXPECT_EQ(ErrorOf({"--select", bad, "a.bmp"}), std::string("--select ") + bad + order);
  }
  EXPECT_EQ(ErrorOf({"--select", "0,0,32766,32766", "a.bmp"}), "");
  EXPECT_EQ(ErrorOf({"--select", "0,0,1,1", "--select", "0,0,2,2", "a"}), "--select given twice");
}

TEST(Options, unknown_incomplete_and_repeated_options_are_usage_errors) {
  EXPECT_EQ(ErrorOf({"--bogus", "a"}), "unknown option '--bogus' (see --help)");
  EXPECT_EQ(ErrorOf({"-x", "a"}), "unknown option '-x' (see --help)");
  EXPECT_EQ(ErrorOf({"a", "--report"}), "--report needs a value (see --help)");
  EXPECT_EQ(ErrorOf({"--report=", "a"}), "--report needs a file name");
  EXPECT_EQ(ErrorOf({"--report", "x", "--report", "y", "a"}), "--report given twice");
  EXPECT_EQ(ErrorOf({"--quiet=yes", "a"}), "--quiet takes no value");
  EXPECT_EQ(ErrorOf({"--result", "out.jpg", "a"}),
            "--result out.jpg: the file name must end in .png or .bmp");
}

TEST(Options, several_pictures_need_name_in_every_file_but_a_collected_json) {
  EXPECT_EQ(ErrorOf({"--report", "r.txt", "a", "b"}),
            "--report r.txt: with several pictures the file name must contain {name}");
  EXPECT_EQ(ErrorOf({"--messages", "-", "a", "b"}),
            "--messages -: with several pictures the file name must contain {name}");
  EXPECT_EQ(ErrorOf({"--report", "r-{name}.txt", "--result", "{name}.png", "a", "b"}), "");
  EXPECT_EQ(ErrorOf({"--report", "r.txt", "a"}), "");

  const ParsedArguments collected = Parse({"--json", "all.json", "a", "b"});
  EXPECT_EQ(collected.error, "");
  EXPECT_TRUE(collected.options.Collected(results::OutputNamed("json")));
  EXPECT_FALSE(Parse({"--json", "{name}.json", "a", "b"}).options.Collected(results::OutputNamed("json")));
  EXPECT_FALSE(Parse({"--json", "all.json", "a"}).options.Collected(results::OutputNamed("json")));
}

TEST(Options, outputs_named_after_pictures_must_not_collide) {
  EXPECT_EQ(ErrorOf({"--report", "{name}.txt", "x/a.bmp", "y/a.png"}),
            "two pictures are named 'a': their outputs would overwrite each other");
  EXPECT_EQ(ErrorOf({"x/a.bmp", "y/a.png"}), "");  // nothing written, nothing overwritten
}

TEST(Options, standard_output_takes_one_output_and_replaces_the_summary) {
  EXPECT_EQ(ErrorOf({"--report", "-", "--json", "-", "a"}),
            "only one output can go to standard output (-)");
  EXPECT_FALSE(Parse({"--json", "-", "a"}).options.Summary());
  EXPECT_FALSE(Parse({"-q", "a"}).options.Summary());
  EXPECT_TRUE(Parse({"--json", "j.json", "a"}).options.Summary());
}

TEST(Options, name_is_the_file_name_without_folder_and_extension) {
  EXPECT_EQ(PictureName("scans/2024/target.v2.bmp"), "target.v2");
  EXPECT_EQ(PictureName("target"), "target");
  EXPECT_EQ(ExpandName("out/{name}-{name}.txt", "scans/t1.png"), "out/t1-t1.txt");
  EXPECT_EQ(ExpandName("fixed.txt", "scans/t1.png"), "fixed.txt");
  EXPECT_EQ(ExpandName("{nam}{name", "t1.png"), "{nam}{name");
}

// The manual page and the completion come from the declarations --help is written from: every
// option --help lists is in both, and the manual page says nothing --help does not.
TEST(Options, manual_page_and_completion_list_every_option_of_help) {
  const std::string help = HelpText();
  const std::string page = ManPage();
  const std::string completion = BashCompletion();
  // The words offered after "-": the list of the one compgen that starts with an option.
  const std::size_t from = completion.find("compgen -W '-") + 12;
  const std::string words = " " + completion.substr(from, completion.find('\'', from) - from) + " ";
  EXPECT_EQ(page.rfind(".\\\" holescan-cli(1)", 0), 0u);
  EXPECT_NE(page.find("\n.SH SYNOPSIS\n"), std::string::npos);
  EXPECT_NE(page.find("\n.SH \"EXIT STATUS\"\n"), std::string::npos);
  int listed = 0;
  for (std::size_t at = help.find("\n  --"); at != std::string::npos;
       at = help.find("\n  --", at + 1)) {
    const std::size_t end = help.find_first_of(" \n", at + 3);
    const std::string name = help.substr(at + 3, end - at - 3);
    std::string roff;
    for (char c : name) roff += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(page.find("\\fB" + roff + "\\fR"), std::string::npos) << name;
    EXPECT_NE(words.find(" " + name + " "), std::string::npos) << name << " in" << words;
    ++listed;
  }
  EXPECT_EQ(listed, 20);  // --result and --json twice, once for each analysis
  EXPECT_EQ(page.find("--timings"), std::string::npos);
  EXPECT_EQ(page.find("\\-\\-timings"), std::string::npos);
  EXPECT_NE(
      completion.find("--face)\n      COMPREPLY=($(compgen -W 'auto issf-air-rifle issf-air-pistol "
                      "issf-50m-rifle issf-25m-precision-pistol issf-25m-rapid-fire-pistol "
                      "issf-300m-rifle nra-a17'"),
      std::string::npos)
      << completion;
}

}  // namespace
}  // namespace holescan::cli
