// Decides at which of many frequent yield points the event loop really gets control: once
// `interval` has passed since it last did. A pass over a million lines then repaints and
// takes clicks a few dozen times a second instead of a million times. The clock is read
// only every 16 calls; an interval of zero makes every call due.
#pragma once

#include <chrono>
#include <cstdint>

namespace tw {

class YieldGate {
 public:
  explicit YieldGate(std::chrono::milliseconds interval) : interval_(interval) {}

  bool due() {
    if (interval_.count() == 0) return true;
    if (++calls_ % 16 != 0) return false;
    auto now = std::chrono::steady_clock::now();
    if (now - last_ < interval_) return false;
    last_ = now;
    return true;
  }

 private:
  std::chrono::milliseconds interval_;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
  std::uint32_t calls_ = 0;
};

}  // namespace tw
