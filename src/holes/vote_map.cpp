#include "holes/vote_map.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <clocale>
#include <cmath>
#include <string>

namespace holescan {
namespace {

// Half-width of the disc's row at offset dy: the largest dx with dx^2 + dy^2 <= 47.
constexpr std::array<int, 2 * kDiscRadius + 1> kDiscHalfWidths = {3, 4, 5, 6, 6, 6, 6,
                                                                  6, 6, 6, 5, 4, 3};

}  // namespace

void VoteMap::Reset(int minX, int maxX, int minY, int maxY) {
  minX_ = minX;
  maxX_ = maxX;
  minY_ = minY;
  maxY_ = maxY;
  doubled_.clear();
}

void VoteMap::Compute(const HoleArray& holes, Label hole) {
  if (holes[hole].Empty()) return;
  // Point counts on the box widened by the disc radius: only points there can vote.
  const int gridColumns = Columns() + 2 * kDiscRadius;
  const int gridRows = Rows() + 2 * kDiscRadius;
  const auto prefixStride = static_cast<std::size_t>(gridColumns) + 1;
  prefix_.assign(prefixStride * static_cast<std::size_t>(gridRows), 0);
  const int originX = minX_ - kDiscRadius;
  const int originY = minY_ - kDiscRadius;
  holes.ForEachPoint(hole, [&](HolePoint p, std::uint8_t) {
    const int gx = p.x - originX;
    const int gy = p.y - originY;
    if (gx < 0 || gy < 0 || gx >= gridColumns || gy >= gridRows) return;
    ++prefix_[static_cast<std::size_t>(gy) * prefixStride + static_cast<std::size_t>(gx) + 1];
  });
  // Running sums along each row: prefix[r][k] = points in columns 0..k-1 of grid row r.
  for (int r = 0; r < gridRows; ++r) {
    std::uint32_t* row = &prefix_[static_cast<std::size_t>(r) * prefixStride];
    for (std::size_t k = 1; k < prefixStride; ++k) row[k] += row[k - 1];
  }

  doubled_.assign(static_cast<std::size_t>(Columns()) * static_cast<std::size_t>(Rows()), 0);
  for (int cy = 0; cy < Rows(); ++cy) {
    std::uint16_t* out = &doubled_[static_cast<std::size_t>(cy) * Stride()];
    for (int cx = 0; cx < Columns(); ++cx) {
      const int gx = cx + kDiscRadius;
      std::uint32_t votes = 0;
      for (int dy = -kDiscRadius; dy <= kDiscRadius; ++dy) {
        const std::uint32_t* row =
            &prefix_[static_cast<std::size_t>(cy + kDiscRadius + dy) * prefixStride];
        const int w = kDiscHalfWidths[static_cast<std::size_t>(dy + kDiscRadius)];
        votes += row[gx + w + 1] - row[gx - w];
      }
      out[cx] = static_cast<std::uint16_t>(std::min<std::uint32_t>(votes, kMaxDoubledVote));
    }
  }
}

bool IsPeak(const VoteMap& map, int x, int y) {
  // Compared doubled: halving is exact, so every comparison comes out as on the votes.
  constexpr auto kMinPeakDoubled = static_cast<std::uint16_t>(2 * kMinPeakVote);
  const std::uint16_t v = map.Doubled(x, y);
  if (v < kMinPeakDoubled) return false;
  const int neighbours[4][2] = {{x + 1, y}, {x, y + 1}, {x, y - 1}, {x - 1, y}};
  for (const auto& n : neighbours) {
    if (!map.InVoteMap(n[0], n[1]) || map.Doubled(n[0], n[1]) > v) return false;
  }
  return true;
}

void AppendVote(std::string& text, std::uint16_t doubled, char decimalSeparator) {
  char digits[8];
  const auto end = std::to_chars(digits, digits + sizeof(digits), doubled / 2).ptr;
  text.append(digits, static_cast<std::size_t>(end - digits));
  if (doubled % 2 != 0) {
    text.push_back(decimalSeparator);
    text.push_back('5');
  }
}

char UserDecimalSeparator() {
  const char* current = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = current != nullptr ? current : "C";
  char separator = '.';
  if (std::setlocale(LC_NUMERIC, "") != nullptr) {
    const char* point = std::localeconv()->decimal_point;
    if (point != nullptr && point[0] != '\0' && point[1] == '\0') separator = point[0];
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
  return separator;
}

}  // namespace holescan
