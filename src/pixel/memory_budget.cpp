#include "pixel/memory_budget.h"

#include <cctype>
#include <charconv>

namespace holescan {

void MemoryBudget::Take(std::int64_t bytes, const std::string& what) {
  if (bytes > limit_ - used_) {
    throw BudgetExceeded(what + " need more than the memory budget of " + ByteSizeText(limit_));
  }
  used_ += bytes;
}

std::string ByteSizeText(std::int64_t bytes) {
  static constexpr const char* kUnits[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (unit < 4 && bytes != 0 && bytes % 1024 == 0) {
    bytes /= 1024;
    ++unit;
  }
  return std::to_string(bytes) + " " + kUnits[unit];
}

std::int64_t ParseByteSize(const std::string& text) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [next, failure] = std::from_chars(text.data(), end, value);
  if (failure != std::errc() || next == text.data() || value <= 0) return -1;
  std::string unit(next, end);
  for (char& c : unit) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (unit.size() > 1 && (unit.ends_with("IB") || unit.ends_with("B")))
    unit.resize(unit.size() - (unit.ends_with("IB") ? 2 : 1));
  int shift = 0;
  if (unit == "K") {
    shift = 10;
  } else if (unit == "M") {
    shift = 20;
  } else if (unit == "G") {
    shift = 30;
  } else if (unit == "T") {
    shift = 40;
  } else if (!unit.empty() && unit != "B") {
    return -1;
  }
  if (value > (std::int64_t{1} << (62 - shift))) return -1;
  return value << shift;
}

}  // namespace holescan
