// hole_array.h - hole records and the arrays that hold them (`Holes`, `Peaks`).
//
// A `Hole` is one connected group of pixels: its points in the order they were added, the
// darkness byte of each point, its extents and (for peaks) its centre. A `HoleArray` is an
// array of such records indexed from 0, where entry 0 starts as an empty placeholder.
//
// Storage: the points of all records of one array live in a shared pool of singly linked
// nodes, so that `MovePoints` (append all points of one record to another) is constant time
// whatever the sizes, and point order is kept exactly: the target's points, then the
// source's. A record costs 28 bytes plus 9 bytes per point. Records that become empty keep
// their index until `Compact` removes them; pool nodes of emptied records are reclaimed only
// by `Reset`.
//
// Extents and centre are not maintained by the point operations; `Measure` sets them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pixel/memory_budget.h"

namespace holescan {

// Index of a record in a HoleArray; also the label a label map stores for it (0 = none).
using Label = std::uint32_t;

struct HolePoint {
  std::int16_t x;
  std::int16_t y;
  friend bool operator==(HolePoint, HolePoint) = default;
};

struct Hole {
  std::uint32_t head;   // first pool node, kNoNode when empty
  std::uint32_t tail;   // last pool node
  std::uint32_t count;  // number of points
  std::int16_t MinX = 0;
  std::int16_t MaxX = 0;
  std::int16_t MinY = 0;
  std::int16_t MaxY = 0;
  float CenterX = 0;
  float CenterY = 0;

  bool Empty() const { return count == 0; }
};

class HoleArray {
 public:
  static constexpr std::uint32_t kNoNode = 0xFFFFFFFFu;

  HoleArray() { Reset(); }
  // A copy holds the same records and points, taken from no budget.
  HoleArray(const HoleArray& other)
      : records_(other.records_),
        points_(other.points_),
        shades_(other.shades_),
        next_(other.next_) {}
  HoleArray& operator=(const HoleArray& other) {
    if (this != &other) {
      MemoryBudget* budget = budget_;
      SetBudget(nullptr, pointNoun_);
      records_ = other.records_;
      points_ = other.points_;
      shades_ = other.shades_;
      next_ = other.next_;
      SetBudget(budget, pointNoun_);
    }
    return *this;
  }
  ~HoleArray() { SetBudget(nullptr, pointNoun_); }

  // The budget the records and points are taken from from now on ("dark pixels" or what
  // else the points are, for the message when it runs out); what is held already is moved
  // over to it, and throws BudgetExceeded when it does not fit. nullptr: no limit.
  void SetBudget(MemoryBudget* budget, const char* points);

  // Back to one empty placeholder record at index 0, all numeric fields 0.
  void Reset();

  std::size_t Size() const { return records_.size(); }
  Label UpperBound() const { return static_cast<Label>(records_.size() - 1); }
  Hole& operator[](Label i) { return records_[i]; }
  const Hole& operator[](Label i) const { return records_[i]; }

  // Appends one new empty record; returns its index (the new upper bound).
  Label Add();
  // Appends point (x, y) with its darkness byte to record i. Inline: the first pass calls it
  // for every dark pixel.
  void AddPoint(Label i, int x, int y, std::uint8_t shade) {
    if (points_.size() == points_.capacity()) [[unlikely]]
      GrowPoints();
    const auto node = static_cast<std::uint32_t>(points_.size());
    points_.push_back({static_cast<std::int16_t>(x), static_cast<std::int16_t>(y)});
    shades_.push_back(shade);
    next_.push_back(kNoNode);
    Hole& hole = records_[i];
    if (hole.count == 0) {
      hole.head = node;
    } else {
      next_[hole.tail] = node;
    }
    hole.tail = node;
    ++hole.count;
  }
  // Appends all points of `source` to `target` in their order, then empties `source`.
  // Neither record's extents or centre change. A point's darkness byte travels with it.
  void MovePoints(Label target, Label source);
  // Empties record i; extents and centre are kept.
  void ClearHole(Label i);

  // Removes every empty record, keeping the order of the others and renumbering them from
  // 0. When every record is empty, nothing changes.
  void Compact();
  // Extents (and, with computeCenter, the mean of the points) of record i; an empty
  // record keeps the values it has.
  void MeasureHole(Label i, bool computeCenter);
  void Measure(bool computeCenter);

  // The points of record i in order, calling f(HolePoint, shade) for each.
  template <typename F>
  void ForEachPoint(Label i, F&& f) const {
    for (std::uint32_t n = records_[i].head; n != kNoNode; n = next_[n]) f(points_[n], shades_[n]);
  }
  std::vector<HolePoint> Points(Label i) const;
  std::vector<std::uint8_t> Shades(Label i) const;

 private:
  static Hole NewRecord() { return Hole{kNoNode, kNoNode, 0}; }
  // Room for twice the points (or records), taken from the budget before it is allocated.
  void GrowPoints();
  void GrowRecords();
  // Takes from the budget, or gives back, the difference to `bytes`, the size of storage
  // for `points` points and `records` records.
  void Charge(std::size_t points, std::size_t records);

  MemoryBudget* budget_ = nullptr;
  const char* pointNoun_ = "points";
  std::int64_t charged_ = 0;

  std::vector<Hole> records_;
  std::vector<HolePoint> points_;
  std::vector<std::uint8_t> shades_;
  std::vector<std::uint32_t> next_;
};

}  // namespace holescan
