// progress_bar: "[#####.....] 12/100" on standard error, redrawn in place.
//
// Shown only when standard error is a terminal and the run is longer than a
// screenful (more than kMinTotal steps); otherwise every call does nothing.
#pragma once

#include <cstddef>

namespace erp {

class ProgressBar {
 public:
  static constexpr std::size_t kMinTotal = 40;

  explicit ProgressBar(std::size_t total);
  ~ProgressBar() { clear(); }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // Draws the bar for `done` of the total steps.
  void show(std::size_t done);
  // Wipes the bar, so that other output can take its line.
  void clear();

 private:
  std::size_t total_;
  bool enabled_;
  bool drawn_ = false;
};

}  // namespace erp
