// The one wait of the test support for something that another thread or process brings
// about: a server's log line, a client's progress, a window's state. It looks at the condition
// in short slices until it holds or the limit has passed; the limit only bounds a test that has
// already failed, it never decides a pass.
#pragma once

#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace vxt::testing {

struct WaitOptions {
  // Between two looks at the condition. A scripted server that must follow the client
  // closely looks every millisecond; a window under Wine is asked less often.
  int slice_ms = 10;
  // What was last seen, for the failure's message (nothing when empty).
  std::function<std::string()> last_seen;
};

// Succeeds as soon as condition() holds. Fails after limit_ms with "waited <limit_ms> ms until
// <what>" and, when options.last_seen is given, "; last seen: <its text>".
::testing::AssertionResult WaitFor(const std::function<bool()>& condition, int limit_ms,
                                   const std::string& what, const WaitOptions& options = {});

}  // namespace vxt::testing
