#include "results/outputs.h"

#include <iterator>
#include <sstream>
#include <stdexcept>

#include "results/result_picture.h"

namespace holescan::results {

namespace {

constexpr std::string_view kJsonOpen = "[\n  ";

void JsonPart(const PictureRecord& record, const WriteContext& context, const Sink& sink) {
  {
    JsonWriter json(sink, context.collected ? 1 : 0);
    if (record.calibrated != nullptr) {
      WriteCalibratedJson(json, record.Calibrated());
    } else if (record.exact != nullptr) {
      WriteAnalysisJson(json, *record.exact);
    }
  }
  if (!context.collected) sink("\n");
}

const TextWriter kJson{&JsonPart, [](const WriteContext&) { return std::string(kJsonOpen); },
                       ",\n  ", "\n]\n", [](const WriteContext&) { return std::string("[]\n"); }};

std::string CsvHeaderLine(const WriteContext& context) {
  std::ostringstream header;
  CsvWriter(header, context.columns).Finish();
  return header.str();
}

void CsvPart(const PictureRecord& record, const WriteContext& context, const Sink& sink) {
  if (record.calibrated == nullptr) return;
  std::ostringstream rows;
  CsvWriter csv(rows, context.columns);
  if (context.collected) csv.SkipHeader();
  csv.Add(context.tableName.empty() ? record.path : context.tableName, context.group,
          *record.calibrated);
  csv.Finish();
  sink(rows.str());
}

const TextWriter kCsv{&CsvPart, &CsvHeaderLine, "", "", &CsvHeaderLine};

void SummaryPart(const PictureRecord& record, const WriteContext& context, const Sink& sink) {
  if (record.calibrated != nullptr) {
    sink(CalibratedSummary(record.Calibrated(), context.decimalSeparator));
  } else if (record.exact != nullptr) {
    sink(SummaryText(*record.exact, context.decimalSeparator));
  }
}

const TextWriter kSummary{&SummaryPart, nullptr, "", "", nullptr};

Picture ResultPart(const PictureView& picture, const PictureRecord& record, double scale) {
  return ResultPicture(picture, record.Calibrated(), scale);
}

const Output kOutputs[] = {
    {"report", "--report", "", Analysis::Exact, Holds::OnePicture,
     "the vote report, byte for byte the text the holescan window puts on the clipboard", "",
     nullptr, nullptr},
    {"result", "--result", ".png", Analysis::Both, Holds::OnePicture,
     "the scan with every shot circled in cyan and numbered, the point of aim as a red cross, "
     "the group's centre as a green one, and a legend (holescan-review's colours); PNG or BMP "
     "by the file name's extension (PNG on standard output)",
     "the result picture as the holescan window shows it: the darkness map, the vote maps "
     "and every shot hole's centre; PNG or BMP by the file name's extension",
     nullptr, &ResultPart},
    {"messages", "--messages", "", Analysis::Exact, Holds::OnePicture,
     "every line of the holescan window's message line, one per line, in order", "", nullptr,
     nullptr},
    {"json", "--json", ".json", Analysis::Both, Holds::EveryPicture,
     "the shots in pixels and in millimetres, their scores, the point of aim, the group's "
     "statistics and the settings, as JSON",
     "the holes and the shot holes, in pixels, as JSON", &kJson, nullptr},
    {"darkmap", "--save-darkmap", "", Analysis::Exact, Holds::OnePicture,
     "the darkness map: (W + 1) x (H + 1) bytes, row by row, no header", "", nullptr, nullptr},
    {"csv", "--csv", ".csv", Analysis::Calibrated, Holds::EveryPicture,
     "one row per shot in millimetres, the point table that shot-group tools read (R's "
     "shotGroups); one file holds every picture",
     "", &kCsv, nullptr},
    {"summary", "", "", Analysis::Both, Holds::OnePicture,
     "on standard output unless --quiet: the shots of each picture for people", "", &kSummary,
     nullptr},
    {"pdf", "", ".pdf", Analysis::Calibrated, Holds::OnePicture,
     "the review window's one-page report: the annotated scan, the settings, the group's "
     "statistics and the table of shots",
     "", nullptr, nullptr},
};

}  // namespace

std::span<const Output> Outputs() {
  return kOutputs;
}

std::size_t OutputIndex(std::string_view name) {
  for (std::size_t i = 0; i < std::size(kOutputs); ++i)
    if (kOutputs[i].name == name) return i;
  throw std::logic_error("no output named " + std::string(name));
}

const Output& OutputNamed(std::string_view name) {
  return kOutputs[OutputIndex(name)];
}

std::string PartText(const Output& output, const PictureRecord& record,
                     const WriteContext& context) {
  std::string text;
  if (output.text != nullptr)
    output.text->part(record, context, [&](std::string_view bytes) { text.append(bytes); });
  return text;
}

Collection::Collection(const Output& output, WriteContext context, Sink sink)
    : writer_(*output.text), context_(context), sink_(std::move(sink)) {
  context_.collected = true;
}

void Collection::Before() {
  if (!any_) {
    if (writer_.open) sink_(writer_.open(context_));
    any_ = true;
  } else {
    sink_(writer_.between);
  }
}

void Collection::Add(const PictureRecord& record, WriteContext context) {
  context.collected = true;
  bool started = false;
  writer_.part(record, context, [&](std::string_view bytes) {
    if (bytes.empty()) return;
    if (!started) Before();
    started = true;
    sink_(bytes);
  });
}

void Collection::AddText(std::string_view part) {
  if (part.empty()) return;
  Before();
  sink_(part);
}

void Collection::Finish() {
  if (any_) {
    sink_(writer_.close);
  } else if (writer_.empty) {
    sink_(writer_.empty(context_));
  }
}

}  // namespace holescan::results
