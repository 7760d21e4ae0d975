// outputs.h - every output of an analysis, declared once.
//
// One line of Outputs() a writer: its name, the command line's option that asks for it, the
// suffix the review window's export gives its file, the analyses that make it, and whether one
// file may hold every picture of a run. The command line's options, its check that no output
// names a picture or another output, its runs and the review window's export all walk this
// table; a new output is its writer (one file) and one line here.
//
// A writer of text writes one picture's part through a sink. A file for one picture is that
// part alone; a file holding every picture is `open`, the parts with `between` between two,
// then `close`, or `empty` when no picture gave a part. A writer of pictures draws one; the
// front end encodes it (PNG or BMP by the file's name). The outputs the exact analysis makes
// as it runs (the report, the messages, the darkness map, its result picture) and the review's
// printed report have no writer here: their front end makes them, under the name declared.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "pixel/picture.h"
#include "results/calibrated_report.h"
#include "results/csv.h"
#include "results/exact_report.h"

namespace holescan::results {

enum class Analysis { Exact, Calibrated, Both };
// EveryPicture: without {name} in its file name, one file holds every picture of the run.
enum class Holds { OnePicture, EveryPicture };

// One picture's results, of the analysis that ran.
struct PictureRecord {
  std::string_view path;                                // as given
  const AnalysisRecord* exact = nullptr;                // the exact analysis's
  const calibrated::CalibratedResult* calibrated = nullptr;  // the calibrated analysis's
  CalibratedRecord Calibrated() const { return {path, calibrated}; }
};

// What a writer knows beside the record.
struct WriteContext {
  int group = 1;           // the picture's number in the run, from 1
  bool collected = false;  // the part goes into a file holding every picture
  CsvColumns columns;      // the CSV's columns after the point table
  // How the point table's file column names the picture; the record's path when empty.
  std::string_view tableName;
  char decimalSeparator = '.';
};

using Sink = std::function<void(std::string_view bytes)>;

struct TextWriter {
  void (*part)(const PictureRecord& record, const WriteContext& context, const Sink& sink);
  std::string (*open)(const WriteContext& context);
  std::string_view between;
  std::string_view close;
  std::string (*empty)(const WriteContext& context);
};

// The scan with the record drawn over it; `scale` maps the record's picture pixels onto the
// given picture (a copy of the scan resized by that factor).
using PictureWriter = Picture (*)(const PictureView& picture, const PictureRecord& record,
                                  double scale);

struct Output {
  std::string_view name;    // "csv"; also how the front ends ask for it
  std::string_view option;  // "--csv"; empty: not on the command line
  std::string_view suffix;  // ".csv": the review's export writes NAME-shots.csv; empty: not
  Analysis analysis;
  Holds holds;
  std::string_view help;       // the option's help, of the calibrated analysis when both
  std::string_view exactHelp;  // for an output of both analyses: what the exact one writes
  const TextWriter* text = nullptr;
  PictureWriter picture = nullptr;

  bool Of(Analysis a) const { return analysis == Analysis::Both || analysis == a; }
};

// In the command line's --help order.
std::span<const Output> Outputs();
// The output of that name; a name not in the table is a programming error (std::logic_error).
const Output& OutputNamed(std::string_view name);
// Its position in Outputs().
std::size_t OutputIndex(std::string_view name);

// One picture's part as a whole string (what a file for one picture holds when not collected).
std::string PartText(const Output& output, const PictureRecord& record,
                     const WriteContext& context);

// A file holding every picture, part by part: open before the first part that writes any
// bytes, `between` between two, close or empty at Finish. `sink` receives the file's bytes.
class Collection {
 public:
  // `context`: what open and empty are written with (the CSV's columns).
  Collection(const Output& output, WriteContext context, Sink sink);
  // The picture's part, written with `context` (its number in the run).
  void Add(const PictureRecord& record, WriteContext context);
  // A part made elsewhere (another process's), as its writer wrote it with `collected` set.
  void AddText(std::string_view part);
  void Finish();

 private:
  void Before();

  const TextWriter& writer_;
  WriteContext context_;
  Sink sink_;
  bool any_ = false;
};

}  // namespace holescan::results
