#include "cli/cli.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <new>
#include <optional>

#include "cli/options.h"
#include "cli/outputs.h"
#include "holes/scan.h"
#include "holes/vote_map.h"
#include "io/dark_map_file.h"
#include "main_window/qt/picture_loader.h"

namespace holescan::cli {
namespace {

constexpr char kProgram[] = "holescan-cli";
constexpr std::chrono::milliseconds kRedrawInterval{100};

// The decoders behind Qt (libpng, libtiff) print their complaints to standard error
// themselves; the command says in one line what went wrong instead.
PictureFile LoadWithDecodersSilenced(const std::string& path) {
  std::fflush(stderr);
  const int saved = ::dup(STDERR_FILENO);
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  const bool silenced = saved >= 0 && null >= 0 && ::dup2(null, STDERR_FILENO) >= 0;
  PictureFile file = LoadPictureFile(path);
  if (silenced) {
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
  }
  if (null >= 0) ::close(null);
  if (saved >= 0) ::close(saved);
  return file;
}

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

class Runner {
 public:
  explicit Runner(const Options& options)
      : o_(options),
        separator_(UserDecimalSeparator()),
        progressLine_(options.pictures.size() > 1 && ::isatty(STDERR_FILENO) == 1) {}

  int RunAll() {
    // One JSON array for all pictures, written as each picture is done.
    if (o_.JsonCollected()) {
      collectedFile_.emplace(o_.json);
      collected_.emplace([this](std::string_view bytes) { collectedFile_->Write(bytes); });
      collected_->BeginArray();
    }
    for (std::size_t i = 0; i < o_.pictures.size(); ++i) {
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
    ClearProgress();
    if (collected_) {
      collected_->EndArray();
      collected_.reset();
      collectedFile_->Write("\n");
      if (auto failure = collectedFile_->Commit()) {
        std::fprintf(stderr, "%s: %s\n", kProgram, OneLine(*failure).c_str());
        status_ = std::max(status_, kExitDrawFailed);
      }
    }
    return status_;
  }

 private:
  void Fail(const std::string& picture, const std::string& reason, int status) {
    ClearProgress();
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, OneLine(picture).c_str(),
                 OneLine(reason).c_str());
    std::fflush(stderr);
    status_ = std::max(status_, status);
  }

  void ShowProgress(float fraction) {
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

  void ClearProgress() {
    if (!progressLine_ || shownPercent_ < 0) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shownPercent_ = -1;
  }

  // The --select rectangle, or the whole picture; nullopt when it does not fit.
  std::optional<Selection> SelectionFor(const std::string& path, int width, int height) {
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

  void Analyse(const std::string& path) {
    ShowProgress(0);
    const auto loadStart = std::chrono::steady_clock::now();
    PictureFile file = LoadWithDecodersSilenced(path);
    if (!file.loaded) {
      Fail(path, file.reason, kExitLoadFailed);
      return;
    }
    const Picture& target = file.picture;
    std::optional<DarkMap> dark;
    std::optional<Picture> result;
    try {
      dark.emplace(target.Width(), target.Height());
      result.emplace(target.Width(), target.Height(), kResultBackground);
    } catch (const std::bad_alloc&) {
      Fail(path, "out of memory", kExitLoadFailed);
      return;
    }
    const double loading = SecondsSince(loadStart);

    const auto analysisStart = std::chrono::steady_clock::now();
    const std::optional<Selection> selection = SelectionFor(path, target.Width(), target.Height());
    if (!selection) return;
    std::optional<OutputFile> messages;
    OpenOutput(messages, o_.messages, path);
    // The report goes to its file as it is made (a file that cannot be opened says so where
    // the report is put in place); to standard output only once it is whole.
    std::optional<OutputFile> report;
    if (!o_.report.empty() && o_.report != kStandardOutput)
      report.emplace(ExpandName(o_.report, path));
    DrawObserver observer(messages ? &*messages : nullptr, report ? &*report : nullptr,
                          o_.report == kStandardOutput,
                          [this](float fraction) { ShowProgress(fraction); });
    HoleAnalysis analysis;
    analysis.SetDecimalSeparator(separator_);
    std::optional<std::string> drawFailure;
    try {
      Draw(analysis, target.View(), *selection, {*dark, *result}, observer);
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
    const double analysis_seconds = SecondsSince(analysisStart);

    const auto writingStart = std::chrono::steady_clock::now();
    const AnalysisRecord record{path,       target.Width(),   target.Height(),
                                *selection, analysis.Holes(), analysis.Peaks()};
    auto check = [&](std::optional<std::string> failure) {
      if (failure) Fail(path, *failure, kExitDrawFailed);
    };
    if (report) check(report->Commit());
    if (o_.report == kStandardOutput) check(WriteBytes(kStandardOutput, analysis.ReportText()));
    if (!o_.result.empty())
      check(WritePicture(*result, o_.resultFormat, ExpandName(o_.result, path)));
    WriteJson(path, record);
    if (!o_.saveDarkMap.empty()) {
      const std::string name = ExpandName(o_.saveDarkMap, path);
      const auto& bytes = dark->Bytes();
      if (name == kStandardOutput) {
        check(WriteBytes(
            name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
      } else {
        check(SaveDarkMapFile(*dark, name));
      }
    }
    if (o_.Summary()) {
      ClearProgress();
      const std::string summary = SummaryText(record, separator_);
      std::fwrite(summary.data(), 1, summary.size(), stdout);
      std::fflush(stdout);
    }
    if (o_.timings) {
      ClearProgress();
      std::fprintf(stderr, "%s: %s: loading %.3f s, analysis %.3f s, writing %.3f s\n", kProgram,
                   OneLine(path).c_str(), loading, analysis_seconds, SecondsSince(writingStart));
    }
  }

  // The output `pattern` names for this picture, open; nullopt when not asked for or when it
  // cannot be opened (said on standard error).
  void OpenOutput(std::optional<OutputFile>& file, const std::string& pattern,
                  const std::string& path) {
    if (pattern.empty()) return;
    file.emplace(ExpandName(pattern, path));
    if (!file->IsOpen()) {
      Fail(path, file->OpenError(), kExitDrawFailed);
      file.reset();
    }
  }

  void WriteJson(const std::string& path, const AnalysisRecord& record) {
    if (o_.json.empty()) return;
    if (collected_) {
      WriteAnalysisJson(*collected_, record);
      return;
    }
    OutputFile json(ExpandName(o_.json, path));
    {
      JsonWriter writer([&json](std::string_view bytes) { json.Write(bytes); });
      WriteAnalysisJson(writer, record);
    }
    json.Write("\n");
    if (auto failure = json.Commit()) Fail(path, *failure, kExitDrawFailed);
  }

  const Options& o_;
  const char separator_;
  const bool progressLine_;
  std::size_t index_ = 0;
  int shownPercent_ = -1;  // -1: no progress line on the screen
  std::chrono::steady_clock::time_point shownAt_;
  int status_ = kExitOk;
  std::optional<OutputFile> collectedFile_;
  std::optional<JsonWriter> collected_;
};

}  // namespace

int Run(const std::vector<std::string>& arguments) {
  const ParsedArguments parsed = ParseArguments(arguments);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "%s: %s\n", kProgram, OneLine(parsed.error).c_str());
    return kExitUsage;
  }
  if (parsed.options.help) {
    std::fputs(HelpText().c_str(), stdout);
    return kExitOk;
  }
  if (parsed.options.version) {
    std::printf("%s %s\n", kProgram, HOLESCAN_VERSION);
    return kExitOk;
  }
  return Runner(parsed.options).RunAll();
}

}  // namespace holescan::cli
