#include "cli/headless_toolkit.h"

namespace holescan::cli {

HeadlessToolkit::HeadlessToolkit(PictureSource source) : source_(std::move(source)) {}

void HeadlessToolkit::SetCaption(std::string_view caption) {
  if (captionSink_) captionSink_(caption);
}

void HeadlessToolkit::SetProgress(float fraction) {
  if (progressSink_) progressSink_(fraction);
}

}  // namespace holescan::cli
