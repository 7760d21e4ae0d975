// memory_budget.h - the memory one picture's run may use, counted by what grows.
//
// A run takes from the budget what it allocates for the picture (its buffers, checked before
// they exist) and what grows while it runs (hole records, the report); a part that would not
// fit throws BudgetExceeded, whose text names what needed more and the budget, and nothing
// beyond the budget is allocated. Sizes are what the containers reserve, not what the
// allocator spends on top, so the budget is a bound on the data, a little under the process's
// peak.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace holescan {

inline constexpr std::int64_t kDefaultMemoryBudget = std::int64_t{4} << 30;

class BudgetExceeded : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class MemoryBudget {
 public:
  explicit MemoryBudget(std::int64_t limit = kDefaultMemoryBudget) : limit_(limit) {}

  std::int64_t Limit() const { return limit_; }
  std::int64_t Used() const { return used_; }

  // Takes `bytes` more; throws BudgetExceeded("WHAT need more than the memory budget of
  // 4 GiB") when they do not fit, taking nothing.
  void Take(std::int64_t bytes, const std::string& what);
  void Give(std::int64_t bytes) { used_ -= bytes; }

 private:
  std::int64_t limit_;
  std::int64_t used_ = 0;
};

// "4 GiB", "1536 MiB", "65536 bytes": the largest unit that states `bytes` exactly.
std::string ByteSizeText(std::int64_t bytes);

// "4G", "512M", "1024K", "1073741824" (bytes; K, M, G and T are powers of 1024, an optional
// "iB" or "B" after them): the size, or -1 when the text is not one.
std::int64_t ParseByteSize(const std::string& text);

}  // namespace holescan
