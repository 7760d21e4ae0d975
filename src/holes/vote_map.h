// vote_map.h - the circle-vote map of one hole, and the peak test on it.
//
// Every cell (x, y) of a hole's bounding box gets a vote: half the number of the hole's
// points (px, py) with (px - x)^2 + (py - y)^2 <= 47, capped at 255. That disc holds 145
// grid points, so a cell whose disc lies wholly in the hole votes 72.5; the centre of a round
// hole of radius about 7 collects the most.
//
// The votes are computed with prefix sums along the rows of a point-count grid: a cell's vote
// is 13 row-segment sums (one per disc row), whatever the size of the hole. Votes are
// multiples of 0.5 and are stored doubled, as 16-bit counts. The map of a hole without
// points is all zero and stores no cells.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "holes/hole_array.h"

namespace holescan {

inline constexpr int kDiscRadius = 6;                  // widest row offset of the disc
inline constexpr int kDiscSquaredLimit = 47;           // dx^2 + dy^2 <= 47 votes
inline constexpr std::uint16_t kMaxDoubledVote = 510;  // vote cap 255, doubled
inline constexpr float kMinPeakVote = 50.0f;

class VoteMap {
 public:
  // Bounds inclusive; every cell 0.
  void Reset(int minX, int maxX, int minY, int maxY);
  // Votes of `hole` over its measured bounding box.
  void Compute(const HoleArray& holes, Label hole);

  int MinX() const { return minX_; }
  int MaxX() const { return maxX_; }
  int MinY() const { return minY_; }
  int MaxY() const { return maxY_; }
  int Columns() const { return maxX_ - minX_ + 1; }
  int Rows() const { return maxY_ - minY_ + 1; }

  bool InVoteMap(int x, int y) const {
    return minX_ <= x && x <= maxX_ && minY_ <= y && y <= maxY_;
  }
  // Twice the vote of cell (x, y), 0..510.
  std::uint16_t Doubled(int x, int y) const {
    return doubled_.empty() ? std::uint16_t{0}
                            : doubled_[static_cast<std::size_t>(y - minY_) * Stride() +
                                       static_cast<std::size_t>(x - minX_)];
  }
  float At(int x, int y) const { return static_cast<float>(Doubled(x, y)) * 0.5f; }

 private:
  std::size_t Stride() const { return static_cast<std::size_t>(Columns()); }

  int minX_ = 0, maxX_ = 0, minY_ = 0, maxY_ = 0;
  std::vector<std::uint16_t> doubled_;  // row-major over the box; empty when all zero
  std::vector<std::uint32_t> prefix_;   // scratch, kept to avoid reallocating per hole
};

// True when (x, y) lies strictly inside the map, no edge neighbour has a greater vote and
// its own vote is at least 50. Diagonal neighbours are not compared.
bool IsPeak(const VoteMap& map, int x, int y);

// Appends a vote (given doubled) as the shortest decimal text of its float value, with
// `decimalSeparator` before the half: "0", "12", "12.5".
void AppendVote(std::string& text, std::uint16_t doubled, char decimalSeparator);

// The decimal separator of the user's regional settings (LC_NUMERIC from the environment);
// '.' when it is not a single byte. The process's own locale is left as it was. Every front
// end writes its report with this one, so a clipboard and a report file agree.
char UserDecimalSeparator();

}  // namespace holescan
