// exact_run.cpp - one picture through the exact analysis: the darkness map and the result
// picture allocated for it, the analysis with its captions streamed to --messages and its
// report to --report, then the other outputs.
#include <algorithm>
#include <cstdio>
#include <new>

#include "cli/cli.h"
#include "cli/outputs.h"
#include "cli/runner.h"
#include "holes/scan.h"
#include "holes/vote_map.h"
#include "io/dark_map_file.h"

namespace holescan::cli {
namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// What the exact analysis tells the command as it runs: captions go to --messages, the
// report straight into --report, the progress to the progress line.
class DrawObserver final : public ScanObserver {
 public:
  // `report` null: the report is kept by the analysis when `keepReport`, else dropped.
  DrawObserver(OutputFile* messages, OutputFile* report, bool keepReport,
               std::function<void(float)> progress)
      : messages_(messages),
        report_(report),
        keepReport_(keepReport),
        progress_(std::move(progress)) {}

  void SetCaption(std::string_view caption) override {
    if (messages_ != nullptr) messages_->WriteLine(caption);
  }
  void SetProgress(float fraction) override { progress_(fraction); }
  bool TakesReportInParts() const override { return !keepReport_; }
  void ReportPart(std::string_view part) override {
    if (report_ != nullptr) report_->Write(part);
  }

 private:
  OutputFile* messages_;
  OutputFile* report_;
  bool keepReport_;
  std::function<void(float)> progress_;
};

}  // namespace

void Runner::AnalyseExact(const std::string& path, const PictureFile& file,
                          std::chrono::steady_clock::time_point loadStart) {
  const Picture& target = file.picture;
  MemoryBudget budget(o_.memoryLimit);
  const auto pixels = static_cast<std::int64_t>(target.Width()) * target.Height();
  budget.Take(9 * pixels, "the picture and its buffers");  // checked by the loader already
  const std::string& reportPattern = o_.File("report");
  const std::string& resultPattern = o_.File("result");
  std::optional<DarkMap> dark;
  std::optional<Picture> result;
  try {
    dark.emplace(target.Width(), target.Height());
    // Draw writes every pixel of the result picture; without --result there is none.
    if (!resultPattern.empty()) result = Picture::Unfilled(target.Width(), target.Height());
  } catch (const std::bad_alloc&) {
    Fail(path, "out of memory", kExitLoadFailed);
    return;
  }
  const double loading = SecondsSince(loadStart);

  const auto analysisStart = std::chrono::steady_clock::now();
  const std::optional<Selection> selection = SelectionFor(path, target.Width(), target.Height());
  if (!selection) return;
  std::optional<OutputFile> messages;
  if (const std::string& pattern = o_.File("messages"); !pattern.empty()) {
    messages.emplace(ExpandName(pattern, path));
    if (!messages->IsOpen()) {
      Fail(path, messages->OpenError(), kExitDrawFailed);
      messages.reset();
    }
  }
  // The report goes to its file as it is made (a file that cannot be opened says so where
  // the report is put in place); to standard output only once it is whole.
  std::optional<OutputFile> report;
  if (!reportPattern.empty() && reportPattern != kStandardOutput)
    report.emplace(ExpandName(reportPattern, path));
  DrawObserver observer(messages ? &*messages : nullptr, report ? &*report : nullptr,
                        reportPattern == kStandardOutput,
                        [this](float fraction) { ShowProgress(fraction); });
  HoleAnalysis analysis;
  analysis.SetDecimalSeparator(separator_);
  analysis.SetBudget(&budget);
  std::optional<std::string> drawFailure;
  try {
    Draw(analysis, target.View(), *selection,
         result ? ScanBuffers(*dark, *result) : ScanBuffers(*dark), observer);
  } catch (const std::bad_alloc&) {
    drawFailure = "Draw stopped: out of memory";
  } catch (const std::exception& error) {
    drawFailure = std::string("Draw stopped: ") + error.what();
  }
  if (messages) {
    if (drawFailure) messages->WriteLine(*drawFailure);
    if (auto failure = messages->Commit()) Fail(path, *failure, kExitDrawFailed);
  }
  if (drawFailure) {
    Fail(path, *drawFailure, kExitDrawFailed);
    return;
  }
  const double analysisSeconds = SecondsSince(analysisStart);

  const auto writingStart = std::chrono::steady_clock::now();
  const AnalysisRecord record{path,       target.Width(),   target.Height(),
                              *selection, analysis.Holes(), analysis.Peaks()};
  const auto check = [&](std::optional<std::string> failure) {
    if (failure) Fail(path, *failure, kExitDrawFailed);
    return true;
  };
  // The outputs the analysis made as it ran; the others from their writers.
  WriteOutputs(path, {path, &record, nullptr}, results::Analysis::Exact, nullptr,
               [&](const results::Output& output) {
                 if (output.name == "report") {
                   if (report) return check(report->Commit());
                   return check(WriteBytes(kStandardOutput, analysis.ReportText()));
                 }
                 if (output.name == "result")
                   return check(WritePicture(*result, o_.resultFormat,
                                             ExpandName(resultPattern, path)));
                 if (output.name == "messages") return true;  // committed above
                 if (output.name == "darkmap") {
                   const std::string name = ExpandName(o_.File(output), path);
                   const auto& bytes = dark->Bytes();
                   if (name == kStandardOutput)
                     return check(WriteBytes(name, std::string_view(reinterpret_cast<const char*>(
                                                                        bytes.data()),
                                                                    bytes.size())));
                   return check(SaveDarkMapFile(*dark, name));
                 }
                 return false;
               });
  if (o_.timings) {
    ClearProgress();
    std::fprintf(stderr, "%s: %s: loading %.3f s, analysis %.3f s, writing %.3f s\n", kProgram,
                 OneLine(path).c_str(), loading, analysisSeconds, SecondsSince(writingStart));
  }
}

}  // namespace holescan::cli
