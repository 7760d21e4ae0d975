// Fuzz target: picture bytes -> the loader -> Load and "Draw" of the window's logic.
//
// Any bytes go through LoadPictureBytes, the same checks and decoders as a picture file, with
// the size limited to 256 x 256 so that one input never costs more than a few milliseconds.
// A picture that loads is analysed twice, as the window would: the whole picture, then a
// rectangle chosen from the input's first bytes. Everything that comes back must be
// consistent: a refusal has a reason, a picture has the size it claims.
#include <QImageReader>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "io/qt/picture_loader.h"
#include "main_window/form1.h"
#include "support/recording_window.h"

namespace {

constexpr holescan::PictureLimits kLimits{256, 256 * 256};

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool configured = [] {
    holescan::ConfigurePictureReading();
    // Decoders that learn the size only while decoding stop at 1 MiB as well.
    QImageReader::setAllocationLimit(1);
    return true;
  }();
  (void)configured;

  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  holescan::PictureFile file = holescan::LoadPictureBytes(bytes, kLimits);
  if (!file.loaded) {
    Check(!file.reason.empty());
    return 0;
  }
  const int width = file.picture.Width();
  const int height = file.picture.Height();
  Check(width >= 1 && height >= 1 && width <= kLimits.maxSide && height <= kLimits.maxSide);

  holescan::fakes::RecordingWindow toolkit;
  toolkit.recordCaptions = false;
  toolkit.Serve(std::move(file));
  holescan::Form1 form(toolkit, toolkit);
  form.TextFilename = "fuzz";
  Check(!form.CmdLoad_Click());
  Check(form.PicTarget().Width() == width && form.PicTarget().Height() == height);
  Check(!form.CmdDraw_Click());
  // A rectangle inside the picture, from the first bytes: 0 <= L < R <= W, 0 <= T < B <= H.
  auto byte = [&](std::size_t i) { return i < size ? data[i] : 0u; };
  const int left = static_cast<int>(byte(0) % static_cast<unsigned>(width));
  const int top = static_cast<int>(byte(1) % static_cast<unsigned>(height));
  const int right = left + 1 + static_cast<int>(byte(2) % static_cast<unsigned>(width - left));
  const int bottom = top + 1 + static_cast<int>(byte(3) % static_cast<unsigned>(height - top));
  form.PicTarget_MouseDown(holescan::kRightButton, 0, static_cast<float>(right),
                           static_cast<float>(bottom));
  form.PicTarget_MouseDown(holescan::kLeftButton, 0, static_cast<float>(left),
                           static_cast<float>(top));
  Check(!form.CmdDraw_Click());
  Check(!toolkit.ClipboardText().empty());
  return 0;
}
