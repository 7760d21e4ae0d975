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

void ScanRows(HoleAnalysis& analysis, const PictureView& target, const Selection& s,
              const ScanBuffers& buffers, ScanObserver& observer) {
  analysis.Bind(buffers.dark, buffers.result, observer);
  DarkMap& darkMap = buffers.dark;
  Picture& result = buffers.result;
  result.Fill(kResultBackground);
  observer.ResultCleared();
  // A Load that ran out of memory may have left the maps smaller than the picture.
  if (result.Width() != target.width || result.Height() != target.height ||
      darkMap.MaxX() != target.width || darkMap.MaxY() != target.height) {
    throw std::runtime_error("the picture was not loaded completely; load it again");
  }
  if (s.SelTop <= s.SelBottom && (s.SelTop < 0 || s.SelLeft < 0 || s.SelBottom > darkMap.MaxY() ||
                                  s.SelRight > darkMap.MaxX())) {
    throw std::out_of_range("the scan rectangle lies outside the picture");
  }
  // The progress grows by one row's share after each row, summed in single precision as the
  // progress bar has always been, so the last row may leave it a hair short of full.
  float progress = 0;
  const double step = 1.0 / (static_cast<double>(s.SelBottom) - s.SelTop + 1);
  // Columns of the rectangle that lie on the picture; the rest (column W) weigh 0.
  const int pictureEnd = std::min(s.SelRight + 1, target.width);
  std::vector<DarkBlock> darkBlocks(
      static_cast<std::size_t>(DarknessBlocks(std::max(pictureEnd - s.SelLeft, 0))));
  for (int y = s.SelTop; y <= s.SelBottom; ++y) {
    std::uint8_t* dark = darkMap.Row(y);
    int x = s.SelLeft;
    int blocks = 0;
    if (y < target.height && x < pictureEnd) {
      blocks = DarknessRow(target.Row(y) + x, pictureEnd - x, dark + x, result.Row(y) + x,
                           darkBlocks.data());
      x = pictureEnd;
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
}

}  // namespace holescan
