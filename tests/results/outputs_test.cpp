// The table of outputs, and the files that hold every picture's part of one.
#include "results/outputs.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

namespace holescan::results {
namespace {

// Shots measured at 254 ppi (ten pixels a millimetre) from an aim given at (100, 100).
calibrated::CalibratedResult Measured(std::vector<calibrated::Shot> shots) {
  calibrated::CalibratedResult result;
  result.width = result.height = 200;
  result.settings.dpi = 254;
  result.settings.calibreMm = 4.5;
  result.settings.dpiSource = calibrated::ResolutionSource::Option;
  result.settings.aim = score::AimPoint{100, 100};
  return calibrated::Rescore(std::move(result), std::move(shots));
}

std::string Collected(const Output& output, const std::vector<PictureRecord>& records,
                      WriteContext context = {}) {
  std::string file;
  Collection collection(output, context, [&](std::string_view bytes) { file += bytes; });
  for (std::size_t i = 0; i < records.size(); ++i) {
    context.group = static_cast<int>(i + 1);
    collection.Add(records[i], context);
  }
  collection.Finish();
  return file;
}

TEST(Outputs, each_is_declared_once_with_what_the_front_ends_ask_of_it) {
  std::set<std::string_view> names, options, suffixes;
  for (const Output& output : Outputs()) {
    EXPECT_TRUE(names.insert(output.name).second) << output.name;
    EXPECT_FALSE(output.help.empty()) << output.name;
    if (!output.option.empty()) {
      EXPECT_TRUE(output.option.starts_with("--")) << output.name;
      EXPECT_TRUE(options.insert(output.option).second) << output.option;
    }
    if (!output.suffix.empty()) {
      EXPECT_TRUE(suffixes.insert(output.suffix).second) << output.suffix;
    }
    // An output of both analyses says what each writes.
    EXPECT_EQ(output.analysis == Analysis::Both && !output.option.empty(),
              !output.exactHelp.empty())
        << output.name;
    // Only a text can hold every picture.
    if (output.holds == Holds::EveryPicture) {
      EXPECT_NE(output.text, nullptr) << output.name;
    }
  }
  EXPECT_EQ(&OutputNamed("csv"), &Outputs()[OutputIndex("csv")]);
  EXPECT_TRUE(OutputNamed("json").Of(Analysis::Exact));
  EXPECT_FALSE(OutputNamed("csv").Of(Analysis::Exact));
  EXPECT_THROW(OutputNamed("tsv"), std::logic_error);
}

TEST(Outputs, a_json_of_every_picture_is_one_array_laid_out_as_one_writer_would) {
  const calibrated::CalibratedResult a = Measured({{100, 100}, {130, 100}});
  const calibrated::CalibratedResult b = Measured({{100, 90, true}});
  const Output& json = OutputNamed("json");
  EXPECT_EQ(Collected(json, {}), "[]\n");

  const std::string file = Collected(json, {{"a.png", nullptr, &a}, {"b.png", nullptr, &b}});
  std::string expected;
  {
    JsonWriter writer([&](std::string_view bytes) { expected += bytes; });
    writer.BeginArray();
    WriteCalibratedJson(writer, {"a.png", &a});
    WriteCalibratedJson(writer, {"b.png", &b});
    writer.EndArray();
  }
  EXPECT_EQ(file, expected + "\n");
  const nlohmann::json read = nlohmann::json::parse(file);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[1]["shots"][0]["edited"], true);
  // One picture alone: its object at the outer level, and a line end.
  std::string alone;
  {
    JsonWriter writer([&](std::string_view bytes) { alone += bytes; });
    WriteCalibratedJson(writer, {"a.png", &a});
  }
  EXPECT_EQ(PartText(json, {"a.png", nullptr, &a}, {}), alone + "\n");
}

TEST(Outputs, a_csv_of_every_picture_has_one_header_and_the_pictures_rows_by_number) {
  const calibrated::CalibratedResult a = Measured({{100, 100}, {130, 100}});
  const calibrated::CalibratedResult none = Measured({});
  const Output& csv = OutputNamed("csv");
  // No picture with shots: the header alone, with the columns the run asks for.
  EXPECT_EQ(Collected(csv, {{"n.png", nullptr, &none}}), std::string(kCsvHeader) + "\n");
  WriteContext placed;
  placed.columns.placed = true;
  EXPECT_EQ(Collected(csv, {}, placed), std::string(kCsvHeader) + ",placed\n");

  const std::string file =
      Collected(csv, {{"n.png", nullptr, &none}, {"a.png", nullptr, &a}, {"b.png", nullptr, &a}});
  std::vector<std::string> lines;
  for (std::size_t from = 0, to; (to = file.find('\n', from)) != std::string::npos; from = to + 1)
    lines.push_back(file.substr(from, to - from));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], kCsvHeader);
  EXPECT_TRUE(lines[1].starts_with("a.png,2,1,")) << lines[1];
  EXPECT_TRUE(lines[4].starts_with("b.png,3,2,")) << lines[4];
  // The one picture's own file: the header and its rows, as the table writes them.
  WriteContext second;
  second.group = 2;
  EXPECT_EQ(PartText(csv, {"a.png", nullptr, &a}, second),
            lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n");
  // The point table may name the picture otherwise than its path (the review: its file name).
  WriteContext named;
  named.tableName = "a.png";
  EXPECT_TRUE(PartText(csv, {"/x/a.png", nullptr, &a}, named)
                  .find("\na.png,1,1,") != std::string::npos);
}

TEST(Outputs, parts_made_elsewhere_are_put_together_as_parts_written_here) {
  const calibrated::CalibratedResult a = Measured({{100, 100}});
  for (const char* name : {"json", "csv"}) {
    const Output& output = OutputNamed(name);
    WriteContext part;
    part.collected = true;
    std::string joined;
    Collection collection(output, {}, [&](std::string_view bytes) { joined += bytes; });
    collection.AddText(PartText(output, {"a.png", nullptr, &a}, part));
    collection.AddText("");  // a picture that failed gives no part
    part.group = 2;
    collection.AddText(PartText(output, {"a.png", nullptr, &a}, part));
    collection.Finish();
    EXPECT_EQ(joined, Collected(output, {{"a.png", nullptr, &a}, {"a.png", nullptr, &a}})) << name;
  }
}

}  // namespace
}  // namespace holescan::results
