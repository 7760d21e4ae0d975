#include "holes/hole_analysis.h"

#include <algorithm>

#include "holes/caption.h"
#include "pixel/darkness.h"

namespace holescan {

namespace {

// What an analysis not yet bound to buffers works on: nothing to see, nothing to tell.
struct Unbound {
  DarkMap dark;
  ScanObserver observer;
};

Unbound& NothingBound() {
  static Unbound unbound;
  return unbound;
}

}  // namespace

HoleAnalysis::HoleAnalysis()
    : HoleAnalysis(NothingBound().dark, nullptr, NothingBound().observer) {}

HoleAnalysis::HoleAnalysis(const DarkMap& darkMap, Picture& result, ScanObserver& observer)
    : HoleAnalysis(darkMap, &result, observer) {}

HoleAnalysis::HoleAnalysis(const DarkMap& darkMap, Picture* result, ScanObserver& observer)
    : darkMap_(&darkMap), result_(result), observer_(&observer) {
  ResetHoleArrays(0, 0);
}

void HoleAnalysis::SetBudget(MemoryBudget* budget) {
  if (budget_ != nullptr) budget_->Give(reportCharged_);
  reportCharged_ = 0;
  budget_ = budget;
  holes_.SetBudget(budget, "dark pixels");
  peaks_.SetBudget(budget, "peak cells");
  if (budget_ != nullptr) {
    budget_->Take(static_cast<std::int64_t>(reportText_.capacity()), "the report");
    reportCharged_ = static_cast<std::int64_t>(reportText_.capacity());
  }
}

void HoleAnalysis::Bind(const DarkMap& darkMap, Picture* result, ScanObserver& observer) {
  darkMap_ = &darkMap;
  result_ = result;
  observer_ = &observer;
}

void HoleAnalysis::ResetHoleArrays(int maxX, int maxY) {
  holes_.Reset();
  peaks_.Reset();
  holeMapColumns_ = std::max(maxX, 0) + 1;
  (void)maxY;  // rows are kept two at a time, so only the width matters
  currentRow_ = -2;
  for (LabelRow* row : {&currentLabels_, &previousLabels_}) {
    row->labels.assign(static_cast<std::size_t>(holeMapColumns_), 0);
    row->begin = row->end = 0;
  }
  mergedInto_.assign(1, 0);
  peakMap_.clear();
}

// ---- First pass ------------------------------------------------------------------------

Label HoleAnalysis::FindHole(Label label) {
  // Path halving: every merge points the left hole at the upper one, so chains stay short.
  while (mergedInto_[label] != label) {
    mergedInto_[label] = mergedInto_[mergedInto_[label]];
    label = mergedInto_[label];
  }
  return label;
}

void HoleAnalysis::LabelRow::Clear() {
  std::fill(labels.begin() + begin, labels.begin() + std::max(begin, end), 0);
  begin = end = 0;
}

void HoleAnalysis::SeekHoleMapRow(int y) {
  if (y == currentRow_ || y == currentRow_ - 1) return;
  if (y == currentRow_ + 1) {
    std::swap(currentLabels_, previousLabels_);
  } else {
    previousLabels_.Clear();
  }
  currentLabels_.Clear();
  currentRow_ = y;
}

HoleAnalysis::LabelRow* HoleAnalysis::HoleMapRow(int y) {
  if (y == currentRow_) return &currentLabels_;
  if (y == currentRow_ - 1) return &previousLabels_;
  return nullptr;
}

const HoleAnalysis::LabelRow* HoleAnalysis::HoleMapRow(int y) const {
  return const_cast<HoleAnalysis*>(this)->HoleMapRow(y);
}

Label HoleAnalysis::HoleMapAt(int x, int y) const {
  const LabelRow* row = HoleMapRow(y);
  if (row == nullptr || x < 0 || x >= holeMapColumns_) return 0;
  Label label = row->labels[static_cast<std::size_t>(x)];
  while (mergedInto_[label] != label) label = mergedInto_[label];
  return label;
}

void HoleAnalysis::LabelDarkPixel(int x, int y) {
  if (y != currentRow_) SeekHoleMapRow(y);
  LabelRow& row = *HoleMapRow(y);
  const Label* labels = row.labels.data();
  if (labels[x] != 0) return;

  const Label left = x != 0 ? FindHole(labels[x - 1]) : 0;
  const Label up = y != 0 ? FindHole(HoleMapRow(y - 1)->labels[static_cast<std::size_t>(x)]) : 0;
  const Label label = up != 0 ? up : left;

  if (label == 0) {
    const Label created = holes_.Add();
    mergedInto_.push_back(created);
    Paint(x, y, kNewHoleColour);
    observer_->SetCaption((Caption() << "=-=Made new Hole " << created).View());
    AddPoint(holes_, created, x, y);
    row.Set(x, created);
    return;
  }
  if (left == 0 || up == 0 || left == up) {
    Paint(x, y, kJoinColour);
    AddPoint(holes_, label, x, y);
    row.Set(x, label);
    return;
  }
  // Two holes meet here: the left one joins the upper one.
  Paint(x, y, kMergeColour);
  observer_->SetCaption((Caption() << "==Merging Hole " << left << " to " << up).View());
  holes_.MovePoints(up, left);
  mergedInto_[left] = up;
  AddPoint(holes_, up, x, y);
  row.Set(x, up);
}

// ---- Rejection -------------------------------------------------------------------------

bool HoleAnalysis::HoleRejected(Label index) {
  bool result = false;
  const Hole& h = holes_[index];
  if (h.count < kMinHolePoints) {
    result = true;
    observer_->SetCaption((Caption() << "Removed (too small) : " << index).View());
  }
  if (h.MaxX - h.MinX > kMaxHoleSpan) {
    result = true;
    observer_->SetCaption((Caption() << "Removed (too wide ) : " << index).View());
  }
  if (h.MaxY - h.MinY > kMaxHoleSpan) {
    result = true;
    observer_->SetCaption((Caption() << "Removed (too tall ) : " << index).View());
  }
  return result;
}

void HoleAnalysis::RejectHoles() {
  const Label upper = holes_.UpperBound();
  for (Label i = 0; i <= upper; ++i) {
    if (HoleRejected(i)) holes_.ClearHole(i);
  }
}

// ---- Finishing pass --------------------------------------------------------------------

void HoleAnalysis::FinishHoles() {
  CompactHoles();
  MeasureHoles();
  RejectHoles();
  CompactHoles();
  reportText_.clear();
  const Label upper = holes_.UpperBound();
  const bool inParts = observer_->TakesReportInParts();
  for (Label i = 0; i <= upper; ++i) {
    observer_->Working();
    VoteHole(i);
    if (inParts) {
      observer_->ReportPart(reportText_);
      reportText_.clear();
    } else if (budget_ != nullptr) {
      ChargeReport();
    }
  }
  observer_->ReportReady(reportText_);
}

void HoleAnalysis::ChargeReport() {
  // Checked after each hole's text: a hole's text is at most its box of 163 x 163 cells.
  const auto capacity = static_cast<std::int64_t>(reportText_.capacity());
  if (capacity <= reportCharged_) return;
  budget_->Take(capacity - reportCharged_,
                "a report of " + std::to_string(reportText_.size()) + " bytes");
  reportCharged_ = capacity;
}

void HoleAnalysis::FinishPeaks() {
  CompactPeaks();
  MeasurePeaks();
}

void HoleAnalysis::VoteHole(Label index) {
  const Hole& h = holes_[index];
  voteMap_.Reset(h.MinX, h.MaxX, h.MinY, h.MaxY);
  voteMap_.Compute(holes_, index);

  for (int y = voteMap_.MinY(); y <= voteMap_.MaxY(); ++y) {
    for (int x = voteMap_.MinX(); x <= voteMap_.MaxX(); ++x) {
      const std::uint16_t doubled = voteMap_.Doubled(x, y);
      AppendVote(reportText_, doubled, decimalSeparator_);
      reportText_.push_back('\t');
      // The vote rounded half to even is the red intensity: 0.5 -> 0, 1.5 -> 2. On the
      // doubled vote: a half goes up exactly when the whole part is odd.
      const std::uint32_t whole = doubled / 2u;
      const std::uint32_t red = whole + (doubled & whole & 1u);
      Paint(x, y, Rgb(red, 0, 0));
      if (IsPeak(voteMap_, x, y)) GroupPeak(x, y);
    }
    reportText_.append("\r\n");
    observer_->Working();
  }
  reportText_.append("\r\n");
}

// ---- Second pass -----------------------------------------------------------------------

Label HoleAnalysis::PeakMapAt(int x, int y) const {
  if (x < 0 || y < 0) return 0;
  const auto found = peakMap_.find(PeakKey(x, y));
  return found == peakMap_.end() ? 0 : found->second;
}

void HoleAnalysis::GroupPeak(int x, int y) {
  if (PeakMapAt(x, y) != 0) return;

  Label label = 0;
  auto take = [&label](Label neighbour) {
    if (neighbour != 0) label = neighbour;
  };
  if (x != 0) take(PeakMapAt(x - 1, y));
  if (y != 0) {
    take(PeakMapAt(x - 1, y - 1));
    take(PeakMapAt(x + 1, y - 1));
    take(PeakMapAt(x, y - 1));
  }

  if (label != 0) {
    if (x > 0 && y > 0) {
      const Label left = PeakMapAt(x - 1, y);
      const Label up = PeakMapAt(x, y - 1);
      if (left != 0 && up != 0 && left != up) {
        observer_->SetCaption((Caption() << "><==Merging Hole " << left << " to " << up).View());
        peaks_.MovePoints(up, left);
      }
    }
    observer_->SetCaption(
        (Caption() << "><--Adding to Hole " << label << " " << x << "," << y).View());
    AddPoint(peaks_, label, x, y);
  } else {
    label = peaks_.Add();
    observer_->SetCaption((Caption() << "><=-=Made new Hole " << label).View());
    AddPoint(peaks_, label, x, y);
    observer_->SetCaption(
        (Caption() << "><--Adding to Hole " << label << " " << x << "," << y).View());
  }
  peakMap_.emplace(PeakKey(x, y), label);
}

// ---- Centre marks ----------------------------------------------------------------------

void HoleAnalysis::MarkPeakCenters() {
  const Label upper = peaks_.UpperBound();
  for (Label i = 0; i <= upper; ++i) {
    const int x = RoundHalfEven(peaks_[i].CenterX);
    const int y = RoundHalfEven(peaks_[i].CenterY);
    Paint(x, y, kCentreColour);
  }
}

}  // namespace holescan
