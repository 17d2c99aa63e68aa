// The figures of a progress bar with a percentage, apart from any drawing:
// range, step and position, how much of a width the bar fills and the
// percentage it shows. The Qt and the Win32 bar both draw from these.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

class PercentBar {
 public:
  void SetRange(int32_t lower, int32_t upper) {
    lower_ = lower;
    upper_ = upper;
  }
  void SetStep(int32_t step) { step_ = step; }
  // Both return the previous position.
  int32_t SetPos(int32_t position) { return std::exchange(position_, position); }
  int32_t Step() {
    const int64_t next = int64_t{position_} + step_;
    return SetPos(static_cast<int32_t>(std::clamp<int64_t>(
        next, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max())));
  }

  int32_t lower() const { return lower_; }
  int32_t upper() const { return upper_; }
  int32_t step() const { return step_; }
  int32_t position() const { return position_; }
  // An empty or inverted range has nothing to show.
  bool empty() const { return lower_ >= upper_; }

  // How far the position is through the range; 0 for an empty range, and
  // below 0 or above 1 for a position past either end.
  double Fraction() const {
    if (empty()) {
      return 0.0;
    }
    return (static_cast<double>(position_) - lower_) / (static_cast<double>(upper_) - lower_);
  }
  // The bar's width in a control `width` wide, before clamping to it.
  int32_t BarWidth(int width) const { return TruncateSaturated(Fraction() * width); }
  int32_t Percent() const { return TruncateSaturated(Fraction() * 100.0); }
  // What is drawn over the bar: "42%".
  std::string PercentText() const { return std::to_string(Percent()) + "%"; }

 private:
  // Truncation toward zero that saturates instead of overflowing: a position far
  // outside the range must give a huge number, never undefined behaviour.
  static int32_t TruncateSaturated(double value) {
    constexpr double kMin = std::numeric_limits<int32_t>::min();
    constexpr double kMax = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::clamp(value, kMin, kMax));
  }

  int32_t lower_ = 0;
  int32_t upper_ = 100;
  int32_t step_ = 1;
  int32_t position_ = 0;
};
