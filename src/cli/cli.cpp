#include "cli/cli.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <new>
#include <optional>

#include "cli/headless_toolkit.h"
#include "cli/options.h"
#include "cli/outputs.h"
#include "io/qt/picture_loader.h"
#include "main_window/form1.h"

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

class Runner {
 public:
  explicit Runner(const Options& options)
      : o_(options),
        separator_(UserDecimalSeparator()),
        progressLine_(options.pictures.size() > 1 && ::isatty(STDERR_FILENO) == 1) {}

  int RunAll() {
    // One JSON array for all pictures, written as each picture is done.
    if (o_.JsonCollected()) collected_.emplace(o_.json);
    for (std::size_t i = 0; i < o_.pictures.size(); ++i) {
      index_ = i;
      shownPercent_ = -1;
      // Memory can run out anywhere past the loading (the JSON of millions of holes, the
      // report): the picture fails, the command goes on.
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
      collected_->Write(collectedAny_ ? "\n]\n" : "[]\n");
      if (auto failure = collected_->Close()) {
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

  void Analyse(const std::string& path) {
    ShowProgress(0);
    const auto loadStart = std::chrono::steady_clock::now();
    HeadlessToolkit toolkit(&LoadWithDecodersSilenced);
    Form1 form(toolkit);
    // Captions before the messages file is open; it is opened only for a loaded picture.
    std::vector<std::string> loadCaptions;
    toolkit.SetCaptionSink([&](std::string_view caption) { loadCaptions.emplace_back(caption); });
    form.TextFilename = path;
    if (auto failure = form.CmdLoad_Click()) {
      Fail(path, *failure, kExitLoadFailed);
      return;
    }
    // The picture is in, but the maps beside it did not fit (Load's caption says so).
    const Picture& target = form.PicTarget();
    if (form.Dark().MaxX() != target.Width() || form.Dark().MaxY() != target.Height() ||
        form.PicNew().Width() != target.Width() || form.PicNew().Height() != target.Height()) {
      Fail(path, "out of memory", kExitLoadFailed);
      return;
    }
    const double loading = SecondsSince(loadStart);

    const auto analysisStart = std::chrono::steady_clock::now();
    if (!Select(form, path)) return;
    form.Analysis().SetDecimalSeparator(separator_);
    std::optional<OutputFile> messages;
    if (!o_.messages.empty()) {
      messages.emplace(ExpandName(o_.messages, path));
      if (!messages->IsOpen()) {
        Fail(path, messages->OpenError(), kExitDrawFailed);
        messages.reset();
      }
    }
    if (messages) {
      for (const std::string& caption : loadCaptions) messages->WriteLine(caption);
      toolkit.SetCaptionSink([&](std::string_view caption) { messages->WriteLine(caption); });
    } else {
      toolkit.SetCaptionSink(nullptr);
    }
    toolkit.SetProgressSink([this](float fraction) { ShowProgress(fraction); });
    const auto drawFailure = form.CmdDraw_Click();
    toolkit.SetCaptionSink(nullptr);
    toolkit.SetProgressSink(nullptr);
    if (messages) {
      if (auto failure = messages->Close()) Fail(path, *failure, kExitDrawFailed);
    }
    if (drawFailure) {
      Fail(path, *drawFailure, kExitDrawFailed);
      return;
    }
    const double analysis = SecondsSince(analysisStart);

    const auto writingStart = std::chrono::steady_clock::now();
    WriteOutputs(path, form, toolkit);
    const double writing = SecondsSince(writingStart);
    if (o_.timings) {
      ClearProgress();
      std::fprintf(stderr, "%s: %s: loading %.3f s, analysis %.3f s, writing %.3f s\n", kProgram,
                   OneLine(path).c_str(), loading, analysis, writing);
    }
  }

  // The --select rectangle by the mouse, as a user would set it; false when it does not fit.
  bool Select(Form1& form, const std::string& path) {
    if (!o_.select) return true;
    const ScanRectangle& r = *o_.select;
    const int width = form.PicTarget().Width();
    const int height = form.PicTarget().Height();
    if (r.right > width || r.bottom > height) {
      Fail(path,
           "--select " + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
               std::to_string(r.right) + "," + std::to_string(r.bottom) +
               " does not fit the picture (" + std::to_string(width) + " x " +
               std::to_string(height) + " pixels)",
           kExitUsage);
      return false;
    }
    SelectByMouse(form, r);
    return true;
  }

  void WriteOutputs(const std::string& path, const Form1& form, const HeadlessToolkit& toolkit) {
    auto check = [&](std::optional<std::string> failure) {
      if (failure) Fail(path, *failure, kExitDrawFailed);
    };
    if (!o_.report.empty()) check(WriteBytes(ExpandName(o_.report, path), toolkit.ClipboardText()));
    if (!o_.result.empty()) {
      check(WritePicture(form.PicNew(), o_.resultFormat, ExpandName(o_.result, path)));
    }
    if (!o_.json.empty()) {
      if (collected_) {
        collected_->Write(collectedAny_ ? ",\n  " : "[\n  ");
        WriteAnalysisJson(*collected_, path, form, 1);
        collectedAny_ = true;
      } else {
        OutputFile json(ExpandName(o_.json, path));
        WriteAnalysisJson(json, path, form);
        json.Write("\n");
        check(json.Close());
      }
    }
    if (!o_.saveDarkMap.empty()) {
      const std::string file = ExpandName(o_.saveDarkMap, path);
      if (file == kStandardOutput) {
        const auto& bytes = form.Dark().Bytes();
        check(WriteBytes(
            file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
      } else {
        check(form.SaveDarkMap(file));
      }
    }
    if (o_.Summary()) {
      ClearProgress();
      const std::string summary = SummaryText(path, form, separator_);
      std::fwrite(summary.data(), 1, summary.size(), stdout);
      std::fflush(stdout);
    }
  }

  const Options& o_;
  const char separator_;
  const bool progressLine_;
  std::size_t index_ = 0;
  int shownPercent_ = -1;  // -1: no progress line on the screen
  std::chrono::steady_clock::time_point shownAt_;
  int status_ = kExitOk;
  std::optional<OutputFile> collected_;
  bool collectedAny_ = false;
};

}  // namespace

void SelectByMouse(Form1& form, const ScanRectangle& r) {
  form.PicTarget_MouseDown(kRightButton, 0, static_cast<float>(r.right),
                           static_cast<float>(r.bottom));
  form.PicTarget_MouseDown(kLeftButton, 0, static_cast<float>(r.left), static_cast<float>(r.top));
}

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
