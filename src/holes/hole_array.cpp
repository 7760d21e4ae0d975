#include "holes/hole_array.h"

#include <algorithm>

namespace holescan {

void HoleArray::Reset() {
  records_.assign(1, NewRecord());
  points_.clear();
  shades_.clear();
  next_.clear();
}

Label HoleArray::Add() {
  if (records_.size() == records_.capacity()) GrowRecords();
  records_.push_back(NewRecord());
  return UpperBound();
}

void HoleArray::SetBudget(MemoryBudget* budget, const char* points) {
  if (budget_ != nullptr) budget_->Give(charged_);
  budget_ = nullptr;
  charged_ = 0;
  pointNoun_ = points;
  if (budget == nullptr) return;
  budget_ = budget;
  Charge(points_.capacity(), records_.capacity());
}

void HoleArray::Charge(std::size_t points, std::size_t records) {
  constexpr std::size_t kPointBytes =
      sizeof(HolePoint) + sizeof(std::uint8_t) + sizeof(std::uint32_t);
  const auto bytes = static_cast<std::int64_t>(points * kPointBytes + records * sizeof(Hole));
  if (budget_ == nullptr) return;
  if (bytes > charged_) {
    const bool forPoints = points > points_.capacity();
    // Growth doubles, so the count reached is where the budget ran out, not the total.
    budget_->Take(bytes - charged_, std::to_string(forPoints ? points_.size() : records_.size()) +
                                        (forPoints ? std::string(" ") + pointNoun_ : " holes") +
                                        " and more");
  } else {
    budget_->Give(charged_ - bytes);
  }
  charged_ = bytes;
}

void HoleArray::GrowPoints() {
  const std::size_t capacity = std::max<std::size_t>(4096, 2 * points_.capacity());
  Charge(capacity, records_.capacity());
  points_.reserve(capacity);
  shades_.reserve(capacity);
  next_.reserve(capacity);
}

void HoleArray::GrowRecords() {
  const std::size_t capacity = std::max<std::size_t>(256, 2 * records_.capacity());
  Charge(points_.capacity(), capacity);
  records_.reserve(capacity);
}

void HoleArray::MovePoints(Label target, Label source) {
  if (target == source) return;
  Hole& from = records_[source];
  if (from.count == 0) return;
  Hole& to = records_[target];
  if (to.count == 0) {
    to.head = from.head;
  } else {
    next_[to.tail] = from.head;
  }
  to.tail = from.tail;
  to.count += from.count;
  from.head = from.tail = kNoNode;
  from.count = 0;
}

void HoleArray::ClearHole(Label i) {
  Hole& hole = records_[i];
  hole.head = hole.tail = kNoNode;
  hole.count = 0;
}

void HoleArray::Compact() {
  const bool anyPoints =
      std::any_of(records_.begin(), records_.end(), [](const Hole& h) { return !h.Empty(); });
  if (!anyPoints) return;
  std::erase_if(records_, [](const Hole& h) { return h.Empty(); });
}

void HoleArray::MeasureHole(Label i, bool computeCenter) {
  Hole& hole = records_[i];
  if (hole.count == 0) return;
  const HolePoint first = points_[hole.head];
  std::int16_t minX = first.x, maxX = first.x, minY = first.y, maxY = first.y;
  // Coordinates below 2^15 and counts below 2^31: the sums are exact in double.
  double sumX = 0, sumY = 0;
  for (std::uint32_t n = hole.head; n != kNoNode; n = next_[n]) {
    const HolePoint p = points_[n];
    maxX = std::max(maxX, p.x);
    minX = std::min(minX, p.x);
    maxY = std::max(maxY, p.y);
    minY = std::min(minY, p.y);
    sumX += p.x;
    sumY += p.y;
  }
  hole.MinX = minX;
  hole.MaxX = maxX;
  hole.MinY = minY;
  hole.MaxY = maxY;
  if (computeCenter) {
    hole.CenterX = static_cast<float>(sumX / hole.count);
    hole.CenterY = static_cast<float>(sumY / hole.count);
  }
}

void HoleArray::Measure(bool computeCenter) {
  for (Label i = 0; i < records_.size(); ++i) MeasureHole(i, computeCenter);
}

std::vector<HolePoint> HoleArray::Points(Label i) const {
  std::vector<HolePoint> points;
  points.reserve(records_[i].count);
  ForEachPoint(i, [&](HolePoint p, std::uint8_t) { points.push_back(p); });
  return points;
}

std::vector<std::uint8_t> HoleArray::Shades(Label i) const {
  std::vector<std::uint8_t> shades;
  shades.reserve(records_[i].count);
  ForEachPoint(i, [&](HolePoint, std::uint8_t shade) { shades.push_back(shade); });
  return shades;
}

}  // namespace holescan
