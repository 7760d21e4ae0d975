#include "cli/runner.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "cli/cli.h"
#include "cli/output_clash.h"
#include "cli/outputs.h"
#include "holes/vote_map.h"
#include "io/qt/picture_loader.h"

namespace holescan::cli {
namespace {

constexpr std::chrono::milliseconds kRedrawInterval{100};
// What the calibrated analysis needs beside the decoded picture, bytes a pixel at most: the
// annotated copy for --result, and the analysis's working pictures at full resolution.
constexpr std::int64_t kCalibratedBytesPerPixel = 8;
// The exact analysis's: the darkness map and the result picture.
constexpr std::int64_t kExactBytesPerPixel = 5;

}  // namespace

Runner::Runner(const Options& options)
    : o_(options),
      separator_(UserDecimalSeparator()),
      progressLine_(options.pictures.size() > 1 && ::isatty(STDERR_FILENO) == 1) {}

Runner::~Runner() = default;

int Runner::RunAll() {
  if (auto clash = OutputClash(o_)) {
    std::fprintf(stderr, "%s: %s\n", kProgram, OneLine(*clash).c_str());
    return kExitUsage;
  }
  const std::size_t jobs = std::min<std::size_t>(o_.jobs, o_.pictures.size());
  if (jobs > 1) return RunInProcesses(jobs);
  BeginCollected(false);
  for (std::size_t i = 0; i < o_.pictures.size(); ++i) AnalyseOne(i);
  ClearProgress();
  FinishCollected();
  return status_;
}

results::WriteContext Runner::ContextFor(const results::Output&) const {
  results::WriteContext context;
  context.group = static_cast<int>(index_ + 1);
  context.columns.placed = o_.expectedShots.has_value();
  context.decimalSeparator = separator_;
  return context;
}

void Runner::BeginCollected(bool inMemory) {
  collected_.clear();
  collected_.reserve(results::Outputs().size());
  for (const results::Output& output : results::Outputs()) {
    if (output.text == nullptr || !o_.Collected(output)) continue;
    Collected& c = collected_.emplace_back();
    c.output = &output;
    // A job keeps its picture's part; the command puts the parts together.
    if (inMemory) continue;
    c.file = std::make_unique<OutputFile>(o_.File(output));
    OutputFile* file = c.file.get();
    c.collection = std::make_unique<results::Collection>(
        output, ContextFor(output), [file](std::string_view bytes) { file->Write(bytes); });
  }
}

void Runner::FinishCollected() {
  for (Collected& c : collected_) {
    if (!c.collection) continue;
    c.collection->Finish();
    if (auto failure = c.file->Commit()) FailRun(*failure);
  }
  collected_.clear();
}

void Runner::WriteOutputs(const std::string& path, const results::PictureRecord& record,
                          results::Analysis analysis, const PictureView* picture,
                          const std::function<bool(const results::Output&)>& own) {
  const auto check = [&](std::optional<std::string> failure) {
    if (failure) Fail(path, *failure, kExitDrawFailed);
  };
  for (const results::Output& output : results::Outputs()) {
    if (!output.Of(analysis)) continue;
    // An output without an option goes to standard output, unless --quiet or another output
    // goes there (the summary).
    if (output.option.empty()) {
      if (output.text == nullptr || !o_.Summary()) continue;
      ClearProgress();
      const std::string text = results::PartText(output, record, ContextFor(output));
      std::fwrite(text.data(), 1, text.size(), stdout);
      std::fflush(stdout);
      continue;
    }
    const std::string& pattern = o_.File(output);
    if (pattern.empty() || (own && own(output))) continue;
    const std::string name = ExpandName(pattern, path);
    if (output.picture != nullptr && picture != nullptr) {
      check(WritePicture(output.picture(*picture, record, 1), o_.resultFormat, name));
      continue;
    }
    if (output.text == nullptr) continue;
    const auto collected =
        std::find_if(collected_.begin(), collected_.end(),
                     [&](const Collected& c) { return c.output == &output; });
    if (collected != collected_.end()) {
      if (collected->collection) {
        collected->collection->Add(record, ContextFor(output));
      } else {
        results::WriteContext context = ContextFor(output);
        context.collected = true;
        output.text->part(record, context,
                          [&](std::string_view bytes) { collected->text.append(bytes); });
      }
      continue;
    }
    OutputFile file(name);
    output.text->part(record, ContextFor(output),
                      [&file](std::string_view bytes) { file.Write(bytes); });
    check(file.Commit());
  }
}

void Runner::AnalyseOne(std::size_t i) {
  index_ = i;
  shownPercent_ = -1;
  // Memory can run out anywhere past the loading (the JSON of millions of holes): the
  // picture fails, the command goes on.
  try {
    Analyse(o_.pictures[i]);
  } catch (const std::bad_alloc&) {
    Fail(o_.pictures[i], "out of memory", kExitDrawFailed);
  } catch (const std::exception& error) {
    Fail(o_.pictures[i], error.what(), kExitDrawFailed);
  }
}

void Runner::Analyse(const std::string& path) {
  ShowProgress(0);
  const auto loadStart = std::chrono::steady_clock::now();
  // The picture must leave room in the budget for what analyses it: the darkness map and
  // the result picture, or the annotated copy.
  PictureLimits limits;
  limits.memoryBudget = o_.memoryLimit;
  limits.analysisBytesPerPixel = o_.Calibrated() ? kCalibratedBytesPerPixel : kExactBytesPerPixel;
  PictureFile file = LoadPictureFile(path, limits);
  if (!file.loaded) {
    Fail(path, file.reason, kExitLoadFailed);
    return;
  }
  if (o_.Calibrated()) {
    AnalyseCalibrated(path, file);
  } else {
    AnalyseExact(path, file, loadStart);
  }
}

void Runner::FailRun(const std::string& reason) {
  std::fprintf(stderr, "%s: %s\n", kProgram, OneLine(reason).c_str());
  status_ = std::max(status_, kExitDrawFailed);
}

void Runner::Fail(const std::string& picture, const std::string& reason, int status) {
  ClearProgress();
  std::fprintf(stderr, "%s: %s: %s\n", kProgram, OneLine(picture).c_str(),
               OneLine(reason).c_str());
  std::fflush(stderr);
  status_ = std::max(status_, status);
}

// A line on standard error that does not change the exit status.
void Runner::Warn(const std::string& picture, const std::string& warning) {
  ClearProgress();
  std::fprintf(stderr, "%s: %s: %s\n", kProgram, OneLine(picture).c_str(),
               OneLine(warning).c_str());
  std::fflush(stderr);
}

void Runner::ShowProgress(float fraction) {
  if (!progressLine_) return;
  const int percent = std::clamp(static_cast<int>(std::floor(fraction * 100.0f)), 0, 100);
  // At most ten redraws a second, and always the first of a picture.
  const auto now = std::chrono::steady_clock::now();
  if (percent == shownPercent_ || (shownPercent_ >= 0 && now - shownAt_ < kRedrawInterval))
    return;
  shownPercent_ = percent;
  shownAt_ = now;
  std::fprintf(stderr, "\r%s: picture %zu of %zu: %s %3d%%\033[K", kProgram, index_ + 1,
               o_.pictures.size(), OneLine(PictureName(o_.pictures[index_])).c_str(), percent);
  std::fflush(stderr);
}

void Runner::ClearProgress() {
  if (!progressLine_ || shownPercent_ < 0) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  shownPercent_ = -1;
}

// The --select rectangle, or the whole picture; nullopt when it does not fit.
std::optional<Selection> Runner::SelectionFor(const std::string& path, int width, int height) {
  if (!o_.select) return WholePicture(width, height);
  const Selection& s = *o_.select;
  if (s.SelRight > width || s.SelBottom > height) {
    Fail(path,
         "--select " + std::to_string(s.SelLeft) + "," + std::to_string(s.SelTop) + "," +
             std::to_string(s.SelRight) + "," + std::to_string(s.SelBottom) +
             " does not fit the picture (" + std::to_string(width) + " x " +
             std::to_string(height) + " pixels)",
         kExitUsage);
    return std::nullopt;
  }
  return s;
}

}  // namespace holescan::cli
