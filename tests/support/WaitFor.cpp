#include "support/WaitFor.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace vxt::testing {

::testing::AssertionResult WaitFor(const std::function<bool()>& condition, int limit_ms,
                                   const std::string& what, const WaitOptions& options) {
  using Clock = std::chrono::steady_clock;
  const auto give_up = Clock::now() + std::chrono::milliseconds(limit_ms);
  const int slice = options.slice_ms > 0 ? options.slice_ms : 1;
  for (;;) {
    if (condition()) return ::testing::AssertionSuccess();
    const auto now = Clock::now();
    if (now >= give_up) break;
    // The last slice ends at the limit, so that a wait used as a pause lasts as long as asked.
    std::this_thread::sleep_for(
        std::min<Clock::duration>(std::chrono::milliseconds(slice), give_up - now));
  }
  ::testing::AssertionResult failure = ::testing::AssertionFailure();
  failure << "waited " << limit_ms << " ms until " << what;
  if (options.last_seen) failure << "; last seen: " << options.last_seen();
  return failure;
}

}  // namespace vxt::testing
