// calibrated_run.cpp - one picture through the calibrated analysis: the settings from the
// options, the resolution settled for the file, the one engine call, its warnings, then the
// outputs from their writers.
#include <stdexcept>

#include "calibrated/calibrated.h"
#include "cli/cli.h"
#include "cli/runner.h"

namespace holescan::cli {
namespace {

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

}  // namespace

void Runner::AnalyseCalibrated(const std::string& path, const PictureFile& file) {
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
  } catch (const calibrated::NoScale& none) {
    Fail(path, std::string(none.what()) + ", and the file stores no resolution: give it with --dpi",
         kExitUsage);
    return;
  } catch (const std::invalid_argument& refused) {
    // The scale the face measured is out of the limits.
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
  WriteOutputs(path, {path, nullptr, &result}, results::Analysis::Calibrated, &view, nullptr);
}

}  // namespace holescan::cli
