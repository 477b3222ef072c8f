#include "support/ProcessStats.h"

#include <filesystem>
#include <fstream>

namespace vxt::testing {

long ResidentPages() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = -1;
  if (!(statm >> size >> resident)) return -1;
  return resident;
}

long OpenDescriptors() {
  std::error_code error;
  long count = 0;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    ++count;
  }
  return error || count == 0 ? -1 : count;
}

}  // namespace vxt::testing
