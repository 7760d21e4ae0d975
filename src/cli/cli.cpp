#include "cli/cli.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <optional>
#include <span>
#include <sstream>

#include "calibrated/calibrated.h"
#include "cli/options.h"
#include "cli/output_clash.h"
#include "cli/outputs.h"
#include "holes/scan.h"
#include "holes/vote_map.h"
#include "io/dark_map_file.h"
#include "io/errno_reason.h"
#include "io/qt/picture_loader.h"
#include "results/calibrated_report.h"
#include "results/csv.h"
#include "results/result_picture.h"
#include "shots/shots.h"

namespace holescan::cli {
namespace {

constexpr char kProgram[] = "holescan-cli";
constexpr std::chrono::milliseconds kRedrawInterval{100};
// What the calibrated analysis needs beside the decoded picture, bytes a pixel at most: the
// annotated copy for --result, and the analysis's working pictures at full resolution.
constexpr std::int64_t kCalibratedBytesPerPixel = 8;

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

// Progress of the calibrated analysis, to the progress line; it is never cancelled.
class ProgressObserver final : public calibrated::Observer {
 public:
  explicit ProgressObserver(std::function<void(double)> show) : show_(std::move(show)) {}
  bool Progress(double fraction) override {
    show_(fraction);
    return true;
  }

 private:
  std::function<void(double)> show_;
};

class Runner {
 public:
  explicit Runner(const Options& options)
      : o_(options),
        separator_(UserDecimalSeparator()),
        progressLine_(options.pictures.size() > 1 && ::isatty(STDERR_FILENO) == 1) {}

  int RunAll() {
    if (auto clash = OutputClash(o_)) {
      std::fprintf(stderr, "%s: %s\n", kProgram, OneLine(*clash).c_str());
      return kExitUsage;
    }
    const std::size_t jobs = std::min<std::size_t>(o_.jobs, o_.pictures.size());
    if (jobs > 1) return RunInProcesses(jobs);
    // One JSON array for all pictures, written as each picture is done.
    if (o_.JsonCollected()) {
      collectedFile_.emplace(o_.json);
      collected_.emplace([this](std::string_view bytes) { collectedFile_->Write(bytes); });
      collected_->BeginArray();
    }
    if (o_.CsvCollected()) csvCollected_.emplace(csvRows_, false, o_.expectedShots.has_value());
    for (std::size_t i = 0; i < o_.pictures.size(); ++i) AnalyseOne(i);
    ClearProgress();
    if (csvCollected_) {
      csvCollected_->Finish();
      WriteCollected(o_.csv, csvRows_.str());
    }
    if (collected_) {
      collected_->EndArray();
      collected_.reset();
      collectedFile_->Write("\n");
      if (auto failure = collectedFile_->Commit()) FailRun(*failure);
    }
    return status_;
  }

 private:
  void AnalyseOne(std::size_t i) {
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

  void FailRun(const std::string& reason) {
    std::fprintf(stderr, "%s: %s\n", kProgram, OneLine(reason).c_str());
    status_ = std::max(status_, kExitDrawFailed);
  }

  void WriteCollected(const std::string& path, const std::string& bytes) {
    if (auto failure = WriteBytes(path, bytes)) FailRun(*failure);
  }

  // ---- Several pictures at once -------------------------------------------------------
  //
  // Each job is a process of its own (the decoders serialise within one), handed picture
  // numbers one at a time. A job writes what one picture prints, its status and its parts of
  // the collected JSON and CSV into files of a private folder; the command passes them on
  // in the pictures' order, so every output is what one job would have written, and memory
  // holds at most one picture per job.

  // The files one picture's run leaves in `folder`.
  static std::string PartFile(const std::string& folder, std::size_t i, const char* part) {
    return folder + "/" + std::to_string(i) + "." + part;
  }

  static std::string ReadPart(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    return bytes;
  }

  [[noreturn]] void RunJob(int commands, int done, const std::string& folder) {
    progressLine_ = false;  // the command shows the progress of the whole batch
    std::uint32_t i = 0;
    while (::read(commands, &i, sizeof i) == static_cast<ssize_t>(sizeof i)) {
      std::fflush(stdout);
      std::fflush(stderr);
      const int out =
          ::open(PartFile(folder, i, "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err =
          ::open(PartFile(folder, i, "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(out, STDOUT_FILENO);
      ::dup2(err, STDERR_FILENO);
      ::close(out);
      ::close(err);
      status_ = kExitOk;
      std::string json;
      if (o_.JsonCollected())
        collected_.emplace([&json](std::string_view bytes) { json += bytes; }, 1);
      std::ostringstream csv;
      if (o_.CsvCollected()) csvCollected_.emplace(csv, false, o_.expectedShots.has_value());
      AnalyseOne(i);
      if (collected_) collected_.reset();  // flushes into `json`
      csvCollected_.reset();
      std::fflush(stdout);
      std::fflush(stderr);
      std::ofstream(PartFile(folder, i, "json"), std::ios::binary) << json;
      std::string rows = csv.str();
      rows.erase(0, rows.find('\n') == std::string::npos ? rows.size() : rows.find('\n') + 1);
      std::ofstream(PartFile(folder, i, "csv"), std::ios::binary) << rows;
      std::ofstream(PartFile(folder, i, "status")) << status_;
      if (::write(done, &i, sizeof i) != static_cast<ssize_t>(sizeof i)) break;
    }
    std::fflush(nullptr);
    std::_Exit(0);
  }

  int RunInProcesses(std::size_t jobs) {
    std::string folder = (std::filesystem::temp_directory_path() / "holescan-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) {
      FailRun("cannot make a folder for the jobs: " + ErrnoReason(errno));
      return status_;
    }
    struct Job {
      pid_t pid = -1;
      int commands = -1;  // picture numbers to the job
      int done = -1;      // numbers of the pictures it finished
    };
    std::vector<Job> running;
    std::fflush(nullptr);
    for (std::size_t j = 0; j < jobs; ++j) {
      int toJob[2], fromJob[2];
      if (::pipe2(toJob, O_CLOEXEC) != 0 || ::pipe2(fromJob, O_CLOEXEC) != 0) break;
      const pid_t pid = ::fork();
      if (pid == 0) {
        ::close(toJob[1]);
        ::close(fromJob[0]);
        for (const Job& other : running) {
          ::close(other.commands);
          ::close(other.done);
        }
        RunJob(toJob[0], fromJob[1], folder);
      }
      ::close(toJob[0]);
      ::close(fromJob[1]);
      if (pid < 0) {
        ::close(toJob[1]);
        ::close(fromJob[0]);
        break;
      }
      running.push_back({pid, toJob[1], fromJob[0]});
    }
    if (running.empty()) {
      FailRun("cannot start the jobs: " + ErrnoReason(errno));
      std::filesystem::remove_all(folder);
      return status_;
    }

    const std::size_t count = o_.pictures.size();
    std::size_t next = 0;     // the next picture to hand out
    std::size_t written = 0;  // pictures passed on so far, in order
    std::vector<bool> finished(count, false);
    std::vector<std::optional<std::size_t>> handling(running.size());
    const auto handOut = [&](std::size_t j) {
      handling[j].reset();
      if (next >= count) return;
      const auto i = static_cast<std::uint32_t>(next);
      if (::write(running[j].commands, &i, sizeof i) == static_cast<ssize_t>(sizeof i))
        handling[j] = next++;
    };
    for (std::size_t j = 0; j < running.size(); ++j) handOut(j);

    std::optional<OutputFile> json;
    bool anyJson = false;
    if (o_.JsonCollected()) json.emplace(o_.json);
    std::string csv = o_.CsvCollected() ? std::string(results::kCsvHeader) + "\n" : "";
    while (written < count) {
      std::vector<pollfd> waiting;
      std::vector<std::size_t> jobOf;
      for (std::size_t j = 0; j < running.size(); ++j) {
        if (!handling[j]) continue;
        waiting.push_back({running[j].done, POLLIN, 0});
        jobOf.push_back(j);
      }
      if (waiting.empty()) break;  // every job is gone
      if (::poll(waiting.data(), waiting.size(), -1) < 0 && errno != EINTR) break;
      for (std::size_t w = 0; w < waiting.size(); ++w) {
        if (waiting[w].revents == 0) continue;
        const std::size_t j = jobOf[w];
        std::uint32_t i = 0;
        if (::read(running[j].done, &i, sizeof i) == static_cast<ssize_t>(sizeof i)) {
          finished[i] = true;
          handOut(j);
        } else {
          // The job died with the picture: say so in its place and go on without the job.
          const std::size_t lost = *handling[j];
          std::ofstream(PartFile(folder, lost, "err"))
              << kProgram << ": " << OneLine(o_.pictures[lost]) << ": the job analysing it "
              << "ended unexpectedly\n";
          std::ofstream(PartFile(folder, lost, "status")) << kExitDrawFailed;
          finished[lost] = true;
          handling[j].reset();
        }
      }
      for (; written < count && finished[written]; ++written) {
        const std::string out = ReadPart(PartFile(folder, written, "out"));
        const std::string err = ReadPart(PartFile(folder, written, "err"));
        const std::string part = ReadPart(PartFile(folder, written, "json"));
        csv += ReadPart(PartFile(folder, written, "csv"));
        int status = kExitDrawFailed;
        std::istringstream(ReadPart(PartFile(folder, written, "status"))) >> status;
        status_ = std::max(status_, status);
        if (!out.empty() || !err.empty()) ClearProgress();
        std::fwrite(out.data(), 1, out.size(), stdout);
        std::fflush(stdout);
        std::fwrite(err.data(), 1, err.size(), stderr);
        if (json && !part.empty()) {
          json->Write(anyJson ? ",\n  " : "[\n  ");
          json->Write(part);
          anyJson = true;
        }
        ShowJobsProgress(written + 1);
      }
    }
    for (Job& job : running) {
      ::close(job.commands);
      ::close(job.done);
      int ignored = 0;
      ::waitpid(job.pid, &ignored, 0);
    }
    std::filesystem::remove_all(folder);
    ClearProgress();
    if (written < count) FailRun("the jobs ended before every picture was analysed");
    if (!csv.empty()) WriteCollected(o_.csv, csv);
    if (json) {
      json->Write(anyJson ? "\n]\n" : "[]\n");
      if (auto failure = json->Commit()) FailRun(*failure);
    }
    return status_;
  }

  void ShowJobsProgress(std::size_t done) {
    if (!progressLine_) return;
    std::fprintf(stderr, "\r%s: %zu of %zu pictures analysed\033[K", kProgram, done,
                 o_.pictures.size());
    std::fflush(stderr);
    shownPercent_ = 0;
  }

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
    // The picture must leave room in the budget for what analyses it: the darkness map and
    // the result picture, or the annotated copy.
    PictureLimits limits;
    limits.memoryBudget = o_.memoryLimit;
    limits.analysisBytesPerPixel = o_.Calibrated() ? kCalibratedBytesPerPixel : 5;
    PictureFile file = LoadPictureFile(path, limits);
    if (!file.loaded) {
      Fail(path, file.reason, kExitLoadFailed);
      return;
    }
    if (o_.Calibrated()) {
      AnalyseCalibrated(path, file);
      return;
    }
    const Picture& target = file.picture;
    MemoryBudget budget(o_.memoryLimit);
    const auto pixels = static_cast<std::int64_t>(target.Width()) * target.Height();
    budget.Take(9 * pixels, "the picture and its buffers");  // checked by the loader already
    std::optional<DarkMap> dark;
    std::optional<Picture> result;
    try {
      dark.emplace(target.Width(), target.Height());
      // Draw writes every pixel of the result picture; without --result there is none.
      if (!o_.result.empty()) result = Picture::Unfilled(target.Width(), target.Height());
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

  // The calibrated analysis of one loaded picture, its scores and its outputs.
  void AnalyseCalibrated(const std::string& path, const PictureFile& file) {
    const Picture& target = file.picture;
    const PictureView view = target.View();
    const std::optional<Selection> selection = SelectionFor(path, target.Width(), target.Height());
    if (!selection) return;
    calibrated::CalibratedSettings settings;
    settings.calibreMm = *o_.calibreMm;
    settings.look = o_.look.value_or(shots::HoleLook::Auto);
    settings.dpi = o_.dpi.value_or(0);
    // With a face and no --dpi, the face gives the scale (the file's resolution beside it).
    settings.dpiSource = o_.dpi                              ? calibrated::ResolutionSource::Option
                         : o_.face != nullptr || o_.faceAuto ? calibrated::ResolutionSource::Face
                                                             : calibrated::ResolutionSource::File;
    settings.face = o_.face;
    settings.faceAuto = o_.faceAuto;
    // Without --gauge, the face's own gauge (5.6 mm on a smallbore face), else the air gauge;
    // 0 for the face still to be chosen.
    settings.gaugeMm = o_.gaugeMm.value_or(o_.face != nullptr ? o_.face->rulesGaugeMm
                                           : o_.faceAuto      ? 0
                                                              : score::kRulesGaugeMm);
    settings.distance = o_.distance;
    settings.expectedShots = o_.expectedShots;
    if (o_.aim) settings.aim = score::AimPoint{(*o_.aim)[0], (*o_.aim)[1]};
    settings.selection = *selection;
    settings = calibrated::ResolveResolution(file, settings);
    if (settings.dpi == 0 && settings.dpiSource != calibrated::ResolutionSource::Face) {
      Fail(path, "the file stores no resolution; give it with --dpi or name the face with --face",
           kExitUsage);
      return;
    }
    if (auto problem = calibrated::SettingsProblem(settings)) {
      Fail(path, *problem, kExitUsage);
      return;
    }
    ProgressObserver observer(
        [this](double fraction) { ShowProgress(static_cast<float>(fraction)); });
    calibrated::CalibratedResult result;
    try {
      result = calibrated::AnalysePicture(view, settings, &observer);
    } catch (const std::invalid_argument& refused) {
      // The face measured no usable scale, or the scale it measured is out of the limits.
      Fail(path, refused.what(), kExitUsage);
      return;
    }
    // One line each; the face's black not found also says what stands in for it.
    for (const std::string& warning : result.warnings) {
      Warn(path, result.aim.source == score::AimSource::BlackNotFound &&
                         warning.rfind("no point of aim: ", 0) == 0
                     ? "warning: " + warning +
                           "; the group's centre stands in for it, and there are no ring scores"
                     : "warning: " + warning);
    }

    const results::CalibratedRecord record{path, &result};
    auto check = [&](std::optional<std::string> failure) {
      if (failure) Fail(path, *failure, kExitDrawFailed);
    };
    if (!o_.result.empty()) {
      check(WritePicture(results::ResultPicture(view, record), o_.resultFormat,
                         ExpandName(o_.result, path)));
    }
    if (!o_.json.empty()) {
      WriteJsonDocument(path,
                        [&](JsonWriter& json) { results::WriteCalibratedJson(json, record); });
    }
    if (!o_.csv.empty()) {
      std::ostringstream rows;
      if (csvCollected_) {
        csvCollected_->Add(path, static_cast<int>(index_ + 1), result);
      } else {
        results::CsvWriter csv(rows, false, o_.expectedShots.has_value());
        csv.Add(path, static_cast<int>(index_ + 1), result);
        csv.Finish();
        check(WriteBytes(ExpandName(o_.csv, path), rows.str()));
      }
    }
    if (o_.Summary()) {
      ClearProgress();
      const std::string summary = results::CalibratedSummary(record, separator_);
      std::fwrite(summary.data(), 1, summary.size(), stdout);
      std::fflush(stdout);
    }
  }

  // A line on standard error that does not change the exit status.
  void Warn(const std::string& picture, const std::string& warning) {
    ClearProgress();
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, OneLine(picture).c_str(),
                 OneLine(warning).c_str());
    std::fflush(stderr);
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
    WriteJsonDocument(path, [&](JsonWriter& json) { WriteAnalysisJson(json, record); });
  }

  // The picture's JSON object: into the collected array, or its own file.
  void WriteJsonDocument(const std::string& path, const std::function<void(JsonWriter&)>& write) {
    if (collected_) {
      write(*collected_);
      return;
    }
    OutputFile json(ExpandName(o_.json, path));
    {
      JsonWriter writer([&json](std::string_view bytes) { json.Write(bytes); });
      write(writer);
    }
    json.Write("\n");
    if (auto failure = json.Commit()) Fail(path, *failure, kExitDrawFailed);
  }

  const Options& o_;
  const char separator_;
  bool progressLine_;
  std::size_t index_ = 0;
  int shownPercent_ = -1;  // -1: no progress line on the screen
  std::chrono::steady_clock::time_point shownAt_;
  int status_ = kExitOk;
  std::optional<OutputFile> collectedFile_;
  std::optional<JsonWriter> collected_;
  std::ostringstream csvRows_;
  std::optional<results::CsvWriter> csvCollected_;
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
