#include "holes/scan.h"

#include <algorithm>
#include <bit>
#include <stdexcept>
#include <vector>

#include "pixel/darkness.h"

namespace holescan {

ScanResult Draw(HoleAnalysis& analysis, const PictureView& target, const Selection& selection,
                const ScanBuffers& buffers, ScanObserver& observer) {
  analysis.Bind(buffers.dark, buffers.result, observer);
  observer.SetProgress(0);
  analysis.ResetHoleArrays(buffers.dark.MaxX(), buffers.dark.MaxY());
  ScanSelection(analysis, target, selection, buffers, observer);
  analysis.MarkPeakCenters();
  return {analysis.Holes(), analysis.Peaks(), analysis.ReportText()};
}

void ScanSelection(HoleAnalysis& analysis, const PictureView& target, const Selection& selection,
                   const ScanBuffers& buffers, ScanObserver& observer) {
  ScanRows(analysis, target, selection, buffers, observer);
  analysis.FinishHoles();
  analysis.FinishPeaks();
  observer.SetProgress(1);
}

namespace {

void FillSpan(std::uint32_t* pixels, int count) {
  if (count > 0) std::fill_n(pixels, count, kResultBackground);
}

// The rows of the selection that lie on the picture, and their columns on it: what the row
// scan writes. Empty when it writes nothing.
struct Written {
  int top, bottom;  // rows top..bottom-1
  int left, right;  // columns left..right-1
  bool Empty() const { return top >= bottom || left >= right; }
};

Written WrittenBy(const Selection& s, const PictureView& target) {
  return {s.SelTop, std::min(s.SelBottom + 1, target.height), s.SelLeft,
          std::min(s.SelRight + 1, target.width)};
}

// kResultBackground everywhere the row scan does not write.
void ClearAround(Picture& result, const Written& w) {
  if (w.Empty()) {
    result.Fill(kResultBackground);
    return;
  }
  const int width = result.Width();
  FillSpan(result.Data(), w.top * width);
  for (int y = w.top; y < w.bottom; ++y) {
    FillSpan(result.Row(y), w.left);
    FillSpan(result.Row(y) + w.right, width - w.right);
  }
  if (w.bottom < result.Height())
    FillSpan(result.Row(w.bottom), (result.Height() - w.bottom) * width);
}

}  // namespace

void ScanRows(HoleAnalysis& analysis, const PictureView& target, const Selection& s,
              const ScanBuffers& buffers, ScanObserver& observer) {
  analysis.Bind(buffers.dark, buffers.result, observer);
  DarkMap& darkMap = buffers.dark;
  Picture* const result = buffers.result;
  // A Load that ran out of memory may have left the maps smaller than the picture.
  const bool loaded = (result == nullptr ||
                       (result->Width() == target.width && result->Height() == target.height)) &&
                      darkMap.MaxX() == target.width && darkMap.MaxY() == target.height;
  const bool inside =
      s.SelTop > s.SelBottom || (s.SelTop >= 0 && s.SelLeft >= 0 && s.SelBottom <= darkMap.MaxY() &&
                                 s.SelRight <= darkMap.MaxX());
  const Written written = WrittenBy(s, target);
  if (result != nullptr) {
    if (loaded && inside && !observer.ShowsResultWhileScanning()) {
      ClearAround(*result, written);
    } else {
      result->Fill(kResultBackground);
    }
  }
  observer.ResultCleared();
  if (!loaded) throw std::runtime_error("the picture was not loaded completely; load it again");
  if (!inside) throw std::out_of_range("the scan rectangle lies outside the picture");
  // The progress grows by one row's share after each row, summed in single precision as the
  // progress bar has always been, so the last row may leave it a hair short of full.
  float progress = 0;
  const double step = 1.0 / (static_cast<double>(s.SelBottom) - s.SelTop + 1);
  // Columns of the rectangle that lie on the picture; the rest (column W) weigh 0.
  const int pictureEnd = written.right;
  std::vector<DarkBlock> darkBlocks(
      static_cast<std::size_t>(DarknessBlocks(std::max(pictureEnd - s.SelLeft, 0))));
  int scannedRows = written.top;  // rows of the result picture written so far: top..this-1
  try {
    for (int y = s.SelTop; y <= s.SelBottom; ++y) {
      std::uint8_t* dark = darkMap.Row(y);
      int x = s.SelLeft;
      int blocks = 0;
      if (y < target.height && x < pictureEnd) {
        blocks = DarknessRow(target.Row(y) + x, pictureEnd - x, dark + x,
                             result != nullptr ? result->Row(y) + x : nullptr, darkBlocks.data());
        x = pictureEnd;
        scannedRows = y + 1;
      }
      for (; x <= s.SelRight; ++x) dark[x] = 0;
      // Labelling after the row's bytes are in place gives the same pixels and captions as
      // labelling pixel by pixel: it paints only the pixel it labels and reads only its byte.
      // The dark pixels are those the row scan reports, left to right.
      for (int b = 0; b < blocks; ++b) {
        const DarkBlock& block = darkBlocks[static_cast<std::size_t>(b)];
        for (std::uint32_t bits = block.pixels; bits != 0; bits &= bits - 1)
          analysis.LabelDarkPixel(s.SelLeft + block.first + std::countr_zero(bits), y);
      }
      progress = static_cast<float>(static_cast<double>(progress) + step);
      observer.SetProgress(progress);
      observer.RowScanned(y);
    }
  } catch (...) {
    // The rows not reached look as if the picture had been cleared before the scan.
    if (result != nullptr && !written.Empty()) {
      for (int y = scannedRows; y < written.bottom; ++y)
        FillSpan(result->Row(y) + written.left, written.right - written.left);
    }
    throw;
  }
}

}  // namespace holescan
