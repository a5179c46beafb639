#include "toolkit/bounded_wait.h"

#include <chrono>
#include <thread>

namespace tk {

bool SleepUntil(const std::function<bool()>& done, double seconds) {
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(seconds));
  while (!done()) {
    if (Clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace tk
