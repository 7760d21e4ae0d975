// legend.h - the colours of the calibrated analysis's result picture and its legend.
//
// They are the review window's colours and meanings (src/review/overlay.h), so that a picture
// means the same whichever program drew it: a shot is a circle of the calibre, cyan as found
// and magenta when added or moved by hand, each with its number; the point of aim is a red
// cross and the group's centre a green one. Every mark is drawn as two lines, a wide dark one
// and a narrow bright one along its middle, which stand out on white paper, on black print
// and on a hole alike.
//
// The legend is a small box of one line per entry, the entry's mark and its text, in dark
// ink on white, in the corner of the picture that covers the fewest marks, or where no corner
// is free, in the place that does.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "pixel/picture.h"

namespace holescan::shots {

inline constexpr std::uint32_t kFoundColour = Rgb(0, 230, 255);    // cyan
inline constexpr std::uint32_t kEditedColour = Rgb(255, 70, 230);  // magenta
inline constexpr std::uint32_t kAimColour = Rgb(255, 50, 50);      // red
inline constexpr std::uint32_t kCentreColour = Rgb(60, 255, 90);   // green
inline constexpr std::uint32_t kOutlineColour = Rgb(0, 0, 0);      // the dark line under each mark

enum class LegendSymbol { Circle, Cross };

struct LegendEntry {
  LegendSymbol symbol = LegendSymbol::Circle;
  std::uint32_t colour = kFoundColour;
  std::string text;  // ASCII
};

// A point the legend should not hide (a shot, a mark), in picture pixels.
struct LegendAvoid {
  double x = 0, y = 0;
};

// Draws the legend onto the picture (nothing without entries or on a picture too small to
// hold it). Its size follows the picture's: the text is about a sixtieth of the shorter side
// high, at least 12 pixels.
void DrawLegend(Picture& picture, std::span<const LegendEntry> entries,
                std::span<const LegendAvoid> avoid = {});

}  // namespace holescan::shots
