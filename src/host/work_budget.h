// A cap on the work of one run. Harnesses that must bound every input (the
// fuzz targets) give a run a number of units; each line the macro
// processor's line engine takes and each file opened spends one, so inputs
// that fan out exponentially end quickly. Without a budget (the default)
// nothing is counted and nothing changes.
#pragma once

#include <cstdint>

namespace host {

namespace budget_detail {
inline bool limited = false;
inline std::uint64_t units_left = 0;
}  // namespace budget_detail

inline void set_work_budget(std::uint64_t units) {
  budget_detail::limited = true;
  budget_detail::units_left = units;
}

inline void clear_work_budget() { budget_detail::limited = false; }

// Spends one unit; false once the budget is used up (never without one).
inline bool spend_work() {
  if (!budget_detail::limited) return true;
  if (budget_detail::units_left == 0) return false;
  --budget_detail::units_left;
  return true;
}

}  // namespace host
