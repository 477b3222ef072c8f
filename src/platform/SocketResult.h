// The check that turns a failed socket call into the socket failure it stands for.
#pragma once

#include <cstdint>

namespace vxt {

// Returns result unchanged unless it is -1 (the Winsock failure value, also the invalid socket);
// for -1 raises the socket failure of the calling thread's last socket error of the active
// socket layer (EIdNotASocket for 10038, EIdSocketError otherwise).
int64_t CheckSocketResult(int64_t result);

}  // namespace vxt
